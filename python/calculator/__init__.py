"""The calculator's exact evaluator: arithmetic text in, correctly rounded
doubles and the console's answer lines out.

    >>> import calculator
    >>> s = calculator.Session()
    >>> s["r"] = 2
    >>> s.evaluate("pi*r^2")
    12.566370614359172
    >>> print(s.answer("sigma(i,1,3,1/(i-2))"))
    Function Error : Wrong define in "function".
    > Can't divide by 0.
    Result is 0
    >>> list(s), s.digits
    (['r'], 6)

A Session keeps its variables from one evaluation to the next and is a
mapping of their names to their values, in the order first assigned.
Sessions evaluate with the GIL released: several threads may each use their
own session at once; a session used from two threads at once raises
BusyError. On the main thread, Ctrl-C stops a long evaluation with
KeyboardInterrupt and leaves the session as it was before that line.
"""
from collections.abc import Mapping

from calculator._calculator import BusyError, Error, Interrupted, format_number, library_version
from calculator._calculator import Session as _Session

__all__ = ["Session", "Error", "BusyError", "Interrupted", "format_number"]
__version__ = library_version


class Session(_Session, Mapping):
    __doc__ = _Session.__doc__
    __slots__ = ()
    # A session is itself, not its variables: compared and hashed by identity.
    __eq__ = object.__eq__
    __ne__ = object.__ne__
    __hash__ = object.__hash__

    def __reduce__(self):
        # A copy would be a new session without the variables.
        raise TypeError("a calculator.Session cannot be copied or pickled")

    def __repr__(self):
        return f"<calculator.Session digits={self.digits} variables={len(self)}>"
