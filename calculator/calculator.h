/* The calculator's evaluator for C and for any language that calls C.
 *
 *   calculator *session = calculator_new();
 *   double value;
 *   if (calculator_evaluate(session, "2*sigma(i,1,3,i)+1", &value) == CALCULATOR_OK)
 *     printf("%g\n", value);                                  (13)
 *   else
 *     printf("Error : %s\n", calculator_error_message(session));
 *   calculator_free(session);
 *
 * A calculator handle is one session: what a `set` assigns at the top level
 * of one evaluation is seen by every later one. Errors inside the nested
 * evaluations of set, integral and sigma do not end the evaluation; each is
 * reported as two lines to the session's report handler.
 *
 * Threads: a handle is used by one thread at a time. Handles share no state,
 * so different handles may be used on different threads at once.
 * calculator_interrupt is the exception: any thread, or a signal handler,
 * may call it.
 *
 * No C++ exception ever leaves these functions. Text arguments are
 * NUL-terminated; pointers must not be NULL unless a function says so.
 *
 * The C++ interface is <calculator/calculator.hpp>. Do not include both
 * headers in one C++ file: this header's handle type and that header's
 * namespace are both `calculator`.
 */
#ifndef CALCULATOR_CALCULATOR_H
#define CALCULATOR_CALCULATOR_H

#include <stddef.h>

#include "calculator/calculator_export.h"
#include "calculator/calculator_version.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Results of the functions that return an int. */
#define CALCULATOR_OK 0
/* An evaluation error; calculator_error_message says which. */
#define CALCULATOR_ERROR 1
/* The evaluation stopped because calculator_interrupt was called. */
#define CALCULATOR_INTERRUPTED 2
/* calculator_get_variable: the session has no variable of that name. */
#define CALCULATOR_NOT_FOUND 3

typedef struct calculator calculator;

/* Receives one report line, without a newline; `context` is the pointer
 * given with the handler. */
typedef void (*calculator_report_handler)(void* context, const char* line);
/* Called every few thousand loop steps while an evaluation runs. */
typedef void (*calculator_progress_handler)(void* context);

/* A new session without variables; NULL when memory runs out. */
CALCULATOR_EXPORT calculator* calculator_new(void);
/* Releases the session; NULL is allowed. */
CALCULATOR_EXPORT void calculator_free(calculator* session);

/* Evaluates the longest sum at the start of `text` (only its first 249
 * characters are read) and stores it in *value. Returns CALCULATOR_OK,
 * CALCULATOR_ERROR or CALCULATOR_INTERRUPTED; *value is unchanged unless
 * the result is CALCULATOR_OK. */
CALCULATOR_EXPORT int calculator_evaluate(calculator* session, const char* text, double* value);
/* The message of the last failed call on this session, the text that the
 * console prints after "Error : "; "" before any failure. The text lives as
 * long as the process. */
CALCULATOR_EXPORT const char* calculator_error_message(const calculator* session);
/* Writes the console's answer line for `text`, "Result is ..." or
 * "Error : ...", without a newline, as snprintf does: at most size - 1
 * characters and a NUL (nothing when size is 0). Returns the length of the
 * whole line, or -1 after writing "" when the evaluation was interrupted. */
CALCULATOR_EXPORT int calculator_answer(calculator* session, const char* text, char* buffer,
                                        size_t size);

/* Sends the report lines of this session's failed nested evaluations to
 * `handler`, on the evaluating thread. A NULL handler discards them, as a
 * new session does. */
CALCULATOR_EXPORT void calculator_set_report_handler(calculator* session,
                                                     calculator_report_handler handler,
                                                     void* context);
/* Room for a long evaluation to show progress or call calculator_interrupt.
 * NULL removes the handler. */
CALCULATOR_EXPORT void calculator_set_progress_handler(calculator* session,
                                                       calculator_progress_handler handler,
                                                       void* context);
/* Asks the evaluation that runs now to stop at its next loop step; it then
 * returns CALCULATOR_INTERRUPTED. A request made while no evaluation runs is
 * forgotten when the next one starts. Async-signal-safe. */
CALCULATOR_EXPORT void calculator_interrupt(calculator* session);

/* Assigns a variable as a top-level set does. Returns CALCULATOR_ERROR when
 * the session already has its 250 variables and `name` is new. */
CALCULATOR_EXPORT int calculator_set_variable(calculator* session, const char* name, double value);
/* Stores the variable's value in *value. Returns CALCULATOR_OK or
 * CALCULATOR_NOT_FOUND. */
CALCULATOR_EXPORT int calculator_get_variable(const calculator* session, const char* name,
                                              double* value);
/* The session's variables, in the order first assigned: indexes 0 to
 * count - 1. A name stays valid until the session is freed; NULL for an
 * index out of range. */
CALCULATOR_EXPORT size_t calculator_variable_count(const calculator* session);
CALCULATOR_EXPORT const char* calculator_variable_name(const calculator* session, size_t index);

/* Writes the console's text of `value` (six significant digits, "1e+006",
 * "-1.#IND", ...) as snprintf does: at most size - 1 characters and a NUL
 * (nothing when size is 0). Returns the length of the whole text, which is
 * less than CALCULATOR_NUMBER_TEXT_SIZE. */
#define CALCULATOR_NUMBER_TEXT_SIZE 32
CALCULATOR_EXPORT size_t calculator_format_number(double value, char* buffer, size_t size);

/* The library's version, "MAJOR.MINOR.PATCH"; compare with the
 * CALCULATOR_VERSION_* macros this program was compiled with. */
CALCULATOR_EXPORT const char* calculator_version(void);

#ifdef __cplusplus
}
#endif

#endif
