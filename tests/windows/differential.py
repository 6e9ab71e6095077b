#!/usr/bin/env python3
"""Runs the same random lines through the host's calculator and the Windows
build under wine and compares the answers line by line (CR LF and LF count
the same). Fails on any difference. Each is listed with its line; those
where both answers are numbers within a relative 1e-5 are marked as
candidates for a last-bit difference of a library function, to be traced
by hand."""

import argparse
import random
import re
import subprocess
import sys

FUNCTIONS = ["sin", "cos", "tan", "log", "log10", "sqrt", "abs", "rad2deg", "deg2rad"]
CONSTANTS = ["pi", "e"]
NUMBER_ANSWER = re.compile(r"^Result is (-?[0-9.]+(?:e[-+][0-9]+)?)$")


def number(rng):
    kind = rng.randrange(6)
    if kind == 0:
        return str(rng.randrange(10))
    if kind == 1:
        return str(rng.randrange(100000))
    if kind == 2:
        return "%.*f" % (rng.randrange(1, 8), rng.uniform(0, 1000))
    if kind == 3:
        return "%de%d" % (rng.randrange(1, 10), rng.randrange(-30, 30))
    if kind == 4:
        return rng.choice(CONSTANTS)
    return "%.3f" % rng.uniform(0, 10)


def expression(rng, depth):
    if depth <= 0 or rng.random() < 0.3:
        return number(rng)
    kind = rng.randrange(5)
    if kind == 0:
        return "%s(%s)" % (rng.choice(FUNCTIONS), expression(rng, depth - 1))
    if kind == 1:
        return "(%s)" % expression(rng, depth - 1)
    if kind == 2:
        return "-%s" % expression(rng, depth - 1)
    operator = rng.choice(["+", "-", "*", "/", "^", "^"])
    return "%s%s%s" % (expression(rng, depth - 1), operator, expression(rng, depth - 1))


def random_lines(count, seed):
    rng = random.Random(seed)
    lines = []
    for _ in range(count):
        kind = rng.randrange(20)
        if kind == 0:
            lines.append("set(x%d, %s)" % (rng.randrange(3), expression(rng, 2)))
        elif kind == 1:
            lines.append("sigma(i,1,%d,%s)" % (rng.randrange(1, 20), expression(rng, 2)))
        elif kind == 2:
            lines.append(expression(rng, 3) + rng.choice([")", "+", "#", " 2"]))
        else:
            lines.append(expression(rng, rng.randrange(1, 5)))
    return lines


def answers(command, text):
    run = subprocess.run(command, input=text, capture_output=True, check=False)
    if run.returncode != 0:
        sys.exit("%s: exit status %d\n%s" % (command[0], run.returncode, run.stderr.decode(errors="replace")))
    return run.stdout.replace(b"\r\n", b"\n").decode(errors="replace").split("\n")


def last_bit_apart(host, windows):
    """Both answers are finite numbers within a relative 1e-5: a difference
    at the sixth significant digit, which the last bit of one library
    result can cause when an expression amplifies it."""
    a, b = NUMBER_ANSWER.match(host), NUMBER_ANSWER.match(windows)
    if not a or not b:
        return False
    x, y = float(a.group(1)), float(b.group(1))
    return abs(x - y) <= 1e-5 * max(abs(x), abs(y))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--lines", type=int, default=20000)
    parser.add_argument("--seed", type=int, default=20)
    parser.add_argument("--host", required=True)
    parser.add_argument("--emulator", default="")
    parser.add_argument("--windows", required=True)
    options = parser.parse_args()

    lines = random_lines(options.lines, options.seed)
    text = ("\n".join(lines) + "\n").encode()
    host = answers([options.host], text)
    windows = answers(options.emulator.split(";") + [options.windows], text)
    if len(host) != len(windows):
        sys.exit("answer counts differ: host %d, Windows %d" % (len(host), len(windows)))

    # The first answer line is the prompt; answer i belongs to line i-1.
    rounding, faults = [], []
    for index, (h, w) in enumerate(zip(host, windows)):
        if h == w:
            continue
        line = lines[index - 1] if 0 < index <= len(lines) else "(none)"
        (rounding if last_bit_apart(h, w) else faults).append((line, h, w))
    for kind, found in (("last bit?", rounding), ("DIFFERENT", faults)):
        for line, h, w in found:
            print("%s: %s\n  host:    %s\n  windows: %s" % (kind, line, h, w))
    print("%d lines: %d identical, %d possible last-bit differences, %d other differences"
          % (len(lines), len(lines) - len(rounding) - len(faults), len(rounding), len(faults)))
    return 1 if rounding or faults else 0


if __name__ == "__main__":
    sys.exit(main())
