#!/usr/bin/env python3
"""Reads a JUnit report the way CI servers do, with junitparser, and prints what it found:
one line per suite, then per test case its name, outcome, type, message, text and whether its
time and output are there, fields separated by " | "."""
import sys

from junitparser import Error, Failure, JUnitXml, Skipped


def outcome(case):
    for result in case.result:
        for kind, name in ((Failure, "failure"), (Error, "error"), (Skipped, "skipped")):
            if isinstance(result, kind):
                return [name, result.type or "", result.message or "", (result.text or "").strip()]
    return ["passed", "", "", ""]


def main(path):
    report = JUnitXml.fromfile(path)
    for suite in report:
        print(f"suite {suite.name} | tests {suite.tests} | failures {suite.failures} | "
              f"errors {suite.errors} | skipped {suite.skipped} | timestamp {bool(suite.timestamp)}")
        for case in suite:
            fields = [case.name, case.classname] + outcome(case)
            fields.append("timed" if case.time is not None and case.time >= 0 else "untimed")
            fields.append("out %d lines" % len((case.system_out or "").splitlines()))
            print(" | ".join(fields))


if __name__ == "__main__":
    main(sys.argv[1])
