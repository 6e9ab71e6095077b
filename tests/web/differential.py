#!/usr/bin/env python3
"""Compares the WebAssembly module with the native program over random lines.

    differential.py NATIVE_PROGRAM PAGE_FILES_DIR [LINES] [SEED]

Both answer the same session of random lines (20,000 by default). The
module's C library computes sin, cos, tan, pow, log and log10 with musl's
code, the native program with glibc's, and the two may differ in the last
bit. Every line answered differently is traced: the native program runs
again with one of musl's functions in place of glibc's (LD_PRELOAD of a
library built from Debian's musl-dev), and the line counts as explained when
that run answers it as the module does. Any line that no such run explains
fails the test. The explained lines are listed by the function that explains
them.
"""
import collections
import pathlib
import random
import subprocess
import sys
import tempfile

HERE = pathlib.Path(__file__).resolve().parent
MUSL_LIBC = pathlib.Path("/usr/lib/x86_64-linux-musl/libc.a")
LIBRARY_FUNCTIONS = ["sin", "cos", "tan", "pow", "log", "log10"]
# musl's objects for those functions and what they call inside musl.
MUSL_OBJECTS = ["sin.lo", "cos.lo", "tan.lo", "__sin.lo", "__cos.lo", "__tan.lo",
                "__rem_pio2.lo", "__rem_pio2_large.lo", "pow.lo", "pow_data.lo",
                "exp_data.lo", "log.lo", "log_data.lo", "log10.lo", "__math_divzero.lo",
                "__math_invalid.lo", "__math_oflow.lo", "__math_uflow.lo", "__math_xflow.lo"]
FUNCTIONS = ["sin", "cos", "tan", "log", "log10", "abs", "sqrt", "rad2deg", "deg2rad"]
VARIABLES = ["a", "b", "c", "x1", "y"]


class LineMaker:
    """Random lines of the expression language, mostly valid, some not."""

    def __init__(self, seed):
        self.random = random.Random(seed)

    def number(self):
        r = self.random
        kind = r.randrange(6)
        if kind == 0:
            return str(r.randrange(10))
        if kind == 1:
            return str(r.randrange(1000))
        if kind == 2:
            return f"{r.randrange(100)}.{r.randrange(10 ** r.randrange(1, 8))}"
        if kind == 3:
            return "".join(r.choice("0123456789") for _ in range(r.randrange(8, 40)))
        if kind == 4:
            digits = "".join(r.choice("0123456789") for _ in range(r.randrange(10, 25)))
            return f"0.{digits}"
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
        while r.random() < 0.15:
            exponent = self.primary(depth + 1)
            text += "^" + ("-" if r.random() < 0.2 else "") + exponent
        return text

    def sum(self, depth=0, name=None):
        r = self.random
        text = self.power(depth, name)
        while r.random() < (0.6 if depth == 0 else 0.35):
            text += r.choice(["+", "-", "*", "/", " + ", " * "]) + self.power(depth + 1, name)
        return text

    def line(self):
        r = self.random
        text = self.sum()
        roll = r.random()
        if roll < 0.03:
            position = r.randrange(len(text) + 1)
            text = text[:position] + r.choice(")(,#$ \t.") + text[position:]
        elif roll < 0.05:
            text = text[:r.randrange(len(text) + 1)]
        return text


def answers(output):
    """Groups output lines by input line: report lines, then the answer."""
    groups, current = [], []
    for line in output.decode("utf-8").splitlines()[1:]:
        current.append(line)
        if line.startswith("Result is ") or line.startswith("Error : "):
            groups.append(tuple(current))
            current = []
    return groups


def run(command, lines_file, environment=None):
    with open(lines_file, "rb") as lines:
        result = subprocess.run(command, stdin=lines, capture_output=True, check=True,
                                env=environment)
    return answers(result.stdout)


def build_musl_substitutes(folder):
    """One preloadable library per function, each with only that one of
    musl's functions visible."""
    subprocess.run(["ar", "x", str(MUSL_LIBC)] + MUSL_OBJECTS, cwd=folder, check=True)
    substitutes = {}
    for function in LIBRARY_FUNCTIONS:
        script = folder / f"{function}.map"
        script.write_text(f"{{ global: {function}; local: *; }};\n")
        library = folder / f"lib{function}.so"
        subprocess.run(["gcc", "-shared", "-o", str(library)] + MUSL_OBJECTS +
                       [f"-Wl,--version-script={script}", "-lm"], cwd=folder, check=True)
        substitutes[function] = library
    return substitutes


def main():
    native, page_files = sys.argv[1], sys.argv[2]
    count = int(sys.argv[3]) if len(sys.argv) > 3 else 20000
    seed = int(sys.argv[4]) if len(sys.argv) > 4 else 19
    if not MUSL_LIBC.exists():
        print(f"{MUSL_LIBC} is missing (Debian package musl-dev): differential test skipped")
        return 0
    with tempfile.TemporaryDirectory(prefix="calculator-differential-") as temporary:
        folder = pathlib.Path(temporary)
        maker = LineMaker(seed)
        lines = [maker.line() for _ in range(count)]
        lines_file = folder / "lines.txt"
        lines_file.write_text("".join(line + "\n" for line in lines))

        native_answers = run([native], lines_file)
        module_answers = run(["node", str(HERE / "answer_lines.js"), page_files], lines_file)
        if len(native_answers) != count or len(module_answers) != count:
            print(f"answered lines: native {len(native_answers)}, module {len(module_answers)},"
                  f" expected {count}")
            return 1
        differing = [i for i in range(count) if native_answers[i] != module_answers[i]]

        substitutes = build_musl_substitutes(folder)
        traced = {function: run([native], lines_file, {"LD_PRELOAD": str(library)})
                  for function, library in substitutes.items()}
        together = folder / "all.so"
        subprocess.run(["gcc", "-shared", "-o", str(together)] + MUSL_OBJECTS + ["-lm"],
                       cwd=folder, check=True)
        traced["all six"] = run([native], lines_file, {"LD_PRELOAD": str(together)})

        kinds = collections.Counter()
        unexplained = []
        for i in differing:
            explaining = [name for name, run_answers in traced.items()
                          if run_answers[i] == module_answers[i]]
            if not explaining:
                unexplained.append(i)
                continue
            single = [name for name in explaining if name != "all six"]
            kinds[" or ".join(single) if single else "several functions together"] += 1
            if len(unexplained) == 0 and sum(kinds.values()) <= 10:
                print(f"  explained ({', '.join(single) or 'all six'}): {lines[i]!r}:"
                      f" native {native_answers[i][-1]!r}, module {module_answers[i][-1]!r}")

        print(f"{count} lines, {len(differing)} answered differently,"
              f" {len(differing) - len(unexplained)} traced to the last bit of a library function")
        for kind, number in sorted(kinds.items()):
            print(f"  {number:5} traced to musl's {kind}")
        for i in unexplained[:20]:
            print(f"UNEXPLAINED line {i + 1}: {lines[i]!r}: native {native_answers[i]},"
                  f" module {module_answers[i]}")
        return 1 if unexplained else 0


if __name__ == "__main__":
    sys.exit(main())
