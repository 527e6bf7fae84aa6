#!/usr/bin/env python3
"""Statements per second of the script engine, run through ksl, beside the same loops in Python 3
(Debian's /usr/bin/python3) and, for the FOR loop, Lua 5.4.

Each workload runs as a ksl script (with the engine's cache, and without it) and as a Python
program, all as fresh processes timed from the outside, so every figure includes the start-up of
its interpreter. The target is a ksl/python ratio of at least 1.0 with the cache.
"""
import os
import shutil
import subprocess
import sys
import time

PYTHON = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else sys.executable
LUA = shutil.which("lua5.4")

WORKLOADS = [
    (
        "for loop, assignment body",
        2_000_000,
        "var i, x: integer; begin x := 0; for i := 1 to {n} do x := x + i end.",
        "x = 0\nfor i in range(1, {n} + 1):\n    x = x + i\n",
        "x = 0\nfor i = 1, {n} do\n  x = x + i\nend\n",
    ),
    (
        "string building",
        200_000,
        "var i: integer; s: string; begin s := ''; for i := 1 to {n} do "
        "s := Copy(s + IntToStr(i mod 10), 1, 64) end.",
        "s = ''\nfor i in range(1, {n} + 1):\n    s = (s + str(i % 10))[0:64]\n",
        None,
    ),
    (
        "function calls",
        200_000,
        "var i, x: integer; begin x := 0; for i := 1 to {n} do "
        "x := x + Length(IntToStr(i)) + Pos('5', IntToStr(i)) end.",
        "x = 0\nfor i in range(1, {n} + 1):\n    x = x + len(str(i)) + (str(i).find('5') + 1)\n",
        None,
    ),
]


def timed(argv, stdin_text, env=None):
    start = time.perf_counter()
    subprocess.run(argv, input=stdin_text.encode(), check=True, stdout=subprocess.DEVNULL, env=env)
    return time.perf_counter() - start


ROUNDS = 5


def best_of_rounds(runs):
    """The best time of each run over ROUNDS rounds. The runs take turns within a round, so a
    change of the machine's load meets all of them alike rather than one of them."""
    times = [float("inf")] * len(runs)
    for _ in range(ROUNDS):
        for i, (argv, text, env) in enumerate(runs):
            times[i] = min(times[i], timed(argv, text, env))
    return times


def main():
    ksl = sys.argv[1] if len(sys.argv) > 1 else "build/bin/ksl"
    uncached_env = dict(os.environ, KSL_NO_CACHE="1")
    print(f"python: {PYTHON}; lua: {LUA or 'not installed'}")
    print(f"{'workload':28} {'ksl stmt/s':>12} {'no cache':>12} {'python':>12} {'ksl/python':>11}"
          f" {'lua':>12} {'ksl/lua':>8}")
    for name, n, script, program, lua_program in WORKLOADS:
        runs = [([ksl, "-"], script.format(n=n), None),
                ([ksl, "-"], script.format(n=n), uncached_env),
                ([PYTHON, "-"], program.format(n=n), None)]
        if lua_program and LUA:
            runs.append(([LUA, "-"], lua_program.format(n=n), None))
        ksl_rate, uncached_rate, py_rate, *lua_rate = [n / t for t in best_of_rounds(runs)]
        line = (f"{name:28} {ksl_rate:12,.0f} {uncached_rate:12,.0f} {py_rate:12,.0f}"
                f" {ksl_rate / py_rate:10.2f}x")
        if lua_rate:
            line += f" {lua_rate[0]:12,.0f} {ksl_rate / lua_rate[0]:7.2f}x"
        print(line)


if __name__ == "__main__":
    main()
