"""The calculator package from Python: the console's transcripts through
Session.answer and Session.evaluate, variables as a mapping, digits, errors,
Ctrl-C and threads.

Runs against whichever calculator package Python imports: the build tree's
(ctest python.module) or one installed into a virtual environment
(python.venv). CALCULATOR_EXPECTED_LOCATION, when set, is the folder the
package must come from.
"""
import copy
import doctest
import math
import os
import pathlib
import re
import signal
import subprocess
import sys
import threading
import time

import pytest

import calculator
from calculator.__main__ import lines as console_lines

SOURCE = pathlib.Path(__file__).resolve().parents[2]
TRANSCRIPTS = SOURCE / "tests" / "console"
# Runs for some ten seconds or more: long enough to be seen running, and to
# tell an interrupted evaluation from a finished one.
LONG_LINE = "sigma(i,1,1000000000,i)"


def test_package_comes_from_where_it_was_put():
    expected = os.environ.get("CALCULATOR_EXPECTED_LOCATION")
    if expected is None:
        pytest.skip("CALCULATOR_EXPECTED_LOCATION is not set")
    assert pathlib.Path(calculator.__file__).resolve().is_relative_to(pathlib.Path(expected).resolve())


def test_version_is_the_projects():
    text = (SOURCE / "cmake" / "CalculatorVersion.cmake").read_text()
    assert calculator.__version__ == re.search(r"set\(CALCULATOR_VERSION ([0-9.]+)\)", text)[1]


def test_the_packages_example():
    assert doctest.testmod(calculator).failed == 0


# ---- The console's transcripts ----------------------------------------------

def digits_of(arguments):
    """The digits that a transcript's command-line arguments ask for, or None
    when they ask for something other than digits."""
    words = " ".join(arguments.split()).replace("=", " ").split(" ")
    if len(words) != 2 or words[0] != "--digits":
        return None
    return 0 if words[1] == "shortest" else int(words[1])


def transcripts():
    for path in sorted((TRANSCRIPTS / "transcripts").glob("*.in")):
        yield pytest.param(path, 6, id=path.stem)
    for arguments in sorted((TRANSCRIPTS / "option_transcripts").glob("*.args")):
        digits = digits_of(arguments.read_text())
        if digits is not None:
            yield pytest.param(arguments.with_suffix(".in"), digits, id=arguments.stem)


@pytest.mark.parametrize("path, digits", list(transcripts()))
def test_transcript_answers(path, digits):
    """Every line answered as the console answers it: through answer(), and
    through evaluate() in a second session that must agree value for value."""
    expected = path.with_suffix(".out").read_text().splitlines()
    assert expected[0] == "Please input expression."
    answering = calculator.Session(digits=digits)
    evaluating = calculator.Session(digits=digits)
    answers = []
    with path.open("rb") as lines:
        for line in console_lines(lines):
            answer = answering.answer(line)
            answers += answer.split("\n")
            last = answer.rsplit("\n", 1)[-1]
            try:
                value = evaluating.evaluate(line)
            except calculator.Error as error:
                assert last == f"Error : {error}", line
            else:
                assert last == f"Result is {calculator.format_number(value, digits)}", line
    assert answers == expected[1:]
    # repr, so that a NaN equals a NaN.
    assert repr(dict(answering)) == repr(dict(evaluating))


def test_the_dialogue_says_when_its_output_fails():
    with (TRANSCRIPTS / "transcripts" / "functions.in").open("rb") as lines, \
            open("/dev/full", "wb") as full:
        ran = subprocess.run([sys.executable, "-m", "calculator"], stdin=lines, stdout=full,
                             stderr=subprocess.PIPE, check=False)
    assert (ran.returncode, ran.stderr) == (1, b"calculator: write error: No space left on device\n")


def test_evaluate_gives_the_double_itself():
    session = calculator.Session()
    assert session.evaluate("0.1+0.2") == 0.1 + 0.2
    assert session.evaluate("2^0.5") == math.sqrt(2)
    assert session.evaluate(b"1/3") == 1 / 3
    assert math.isnan(session.evaluate("log(-1)"))


# ---- Variables ------------------------------------------------------------

def test_variables_are_a_mapping_in_the_consoles_order():
    session = calculator.Session()
    session["r"] = 2
    session.evaluate("set(zeta, 1)+set(alpha, r*3)")
    session["r"] = 5
    assert list(session) == ["r", "zeta", "alpha"]
    assert dict(session) == {"r": 5.0, "zeta": 1.0, "alpha": 6.0}
    assert len(session) == 3 and "alpha" in session and "beta" not in session
    assert session.evaluate("r*alpha") == 30.0
    assert session.get("beta", -1) == -1
    assert session.answer("zeta+r") == "Result is 6"


@pytest.mark.parametrize("operation, error", [
    (lambda s: s.__setitem__("1a", 1), ValueError),
    (lambda s: s.__setitem__("", 1), ValueError),
    (lambda s: s.__setitem__("a b", 1), ValueError),
    (lambda s: s.__setitem__("x" * 250, 1), ValueError),
    (lambda s: s.__setitem__("caf\u00e9", 1), ValueError),
    (lambda s: s.__setitem__("a\0", 1), ValueError),
    (lambda s: s.__setitem__(1, 1), TypeError),
    (lambda s: s.__setitem__("a", "1"), TypeError),
    (lambda s: s.__delitem__("a"), TypeError),
    (lambda s: s["nothing"], KeyError),
    (lambda s: s[1], KeyError),
    (lambda s: s["a\0"], KeyError),
    (lambda s: s.evaluate(1), TypeError),
    (lambda s: s.answer(None), TypeError),
    (lambda s: s.evaluate("1+\0" "2"), ValueError),
    (lambda s: calculator.Session(digits=18), ValueError),
    (lambda s: calculator.Session(digits=-1), ValueError),
    (lambda s: setattr(s, "digits", 2 ** 70), ValueError),
    (lambda s: setattr(s, "digits", "6"), TypeError),
    (lambda s: calculator.format_number(1.0, 18), ValueError),
    (lambda s: calculator.format_number("1"), TypeError),
])
def test_misuse_raises_what_python_users_expect(operation, error):
    session = calculator.Session(digits=3)
    session["a"] = 1
    with pytest.raises(error):
        operation(session)
    assert session.digits == 3 and dict(session) == {"a": 1.0}


def test_the_251st_variable_is_an_error_and_the_250_stay():
    session = calculator.Session()
    for i in range(250):
        session[f"v{i}"] = i
    with pytest.raises(calculator.Error) as raised:
        session["extra"] = 1
    assert str(raised.value)
    session["v249"] = -1
    assert len(session) == 250 and session["v249"] == -1.0


def test_errors_are_value_errors_with_the_consoles_message():
    session = calculator.Session()
    with pytest.raises(ValueError) as raised:
        session.evaluate("1/0")
    assert type(raised.value) is calculator.Error
    assert str(raised.value) == "Can't divide by 0."
    assert session.answer("1/0") == "Error : Can't divide by 0."


# ---- Digits ----------------------------------------------------------------

@pytest.mark.parametrize("value, digits, text", [
    (1e6, 6, "1e+006"),
    (123456.0, 6, "123456"),
    (0.1, 17, "0.10000000000000001"),
    (0.1, 0, "0.1"),
    (2.0 ** 100, 0, "1.2676506002282294e+030"),
    (1 / 3, 1, "0.3"),
    (-math.inf, 6, "-1.#INF"),
])
def test_format_number(value, digits, text):
    assert calculator.format_number(value, digits) == text
    session = calculator.Session(digits=digits)
    session["x"] = value
    assert session.answer("x") == f"Result is {text}"


def test_digits_change_the_answers_only():
    session = calculator.Session()
    assert session.digits == 6 and calculator.format_number(1 / 3) == "0.333333"
    with pytest.raises(TypeError):
        copy.copy(session)
    session.digits = 0
    assert session.answer("1/3") == "Result is 0.3333333333333333"
    assert session.evaluate("1/3") == 1 / 3


# ---- Ctrl-C and threads -----------------------------------------------------

def test_ctrl_c_stops_an_evaluation_and_the_session_goes_on():
    session = calculator.Session()
    session["r"] = 2
    # Python's own handler, even where the test runs with SIGINT ignored (in
    # the background of a shell script).
    previous = signal.signal(signal.SIGINT, signal.default_int_handler)
    timer = threading.Timer(0.3, os.kill, (os.getpid(), signal.SIGINT))
    started = time.monotonic()
    timer.start()
    try:
        with pytest.raises(KeyboardInterrupt):
            session.evaluate(LONG_LINE)
    finally:
        timer.cancel()
        signal.signal(signal.SIGINT, previous)
    # Well before the line could have been evaluated to its end.
    assert time.monotonic() - started < 5
    assert session.evaluate("r+1") == 3.0
    assert session.answer("sigma(i,1,4,i)") == "Result is 10"


def test_threads_evaluate_at_once_and_a_shared_session_is_refused():
    busy, free = calculator.Session(), calculator.Session()
    busy["x"] = 7
    outcome = []

    def evaluate_long_line():
        try:
            outcome.append(busy.evaluate(LONG_LINE))
        except calculator.Interrupted as stop:
            outcome.append(stop)

    worker = threading.Thread(target=evaluate_long_line)
    worker.start()
    # Until the worker has the session, the main thread may still get it.
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        try:
            busy.evaluate("1")
        except calculator.BusyError as error:
            refusal = error
            break
    else:
        pytest.fail("the worker's evaluation was never seen running")
    assert "another thread" in str(refusal)
    for use in (lambda: busy["x"], lambda: busy.answer("1"), lambda: list(busy),
                lambda: busy.__setitem__("x", 1), lambda: setattr(busy, "digits", 3)):
        with pytest.raises(calculator.BusyError):
            use()
    # The GIL is free: another session answers while the worker evaluates.
    assert free.evaluate("sigma(i,1,100000,i)") == 5000050000.0
    assert worker.is_alive()
    busy.interrupt()
    worker.join(10)
    assert not worker.is_alive() and isinstance(outcome[0], calculator.Interrupted)
    assert busy["x"] == 7.0 and busy.evaluate("x*2") == 14.0
