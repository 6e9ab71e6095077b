#!/usr/bin/env python3
"""Times Session.evaluate of the calculator package against the evaluators
Python programs use for a user's arithmetic, on the same line, in one run:
the built-in eval (compiles and runs the text each time), simpleeval and
asteval (Debian: python3-simpleeval, python3-asteval; each left out when
missing). Each is timed in turns with the others, so that all see the
same load, and the best of the rounds counts.

    PYTHONPATH=build/python bench/python_evaluators.py [--rounds N] [TEXT]

Prints microseconds per call and the two ratios with their goals: evaluate
at most a tenth of simpleeval and a quarter of eval. Exits 1 when a goal is
missed, 2 when simpleeval is not installed.
"""
import argparse
import sys
import timeit

import calculator

GOALS = {"simpleeval": 0.10, "eval": 0.25}


def evaluators(text):
    """name -> a call that evaluates `text` once, each checked to give the
    calculator's value."""
    session = calculator.Session()
    found = {"calculator": lambda: session.evaluate(text),
             "eval": lambda: eval(text, {"__builtins__": {}})}
    try:
        import simpleeval
        simple = simpleeval.SimpleEval()
        found["simpleeval"] = lambda: simple.eval(text)
    except ImportError:
        print("simpleeval is not installed (python3-simpleeval)", file=sys.stderr)
    try:
        import asteval
        interpreter = asteval.Interpreter(minimal=True)
        found["asteval"] = lambda: interpreter.eval(text)
    except ImportError:
        print("asteval is not installed (python3-asteval)", file=sys.stderr)
    expected = found["calculator"]()
    for name, call in found.items():
        if call() != expected:
            sys.exit(f"{name} gives {call()!r} for {text!r}, the calculator {expected!r}")
    return found


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--rounds", type=int, default=7)
    parser.add_argument("text", nargs="?", default="123+456*(78.901-23)")
    options = parser.parse_args()

    found = evaluators(options.text)
    # About 0.2 s a round for each evaluator.
    numbers = {name: max(1, timeit.Timer(call).autorange()[0]) for name, call in found.items()}
    best = {name: float("inf") for name in found}
    for _ in range(options.rounds):
        for name, call in found.items():
            seconds = timeit.Timer(call).timeit(numbers[name])
            best[name] = min(best[name], seconds / numbers[name] * 1e6)

    print(f"{options.text!r}, Python {sys.version.split()[0]}, calculator {calculator.__version__}")
    for name, microseconds in best.items():
        print(f"  {name:<11} {microseconds:8.3f} us")
    missed = False
    for name, goal in GOALS.items():
        if name not in best:
            print(f"  evaluate / {name}: not measured")
            continue
        ratio = best["calculator"] / best[name]
        verdict = "ok" if ratio <= goal else "MISSED"
        missed |= ratio > goal
        print(f"  evaluate / {name:<10} {ratio:6.3f}  (goal at most {goal}: {verdict})")
    if missed:
        return 1
    return 0 if "simpleeval" in best else 2


if __name__ == "__main__":
    sys.exit(main())
