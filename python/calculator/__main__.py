"""python3 -m calculator: the console's dialogue on standard input and output.

Prints "Please input expression." and then answers every line read, as the
calculator program does when its input is no terminal: a carriage return
before the line feed is dropped, only the first 249 bytes of a line are
read, and a NUL ends the text.
"""
import sys

import calculator

LONGEST_LINE = 249


def lines(stream):
    for line in stream:
        if line.endswith(b"\n"):
            line = line[:-1]
            if line.endswith(b"\r"):
                line = line[:-1]
        elif not line:
            continue
        yield line[:LONGEST_LINE].split(b"\0", 1)[0]


def main():
    session = calculator.Session()
    output = sys.stdout.buffer
    output.write(b"Please input expression.\n")
    for line in lines(sys.stdin.buffer):
        output.write(session.answer(line).encode() + b"\n")
    output.flush()


if __name__ == "__main__":
    try:
        main()
    except KeyboardInterrupt:
        sys.exit(130)
    except BrokenPipeError:
        sys.exit(1)
