"""python3 -m calculator: the console's dialogue on standard input and output.

Prints "Please input expression." and then answers every line read, as the
calculator program does when its input is no terminal: a carriage return
before the line feed is dropped, only the first 249 bytes of a line are
read, and a NUL ends the text. A failed read or write ends it with a
message and status 1.
"""
import os
import signal
import sys

import calculator

LONGEST_LINE = 249


def lines(stream):
    """The texts the program evaluates for the lines of a binary stream."""
    for line in stream:
        if line.endswith(b"\n"):
            line = line[:-1]
            if line.endswith(b"\r"):
                line = line[:-1]
        elif not line:
            continue
        yield line[:LONGEST_LINE].split(b"\0", 1)[0]


def fail(what, error):
    sys.stderr.write(f"calculator: {what} error: {error.strerror or error}\n")
    sys.stderr.flush()
    # Python's own flush at exit would only fail again.
    os._exit(1)


def main():
    # A reader that went away ends the process quietly, as it ends the program.
    if hasattr(signal, "SIGPIPE"):
        signal.signal(signal.SIGPIPE, signal.SIG_DFL)
    session = calculator.Session()
    output = sys.stdout.buffer
    source = lines(sys.stdin.buffer)
    try:
        output.write(b"Please input expression.\n")
    except OSError as error:
        fail("write", error)
    while True:
        try:
            line = next(source, None)
        except OSError as error:
            fail("read", error)
        if line is None:
            break
        try:
            output.write(session.answer(line).encode() + b"\n")
        except OSError as error:
            fail("write", error)
    try:
        output.flush()
    except OSError as error:
        fail("write", error)


if __name__ == "__main__":
    try:
        main()
    except KeyboardInterrupt:
        sys.exit(130)
