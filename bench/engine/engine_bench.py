#!/usr/bin/env python3
"""The script engine beside Python 3 (Debian's /usr/bin/python3) and Lua 5.4 on the workloads of
bench/engine/workloads/: each is one program in each language, written as a script in that
language is written, with the same output.

Every program runs as a fresh process whose processor time is taken from the outside, so each
figure includes the start-up of its interpreter. The programs of a workload take turns within a
round, best of five rounds, so that a change of the machine's load meets all of them alike. A ratio is the other interpreter's time
over the engine's: above 1 the engine is faster.

Then a first run: a long macro whose every statement runs once, so that translating it into the
compiled form is most of the work, timed compiled and without the compiled form.

Usage: engine_bench.py KSLBENCH [--with-cache] [WORKLOAD...]
  --with-cache  also times the engine without its compiled form (kslbench --no-compile)
"""
import math
import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
WORKLOADS = os.path.join(HERE, "workloads")
PYTHON = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else sys.executable
LUA = shutil.which("lua5.4")
ROUNDS = 5

TARGET_EACH_PYTHON = 1.0
TARGET_MEAN_PYTHON = 2.0
TARGET_MEAN_LUA = 0.5


def run(argv):
    """The processor time the program took (user and system), and its output. Processor time,
    not wall-clock time, so that a machine shared with other work still compares the programs
    fairly; a quiet machine gives about the same figures either way."""
    child = subprocess.Popen(argv, stdout=subprocess.PIPE)
    out = child.stdout.read()
    _, status, usage = os.wait4(child.pid, 0)
    child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode != 0:
        sys.exit(f"{' '.join(argv)} failed with status {child.returncode}")
    return usage.ru_utime + usage.ru_stime, out


def best_of_rounds(commands):
    """The best time of each command over ROUNDS rounds, and its output (the same every time)."""
    times = [math.inf] * len(commands)
    outputs = [None] * len(commands)
    for _ in range(ROUNDS):
        for i, argv in enumerate(commands):
            seconds, out = run(argv)
            times[i] = min(times[i], seconds)
            outputs[i] = out
    return times, outputs


def straight_line_macro(statements):
    """A macro of `statements` different statements of every kind, none of them in a loop."""
    lines = ["var a, b, i: Integer; r: Real; s, t: String;", "begin"]
    for n in range(statements // 8):
        lines += [
            f"  a := {n} * 3 + b mod 7 - (a shr 2) xor {n};",
            f"  r := {n}.5 * 2.0 + r / 3.0;",
            f"  s := Copy('line {n}: ' + IntToStr(a), 1, 20) + t;",
            f"  if a > {n} then b := b + 1 else if a < -{n} then b := b - 1 else b := 0;",
            f"  case a mod 5 of 0: t := 'zero'; 1..3: t := IntToStr({n}); else t := '' end;",
            f"  for i := 1 to 2 do b := b + Pos('{n % 10}', s);",
            f"  while b > {n} + 100 do b := b div 2;",
            f"  repeat a := a - {n % 3 + 1} until a < {n};",
        ]
    lines += ["  Print(IntToStr(a) + ' ' + IntToStr(b) + ' ' + s)", "end."]
    return "\n".join(lines) + "\n"


def first_run(kslbench):
    """The first run of a long macro, compiled and not: the compiled form must not cost more."""
    import tempfile
    with tempfile.NamedTemporaryFile("w", suffix=".ksl", delete=False) as macro:
        macro.write(straight_line_macro(40000))
    try:
        times, outputs = best_of_rounds(
            [[kslbench, macro.name], [kslbench, macro.name, "--no-compile"]])
    finally:
        os.unlink(macro.name)
    if outputs[0] != outputs[1]:
        sys.exit("first run: the modes disagree")
    compiled, cached = times
    # A few per cent is the noise of a shared machine, not a cost of compiling.
    verdict = "met" if compiled <= cached * 1.05 else "MISSED"
    print(f"first run of 40,000 statements, each run once: compiled {compiled:.3f} s, "
          f"without the compiled form {cached:.3f} s ({cached / compiled:.2f}x): "
          f"no slower: {verdict}")


def geometric_mean(values):
    return math.exp(sum(math.log(v) for v in values) / len(values)) if values else float("nan")


def main():
    args = sys.argv[1:]
    if not args:
        sys.exit(__doc__)
    kslbench = args.pop(0)
    with_cache = "--with-cache" in args
    names = [a for a in args if not a.startswith("--")] or sorted(
        f[:-4] for f in os.listdir(WORKLOADS) if f.endswith(".ksl"))
    print(f"python: {PYTHON}; lua: {LUA or 'not installed'}; best of {ROUNDS}, in turns")
    header = f"{'workload':16} {'ksl s':>7} {'python s':>9} {'lua s':>7} {'vs python':>10} {'vs lua':>7}"
    if with_cache:
        header += f" {'no-compile s':>13} {'vs python':>10}"
    print(header)
    python_ratios, lua_ratios, missed = [], [], []
    for name in names:
        base = os.path.join(WORKLOADS, name)
        commands = [[kslbench, base + ".ksl"], [PYTHON, base + ".py"]]
        if LUA:
            commands.append([LUA, base + ".lua"])
        if with_cache:
            commands.append([kslbench, base + ".ksl", "--no-compile"])
        times, outputs = best_of_rounds(commands)
        if any(out != outputs[0] for out in outputs):
            sys.exit(f"{name}: the programs disagree: {[o.decode() for o in outputs]}")
        ksl, python = times[0], times[1]
        python_ratios.append(python / ksl)
        line = f"{name:16} {ksl:7.3f} {python:9.3f}"
        if LUA:
            lua_ratios.append(times[2] / ksl)
            line += f" {times[2]:7.3f} {python / ksl:9.2f}x {times[2] / ksl:6.2f}x"
        else:
            line += f" {'-':>7} {python / ksl:9.2f}x {'-':>7}"
        if with_cache:
            line += f" {times[-1]:13.3f} {python / times[-1]:9.2f}x"
        if python / ksl < TARGET_EACH_PYTHON:
            missed.append(name)
        print(line)
    mean_python = geometric_mean(python_ratios)
    mean_lua = geometric_mean(lua_ratios)
    print(f"{'geometric mean':16} {'':7} {'':9} {'':7} {mean_python:9.2f}x {mean_lua:6.2f}x")
    print(f"targets: every workload at least {TARGET_EACH_PYTHON}x python: "
          f"{'met' if not missed else 'MISSED by ' + ', '.join(missed)}; "
          f"mean at least {TARGET_MEAN_PYTHON}x python: "
          f"{'met' if mean_python >= TARGET_MEAN_PYTHON else 'MISSED'}; "
          f"mean at least {TARGET_MEAN_LUA}x lua: "
          f"{'met' if mean_lua >= TARGET_MEAN_LUA else 'MISSED'}")
    first_run(kslbench)


if __name__ == "__main__":
    main()
