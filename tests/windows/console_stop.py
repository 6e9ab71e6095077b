#!/usr/bin/env python3
"""Ctrl-C reaching calculator.exe under wine, which turns a SIGINT into the
console's Ctrl-C event. At a console (wine's, on a pseudo-terminal) it
abandons the evaluation and the session goes on; with lines from a pipe it
ends the program with the status of a Ctrl-C, after the answers computed.
Usage: console_stop.py WINE_RUN CALCULATOR_EXE"""

import os
import pty
import select
import signal
import subprocess
import sys
import time

LONG_LINE = b"sigma(i,1,2000000000,i)"
CONTROL_C_EXIT = 0xC000013A & 0xFF  # the low byte reaches the POSIX parent


def read_until(fd, wanted, seconds):
    """What the program writes, until `wanted` appears or time runs out."""
    seen = b""
    end = time.monotonic() + seconds
    while wanted not in seen and time.monotonic() < end:
        ready, _, _ = select.select([fd], [], [], 0.1)
        if ready:
            try:
                seen += os.read(fd, 4096)
            except OSError:
                break
    return seen


def at_console(wine_run, program):
    pid, fd = pty.fork()
    if pid == 0:
        os.execv(wine_run, [wine_run, program])
    failures = []
    try:
        steps = [
            (None, b"Please input expression."),
            (b"1+1\r", b"Result is 2"),
            (LONG_LINE + b"\r", LONG_LINE),
            ("ctrl-c", b"Error : Interrupted."),
            (b"2+2\r", b"Result is 4"),
        ]
        for typed, wanted in steps:
            if typed == "ctrl-c":
                time.sleep(1)  # well inside the evaluation
                os.write(fd, b"\x03")
            elif typed is not None:
                # wine's console sets the terminal's modes as the read starts
                time.sleep(0.5)
                os.write(fd, typed)
            seen = read_until(fd, wanted, 20)
            if wanted not in seen:
                failures.append("at the console, %r: no %r in %r" % (typed, wanted, seen))
                break
    finally:
        os.kill(pid, signal.SIGKILL)
        os.waitpid(pid, 0)
        os.close(fd)
    return failures


def from_pipe(wine_run, program, lines, keep_open):
    """Ctrl-C during the long line, or (input kept open) while the program
    waits for more input: the read is cancelled."""
    process = subprocess.Popen([wine_run, program], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    process.stdin.write(lines)
    process.stdin.flush()
    if not keep_open:
        process.stdin.close()
    # The first answer goes out before the wait for input, or 50 ms into
    # the long line: the program is where the Ctrl-C must find it.
    output = read_until(process.stdout.fileno(), b"Result is 2\r\n", 30)
    time.sleep(0.2)
    process.send_signal(signal.SIGINT)
    output += process.stdout.read()
    status = process.wait(timeout=20)
    if keep_open:
        process.stdin.close()
    expected = b"Please input expression.\r\nResult is 2\r\n"
    failures = []
    if output != expected:
        failures.append("from a pipe: output %r, expected %r" % (output, expected))
    if status != CONTROL_C_EXIT:
        failures.append("from a pipe: status %d, expected %d" % (status, CONTROL_C_EXIT))
    return failures


def from_pipe_under_wine(wine_run, program, lines, keep_open):
    """from_pipe, again where the process died of SIGKILL: wine's server
    sends it to a process whose exit takes too long, as on a loaded
    machine, and the status is lost then (seen once in CI). The program
    must still end with the Ctrl-C status in one of three tries."""
    for _ in range(3):
        failures = from_pipe(wine_run, program, lines, keep_open)
        killed = "from a pipe: status %d, expected %d" % (-signal.SIGKILL, CONTROL_C_EXIT)
        if failures != [killed]:
            return failures
        print("wine's server killed the process on its way out; once more")
    return failures


def main():
    wine_run, program = sys.argv[1:3]
    failures = at_console(wine_run, program)
    failures += from_pipe_under_wine(
        wine_run, program, b"1+1\n" + LONG_LINE + b"\n2+2\n", keep_open=False)
    failures += from_pipe_under_wine(wine_run, program, b"1+1\n", keep_open=True)
    for failure in failures:
        print(failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
