#!/usr/bin/env python3
"""Runs one session of random lines through the native program and through
another build of the calculator, and compares the answers line by line.

    differential.py [--lines N] [--seed S] NATIVE_PROGRAM -- COMMAND...

COMMAND answers standard input as the program does: the npm package (the
WebAssembly module) under Node (tests/web/answer_lines.js, from
scripts/test-web) or the Windows build under wine (tests/windows). Every
line must be answered identically, report lines included (CR LF counts as
LF): the elementary functions are the library's own and correctly rounded
on every target, so not even the last bit of one may differ.

Most lines are random expressions, mostly valid. Six significant digits hide
a last-bit difference, so about one line in six is a cancellation residue:
a value of sin, cos, tan, log, log10 or ^ (alone, scaled by a power of ten,
or summed by integral or sigma) less its own leading digits, so that what
is left shows the value's last bits.
"""
import argparse
import decimal
import math
import pathlib
import random
import subprocess
import sys
import tempfile

FUNCTIONS = ["sin", "cos", "tan", "log", "log10", "abs", "sqrt", "rad2deg", "deg2rad"]
ROUNDED_FUNCTIONS = ["sin", "cos", "tan", "log", "log10", "pow"]
VARIABLES = ["a", "b", "c", "x1", "y"]
# The longest line the calculator reads whole.
LONGEST_LINE = 249
# Significant digits of the leading part that a residue line takes away.
LEADING_DIGITS = 15
PYTHON_FUNCTIONS = {"sin": math.sin, "cos": math.cos, "tan": math.tan,
                    "log": math.log, "log10": math.log10}


def decimal_text(value, digits):
    """`value` to `digits` significant digits as the calculator reads a
    number: digits and a point, no sign, no exponent."""
    exact = decimal.Decimal(value).copy_abs()
    exponent = exact.adjusted() - digits + 1
    rounded = exact.quantize(decimal.Decimal(1).scaleb(exponent), rounding=decimal.ROUND_HALF_EVEN)
    text = format(rounded, "f")
    if "." in text:
        text = text.rstrip("0").rstrip(".")
    return text


class LineMaker:
    """Random lines of the expression language, mostly valid, some not."""

    def __init__(self, seed):
        self.random = random.Random(seed)
        self.residues = 0

    # Random expressions.

    def number(self):
        r = self.random
        kind = r.randrange(8)
        if kind == 0:
            return str(r.randrange(10))
        if kind == 1:
            return str(r.randrange(100000))
        if kind == 2:
            return f"{r.randrange(100)}.{r.randrange(10 ** r.randrange(1, 8))}"
        if kind == 3:
            return "".join(r.choice("0123456789") for _ in range(r.randrange(8, 40)))
        if kind == 4:
            digits = "".join(r.choice("0123456789") for _ in range(r.randrange(10, 25)))
            return f"0.{digits}"
        if kind == 5:
            # Read as the number before the e; the rest is left over.
            return f"{r.randrange(1, 10)}e{r.randrange(-30, 30)}"
        if kind == 6:
            return "%.*f" % (r.randrange(1, 8), r.uniform(0, 1000))
        return r.choice(["0.5", "1.5", "2.5", "999999.5", "0.000015", "1234565", "5."])

    def primary(self, depth):
        r = self.random
        kind = r.randrange(12 if depth < 3 else 4)
        if kind <= 1:
            return self.number()
        if kind == 2:
            return r.choice(["pi", "e"] + VARIABLES)
        if kind == 3:
            return r.choice(VARIABLES)
        if kind <= 5:
            return f"({self.sum(depth + 1)})"
        if kind <= 8:
            function = r.choice(FUNCTIONS)
            body = self.sum(depth + 1)
            return f"{function}({body})" if r.random() < 0.8 else f"{function} {body}"
        if kind == 9:
            return f"set({r.choice(VARIABLES)}, {self.sum(depth + 1)})"
        if kind == 10:
            first = r.randrange(-3, 4)
            last = first + r.randrange(-1, 12)
            return f"sigma(i,{first},{last},{self.sum(depth + 2, 'i')})"
        low = r.randrange(-2, 3)
        return (f"integral(t,{low},{low + r.randrange(1, 4)},{r.randrange(1, 16)},"
                f"{self.sum(depth + 2, 't')})")

    def power(self, depth, name):
        r = self.random
        operand = self.primary(depth) if name is None or r.random() < 0.7 else name
        text = ("-" if r.random() < 0.15 else "") + operand
        while r.random() < 0.2:
            exponent = self.primary(depth + 1)
            text += "^" + ("-" if r.random() < 0.2 else "") + exponent
        return text

    def sum(self, depth=0, name=None):
        r = self.random
        text = self.power(depth, name)
        while r.random() < (0.6 if depth == 0 else 0.35):
            text += r.choice(["+", "-", "*", "/", " + ", " * "]) + self.power(depth + 1, name)
        return text

    def expression_line(self):
        r = self.random
        text = self.sum()
        roll = r.random()
        if roll < 0.03:
            position = r.randrange(len(text) + 1)
            text = text[:position] + r.choice(")(,#$ \t.") + text[position:]
        elif roll < 0.05:
            text = text[:r.randrange(len(text) + 1)]
        elif roll < 0.07:
            text += r.choice([")", "+", "#", " 2"])
        return text

    # Cancellation residues: the arguments, the value as Python's C library
    # has it (its leading digits are all a residue line needs), and the line.

    def argument(self, function):
        r = self.random
        if function in ("sin", "cos", "tan"):
            kind = r.randrange(3)
            if kind == 0:
                value = r.uniform(-10, 10)
                return ("-" if value < 0 else "") + decimal_text(value, r.randrange(3, 18))
            if kind == 1:
                return decimal_text(r.uniform(10, 1e6), r.randrange(3, 18))
            return str(r.randrange(10 ** r.randrange(7, 23)))
        kind = r.randrange(3)
        if kind == 0:
            return decimal_text(10 ** r.uniform(-30, 30), r.randrange(3, 18))
        if kind == 1:
            return decimal_text(1 + r.uniform(-0.01, 0.01), r.randrange(6, 18))
        return str(r.randrange(2, 100000))

    def rounded_call(self):
        """A call of one correctly rounded function with random arguments:
        its text and the value Python computes."""
        r = self.random
        function = r.choice(ROUNDED_FUNCTIONS)
        if function == "pow":
            kind = r.randrange(3)
            if kind == 0:
                base = decimal_text(r.uniform(0.1, 100), r.randrange(3, 18))
                exponent = decimal_text(r.uniform(0, 50), r.randrange(3, 18))
            elif kind == 1:
                base = decimal_text(1 + r.uniform(-0.001, 0.001), r.randrange(8, 18))
                exponent = str(r.randrange(1000, 1000000))
            else:
                base = str(r.randrange(2, 100))
                exponent = decimal_text(r.randrange(1, 40) + r.choice([0.5, 0.25, 0.1, 0.3]), 4)
            sign = r.choice(["", "-"])
            value = float(base) ** (-float(exponent) if sign else float(exponent))
            return f"{base}^{sign}{exponent}", value
        argument = self.argument(function)
        return f"{function}({argument})", PYTHON_FUNCTIONS[function](float(argument))

    def summed_call(self):
        """integral or sigma of a correctly rounded function: its text and
        the sum, added in the order the calculator adds."""
        r = self.random
        function = r.choice(["sin", "cos", "tan", "log", "log10"])
        apply = PYTHON_FUNCTIONS[function]
        if r.random() < 0.5:
            low = r.randrange(0, 40)
            high = low + r.choice([-1, 1]) * r.randrange(1, 40)
            steps = r.randrange(1, 60)
            h = (high - low) / steps
            total = 0.0
            for i in range(steps):
                f = apply(i * h + low)
                total = f * h + total
            return f"integral(t,{low},{high},{steps},{function}(t))", total
        first = r.randrange(1, 20)
        last = first + r.randrange(0, 60)
        divisor = r.randrange(1, 10)
        total = 0.0
        for i in range(first, last + 1):
            total = apply(i / divisor) + total
        return f"sigma(i,{first},{last},{function}(i/{divisor}))", total

    def residue_line(self):
        r = self.random
        for _ in range(100):
            try:
                text, value = self.summed_call() if r.random() < 0.25 else self.rounded_call()
            except (ValueError, OverflowError, ZeroDivisionError):
                continue
            if not math.isfinite(value) or not 1e-20 < abs(value) < 1e20:
                continue
            if r.random() < 0.5:
                # The value less its leading digits.
                leading = decimal_text(value, LEADING_DIGITS)
                line = f"({text}){'-' if value > 0 else '+'}{leading}"
            else:
                # The value scaled to 16 digits before the point, less them.
                scale = LEADING_DIGITS - math.floor(math.log10(abs(value)))
                if scale < 0:
                    continue
                scaled = decimal.Decimal(value).copy_abs().scaleb(scale)
                leading = str(scaled.to_integral_value(rounding=decimal.ROUND_HALF_EVEN))
                line = f"({text})*1{'0' * scale}{'-' if value > 0 else '+'}{leading}"
            if len(line) <= LONGEST_LINE:
                return line
        raise RuntimeError("no residue line found in 100 tries")

    def line(self):
        if self.random.random() < 1 / 6:
            self.residues += 1
            return self.residue_line()
        return self.expression_line()


def answers(output):
    """Groups the output lines after the prompt by input line: its report
    lines, then its answer line."""
    groups, current = [], []
    for line in output.replace(b"\r\n", b"\n").decode("utf-8").splitlines()[1:]:
        current.append(line)
        if line.startswith("Result is ") or line.startswith("Error : "):
            groups.append(tuple(current))
            current = []
    return groups


def run(command, lines_file):
    with open(lines_file, "rb") as lines:
        result = subprocess.run(command, stdin=lines, capture_output=True, check=False)
    if result.returncode != 0:
        sys.exit(f"{' '.join(command)}: exit status {result.returncode}\n"
                 f"{result.stderr.decode(errors='replace')}")
    return answers(result.stdout)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--lines", type=int, default=20000)
    parser.add_argument("--seed", type=int, default=19)
    parser.add_argument("native", help="the native program")
    parser.add_argument("command", nargs="+", help="the other build's command, after --")
    options = parser.parse_args()

    maker = LineMaker(options.seed)
    lines = [maker.line() for _ in range(options.lines)]
    with tempfile.TemporaryDirectory(prefix="calculator-differential-") as folder:
        lines_file = pathlib.Path(folder) / "lines.txt"
        lines_file.write_text("".join(line + "\n" for line in lines))
        native = run([options.native], lines_file)
        other = run(options.command, lines_file)
    if len(native) != len(lines) or len(other) != len(lines):
        print(f"answered lines: native {len(native)}, other {len(other)}, expected {len(lines)}")
        return 1
    differing = [i for i in range(len(lines)) if native[i] != other[i]]
    for i in differing[:20]:
        print(f"line {i + 1}: {lines[i]!r}\n  native: {native[i]}\n  other:  {other[i]}")
    print(f"{len(lines)} lines ({maker.residues} cancellation residues, seed {options.seed}):"
          f" {len(differing)} answered differently")
    return 1 if differing else 0


if __name__ == "__main__":
    sys.exit(main())
