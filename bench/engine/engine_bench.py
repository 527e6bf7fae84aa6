#!/usr/bin/env python3
"""Statements per second of the script engine, run through ksl, beside the same loops in Python 3.

Each workload runs once as a ksl script and once as a Python program, both as fresh processes
timed from the outside, so both figures include the start-up of their interpreter.
"""
import subprocess
import sys
import time

WORKLOADS = [
    (
        "for loop, assignment body",
        2_000_000,
        "var i, x: integer; begin x := 0; for i := 1 to {n} do x := x + i end.",
        "x = 0\nfor i in range(1, {n} + 1):\n    x = x + i\n",
    ),
    (
        "string building",
        200_000,
        "var i: integer; s: string; begin s := ''; for i := 1 to {n} do "
        "s := Copy(s + IntToStr(i mod 10), 1, 64) end.",
        "s = ''\nfor i in range(1, {n} + 1):\n    s = (s + str(i % 10))[0:64]\n",
    ),
    (
        "function calls",
        200_000,
        "var i, x: integer; begin x := 0; for i := 1 to {n} do "
        "x := x + Length(IntToStr(i)) + Pos('5', IntToStr(i)) end.",
        "x = 0\nfor i in range(1, {n} + 1):\n    x = x + len(str(i)) + (str(i).find('5') + 1)\n",
    ),
]


def timed(argv, stdin_text):
    start = time.perf_counter()
    subprocess.run(argv, input=stdin_text.encode(), check=True, stdout=subprocess.DEVNULL)
    return time.perf_counter() - start


def main():
    ksl = sys.argv[1] if len(sys.argv) > 1 else "build/bin/ksl"
    print(f"{'workload':28} {'ksl stmt/s':>14} {'python stmt/s':>14} {'ksl/python':>11}")
    for name, n, script, program in WORKLOADS:
        ksl_seconds = min(timed([ksl, "-"], script.format(n=n)) for _ in range(3))
        py_seconds = min(timed([sys.executable, "-"], program.format(n=n)) for _ in range(3))
        ksl_rate, py_rate = n / ksl_seconds, n / py_seconds
        print(f"{name:28} {ksl_rate:14,.0f} {py_rate:14,.0f} {ksl_rate / py_rate:11.2f}")


if __name__ == "__main__":
    main()
