/* The calculator's evaluator for C and for any language that calls C.
 *
 *   calculator_session *session = calculator_new();
 *   double value;
 *   if (calculator_evaluate(session, "2*sigma(i,1,3,i)+1", &value) == CALCULATOR_OK)
 *     printf("%g\n", value);                                  (13)
 *   else
 *     printf("Error : %s\n", calculator_error_message(session));
 *   calculator_free(session);
 *
 * A session keeps its variables: what a `set` assigns at the top level of
 * one evaluation is seen by every later one. Errors inside the nested
 * evaluations of set, integral and sigma do not end the evaluation; each is
 * reported as two lines to the session's report handler.
 *
 * Threads: a session is used by one thread at a time. Sessions share no
 * state, so different sessions may be used on different threads at once.
 * calculator_interrupt is the exception: any thread, or a signal handler,
 * may call it.
 *
 * Handlers run inside calculator_evaluate (or calculator_answer) on the
 * evaluating thread. While a session evaluates, the calls that would change
 * it (evaluate, answer, set_variable, set_*_handler) are refused with
 * CALCULATOR_BUSY and leave the running evaluation as it was; reading its
 * variables and calculator_interrupt are allowed. calculator_free from one
 * of its own handlers is allowed too: the evaluation stops at its next loop
 * step, returns CALCULATOR_INTERRUPTED, and only then releases the session,
 * which the caller must not touch afterwards.
 *
 * No C++ exception ever leaves these functions. Text arguments are
 * NUL-terminated; pointers must not be NULL unless a function says so.
 *
 * The C++ interface, <calculator/calculator.hpp>, is written on these
 * functions; both headers may be included in one file.
 */
#ifndef CALCULATOR_CALCULATOR_H
#define CALCULATOR_CALCULATOR_H

#include <stddef.h>

#include "calculator/calculator_export.h"
#include "calculator/calculator_version.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Results of the functions that return a status. */
#define CALCULATOR_OK 0
/* An evaluation error; calculator_error_message says which. */
#define CALCULATOR_ERROR 1
/* The evaluation stopped: calculator_interrupt, a progress handler that
 * returned non-zero, or calculator_free from a handler. */
#define CALCULATOR_INTERRUPTED 2
/* calculator_get_variable: the session has no variable of that name. */
#define CALCULATOR_NOT_FOUND 3
/* The session is evaluating (the call came from one of its handlers);
 * nothing was done. */
#define CALCULATOR_BUSY 4
/* calculator_set_variable: no expression could read this name back (a
 * letter, then letters and digits, at most CALCULATOR_MAX_TEXT_LENGTH of
 * them). */
#define CALCULATOR_INVALID_NAME 5
/* Memory ran out; the session is as it was before the call, apart from the
 * variables that a partly done evaluation assigned. */
#define CALCULATOR_NO_MEMORY 6
/* calculator_set_digits: a count of digits other than
 * CALCULATOR_SHORTEST_DIGITS or 1 to CALCULATOR_MAX_DIGITS. Since 2.1. */
#define CALCULATOR_INVALID_DIGITS 7

/* The evaluator reads at most this many characters of a text, and a
 * variable name has at most this many. */
#define CALCULATOR_MAX_TEXT_LENGTH 249
/* Significant digits of a number's text (Since 2.1): at most this many, ... */
#define CALCULATOR_MAX_DIGITS 17
/* ... this count for the shortest text that reads back as the same double, */
#define CALCULATOR_SHORTEST_DIGITS 0
/* ... and this many until a session is told otherwise. */
#define CALCULATOR_DEFAULT_DIGITS 6

typedef struct calculator_session calculator_session;

/* Receives one report line, without a newline; `context` is the pointer
 * given with the handler. */
typedef void (*calculator_report_handler)(void* context, const char* line);
/* Called every so many loop steps while an evaluation runs; a non-zero
 * return stops the evaluation, which then returns CALCULATOR_INTERRUPTED. */
typedef int (*calculator_progress_handler)(void* context);

/* A new session without variables; NULL when memory runs out. */
CALCULATOR_EXPORT calculator_session* calculator_new(void);
/* Releases the session; NULL is allowed. From inside one of the session's
 * own handlers the release waits for the evaluation to return (see above). */
CALCULATOR_EXPORT void calculator_free(calculator_session* session);

/* Evaluates the longest sum at the start of `text` (only its first
 * CALCULATOR_MAX_TEXT_LENGTH characters are read) and stores it in *value.
 * Returns CALCULATOR_OK, CALCULATOR_ERROR, CALCULATOR_INTERRUPTED,
 * CALCULATOR_BUSY or CALCULATOR_NO_MEMORY; *value is unchanged unless the
 * result is CALCULATOR_OK. */
CALCULATOR_EXPORT int calculator_evaluate(calculator_session* session, const char* text,
                                          double* value);
/* The message of the last failed call on this session; for an evaluation
 * error, the text that the console prints after "Error : ". "" before any
 * failure. The text lives as long as the process. */
CALCULATOR_EXPORT const char* calculator_error_message(const calculator_session* session);
/* Writes the console's answer line for `text`, "Result is ..." or
 * "Error : ..." (an evaluation error), without a newline, as snprintf does:
 * at most size - 1 characters and a NUL (nothing when size is 0), and
 * returns the length of the whole line. When the evaluation ends any other
 * way there is no answer line: it writes "" and returns the status negated,
 * -CALCULATOR_INTERRUPTED, -CALCULATOR_BUSY or -CALCULATOR_NO_MEMORY. */
CALCULATOR_EXPORT int calculator_answer(calculator_session* session, const char* text, char* buffer,
                                        size_t size);
/* Room for every answer line and its NUL: with a buffer this large,
 * calculator_answer never cuts a line. Since 2.1. */
#define CALCULATOR_ANSWER_SIZE 288
/* CALCULATOR_ANSWER_SIZE, for callers that cannot read this header (a
 * WebAssembly page, a foreign-function binding). Since 2.1. */
CALCULATOR_EXPORT size_t calculator_answer_size(void);
/* The significant digits of the numbers in this session's answer lines:
 * 1 to CALCULATOR_MAX_DIGITS as calculator_format_number_digits writes
 * them, CALCULATOR_SHORTEST_DIGITS for the shortest text that reads back
 * as the same double; CALCULATOR_DEFAULT_DIGITS until set. Returns
 * CALCULATOR_OK, CALCULATOR_INVALID_DIGITS (nothing changed) or
 * CALCULATOR_BUSY. Since 2.1. */
CALCULATOR_EXPORT int calculator_set_digits(calculator_session* session, int digits);

/* The line a console writes once, before the first answer:
 * "Please input expression.". Since 2.1. */
CALCULATOR_EXPORT const char* calculator_prompt(void);
/* The line a console writes where the answer of an interrupted evaluation
 * would go, when the session goes on: "Error : Interrupted.". Since 2.1. */
CALCULATOR_EXPORT const char* calculator_interrupted_line(void);
/* The message of a status that has one fixed message, as
 * calculator_error_message gives it after such a failure ("Interrupted."
 * for CALCULATOR_INTERRUPTED); NULL for CALCULATOR_OK, CALCULATOR_ERROR
 * (its message depends on the error), CALCULATOR_NOT_FOUND and unknown
 * statuses. Since 2.1. */
CALCULATOR_EXPORT const char* calculator_status_message(int status);

/* Sends the report lines of this session's failed nested evaluations to
 * `handler`, on the evaluating thread. A NULL handler discards them, as a
 * new session does. Returns CALCULATOR_OK or CALCULATOR_BUSY. */
CALCULATOR_EXPORT int calculator_set_report_handler(calculator_session* session,
                                                    calculator_report_handler handler,
                                                    void* context);
/* Calls `handler` every `every_steps` loop steps (0 counts as 1) while an
 * evaluation runs: room to show progress, or to stop. NULL removes the
 * handler. Returns CALCULATOR_OK or CALCULATOR_BUSY. */
CALCULATOR_EXPORT int calculator_set_progress_handler(calculator_session* session,
                                                      unsigned every_steps,
                                                      calculator_progress_handler handler,
                                                      void* context);
/* Asks the evaluation that runs now to stop at its next loop step; it then
 * returns CALCULATOR_INTERRUPTED. A request made while no evaluation runs is
 * forgotten when the next one starts. Async-signal-safe. */
CALCULATOR_EXPORT void calculator_interrupt(calculator_session* session);

/* Assigns a variable as a top-level set does. Returns CALCULATOR_OK,
 * CALCULATOR_INVALID_NAME, CALCULATOR_ERROR when the session already has
 * its 250 variables and `name` is new, CALCULATOR_BUSY or
 * CALCULATOR_NO_MEMORY. */
CALCULATOR_EXPORT int calculator_set_variable(calculator_session* session, const char* name,
                                              double value);
/* Stores the variable's value in *value. Returns CALCULATOR_OK or
 * CALCULATOR_NOT_FOUND, also for a text longer than
 * CALCULATOR_MAX_TEXT_LENGTH characters, which is never cut to one that
 * long. Every name calculator_variable_name lists is found. */
CALCULATOR_EXPORT int calculator_get_variable(const calculator_session* session, const char* name,
                                              double* value);
/* The session's variables, in the order first assigned: indexes 0 to
 * count - 1. A name stays valid until the session is freed; NULL for an
 * index out of range. */
CALCULATOR_EXPORT size_t calculator_variable_count(const calculator_session* session);
CALCULATOR_EXPORT const char* calculator_variable_name(const calculator_session* session,
                                                       size_t index);

/* Non-zero when an expression can read the `length` characters at `name`
 * as one name: a letter, then letters and digits, at most
 * CALCULATOR_MAX_TEXT_LENGTH in all (ASCII letters only). */
CALCULATOR_EXPORT int calculator_is_name(const char* name, size_t length);

/* The built-in names, in the order they are looked up: the constants
 * ("pi", "e") and the functions ("sin", ..., "sigma"). NULL past the last. */
CALCULATOR_EXPORT const char* calculator_constant_name(size_t index);
CALCULATOR_EXPORT const char* calculator_function_name(size_t index);

/* Writes the console's text of `value` (CALCULATOR_DEFAULT_DIGITS
 * significant digits, "1e+006", "-1.#IND", ...) as snprintf does: at most
 * size - 1 characters and a NUL (nothing when size is 0). Returns the
 * length of the whole text, which is less than CALCULATOR_NUMBER_TEXT_SIZE. */
#define CALCULATOR_NUMBER_TEXT_SIZE 32
CALCULATOR_EXPORT size_t calculator_format_number(double value, char* buffer, size_t size);
/* The same with `digits` significant digits, 1 to CALCULATOR_MAX_DIGITS:
 * rounded half away from zero on the 17-digit decimal form, fixed notation
 * for decimal exponents from -4 to digits - 1, otherwise scientific
 * ("1e+030"); CALCULATOR_SHORTEST_DIGITS asks for the shortest text that
 * reads back as `value` (fixed notation for exponents from -4 to 16).
 * Other counts write "" and return 0. Since 2.1. */
CALCULATOR_EXPORT size_t calculator_format_number_digits(double value, int digits, char* buffer,
                                                         size_t size);

/* The library's version, "MAJOR.MINOR.PATCH", and as a number,
 * MAJOR * 10000 + MINOR * 100 + PATCH; compare with CALCULATOR_VERSION_STRING
 * and CALCULATOR_VERSION_NUMBER, the version this program was compiled
 * with. */
CALCULATOR_EXPORT const char* calculator_version(void);
CALCULATOR_EXPORT int calculator_version_number(void);

#ifdef __cplusplus
}
#endif

#endif
