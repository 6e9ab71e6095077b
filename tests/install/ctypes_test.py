"""Loads the installed shared library with ctypes, as a Python program
would, and evaluates through its C interface.

Usage: python3 ctypes_test.py PATH/TO/libcalculator.so.2
"""
import ctypes
import sys

library = ctypes.CDLL(sys.argv[1])
library.calculator_new.restype = ctypes.c_void_p
library.calculator_free.argtypes = [ctypes.c_void_p]
library.calculator_evaluate.argtypes = [ctypes.c_void_p, ctypes.c_char_p,
                                        ctypes.POINTER(ctypes.c_double)]
library.calculator_error_message.argtypes = [ctypes.c_void_p]
library.calculator_error_message.restype = ctypes.c_char_p
library.calculator_version.restype = ctypes.c_char_p
library.calculator_version_number.restype = ctypes.c_int
REPORT = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.c_char_p)
library.calculator_set_report_handler.argtypes = [ctypes.c_void_p, REPORT, ctypes.c_void_p]
PROGRESS = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p)
library.calculator_set_progress_handler.argtypes = [ctypes.c_void_p, ctypes.c_uint, PROGRESS,
                                                    ctypes.c_void_p]
INTERRUPTED = 2

session = library.calculator_new()
value = ctypes.c_double()
lines = []
handler = REPORT(lambda context, line: lines.append(line.decode()))
library.calculator_set_report_handler(session, handler, None)

results = []
for text in [b"set(r, 2)", b"pi*r^2", b"1/0", b"sigma(i,0,2,1/i)"]:
    status = library.calculator_evaluate(session, text, ctypes.byref(value))
    if status == 0:
        results.append(round(value.value, 6))
    else:
        results.append(library.calculator_error_message(session).decode())

# A progress handler, every ten steps, that asks to stop at its third call.
calls = []


def stop_at_third_call(context):
    calls.append(context)
    return 1 if len(calls) == 3 else 0


stop = PROGRESS(stop_at_third_call)
library.calculator_set_progress_handler(session, 10, stop, None)
status = library.calculator_evaluate(session, b"sigma(i,1,1000,i)", ctypes.byref(value))
if status != INTERRUPTED or len(calls) != 3:
    sys.exit(f"progress handler: status {status} after {len(calls)} calls")
library.calculator_free(session)

major = int(library.calculator_version().decode().split(".")[0])
if library.calculator_version_number() // 10000 != major:
    sys.exit(f"version number {library.calculator_version_number()} for major {major}")

expected = [2.0, 12.566371, "Can't divide by 0.", 1.5]
expected_reports = ['Function Error : Wrong define in "function".', "> Can't divide by 0."]
if results != expected or lines != expected_reports:
    sys.exit(f"got {results} and reports {lines}, expected {expected} and {expected_reports}")
print(f"libcalculator {library.calculator_version().decode()} through ctypes: ok")
