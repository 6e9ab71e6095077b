/* The C interface as a C99 program sees it, built through pkg-config against
 * an installed library. Prints "ok" and exits 0 when every check holds. */
#include <calculator/calculator.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int failures = 0;

#define CHECK(condition)                                                      \
  do {                                                                        \
    if (!(condition)) {                                                       \
      fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #condition); \
      ++failures;                                                             \
    }                                                                         \
  } while (0)

/* Collects report lines, one string after the other. */
struct report_log {
  char text[512];
  int lines;
};

static void collect_report(void* context, const char* line) {
  struct report_log* log = context;
  size_t used = strlen(log->text);
  snprintf(log->text + used, sizeof log->text - used, "%s|", line);
  ++log->lines;
}

static void check_values_and_errors(void) {
  calculator_session* session = calculator_new();
  double value = -1;
  CHECK(calculator_evaluate(session, "2*sigma(i,1,3,i)+1", &value) == CALCULATOR_OK);
  CHECK(value == 13);
  CHECK(strcmp(calculator_error_message(session), "") == 0);
  CHECK(calculator_evaluate(session, "1/0", &value) == CALCULATOR_ERROR);
  CHECK(value == 13);
  CHECK(strcmp(calculator_error_message(session), "Can't divide by 0.") == 0);

  CHECK(calculator_evaluate(session, "set(r, 2)", &value) == CALCULATOR_OK);
  CHECK(calculator_set_variable(session, "h", 0.5) == CALCULATOR_OK);
  CHECK(calculator_evaluate(session, "r*h", &value) == CALCULATOR_OK && value == 1);
  CHECK(calculator_get_variable(session, "r", &value) == CALCULATOR_OK && value == 2);
  CHECK(calculator_get_variable(session, "nothing", &value) == CALCULATOR_NOT_FOUND);
  CHECK(calculator_variable_count(session) == 2);
  CHECK(strcmp(calculator_variable_name(session, 1), "h") == 0);
  CHECK(calculator_variable_name(session, 2) == NULL);
  calculator_free(session);
  calculator_free(NULL);
}

static void check_reports_and_answers(void) {
  calculator_session* session = calculator_new();
  struct report_log log = {"", 0};
  char line[64];
  double value;
  CHECK(calculator_evaluate(session, "sigma(i,0,2,1/i)", &value) == CALCULATOR_OK);
  calculator_set_report_handler(session, collect_report, &log);
  CHECK(calculator_evaluate(session, "sigma(i,0,2,1/i)", &value) == CALCULATOR_OK);
  CHECK(value == 1.5);
  CHECK(strcmp(log.text, "Function Error : Wrong define in \"function\".|> Can't divide by 0.|") ==
        0);
  calculator_set_report_handler(session, NULL, NULL);
  CHECK(calculator_evaluate(session, "sigma(i,0,2,1/i)", &value) == CALCULATOR_OK);
  CHECK(log.lines == 2);

  CHECK(calculator_answer(session, "1234567", line, sizeof line) == 22);
  CHECK(strcmp(line, "Result is 1.23457e+006") == 0);
  CHECK(calculator_answer(session, "(1", line, 12) == 44);
  CHECK(strcmp(line, "Error : Fun") == 0);
  calculator_free(session);
}

static void check_number_format(void) {
  char text[CALCULATOR_NUMBER_TEXT_SIZE];
  char small[4];
  CHECK(calculator_format_number(0.00001, text, sizeof text) == 6);
  CHECK(strcmp(text, "1e-005") == 0);
  CHECK(calculator_format_number(-1.0 / 3.0, small, sizeof small) == 9);
  CHECK(strcmp(small, "-0.") == 0);
  CHECK(calculator_format_number(1e300 * 1e300, text, 0) == 6);
  /* Since 2.1: more digits, and the shortest text that reads back. */
  CHECK(calculator_format_number_digits(0.1 + 0.2, 17, text, sizeof text) == 19);
  CHECK(strcmp(text, "0.30000000000000004") == 0);
  CHECK(calculator_format_number_digits(0.1, CALCULATOR_SHORTEST_DIGITS, text, sizeof text) == 3);
  CHECK(strcmp(text, "0.1") == 0);
  CHECK(calculator_format_number_digits(0.1, CALCULATOR_MAX_DIGITS + 1, text, sizeof text) == 0);
  /* The console's fixed lines and sizes come from the library too. */
  CHECK(strcmp(calculator_prompt(), "Please input expression.") == 0);
  CHECK(strcmp(calculator_interrupted_line(), "Error : Interrupted.") == 0);
  CHECK(strcmp(calculator_status_message(CALCULATOR_INTERRUPTED), "Interrupted.") == 0);
  CHECK(calculator_answer_size() == CALCULATOR_ANSWER_SIZE);
}

static void check_version(void) {
  char expected[32];
  snprintf(expected, sizeof expected, "%d.%d.%d", CALCULATOR_VERSION_MAJOR,
           CALCULATOR_VERSION_MINOR, CALCULATOR_VERSION_PATCH);
  CHECK(strcmp(calculator_version(), expected) == 0);
  CHECK(strcmp(CALCULATOR_VERSION_STRING, expected) == 0);
  CHECK(calculator_version_number() == CALCULATOR_VERSION_NUMBER);
  CHECK(CALCULATOR_VERSION_NUMBER >= 20100);
  CHECK(CALCULATOR_VERSION_NUMBER == CALCULATOR_VERSION_MAJOR * 10000 +
                                         CALCULATOR_VERSION_MINOR * 100 + CALCULATOR_VERSION_PATCH);
}

/* Each thread has its own session, handler and variable. */
struct worker {
  pthread_t thread;
  int steps;
  struct report_log log;
  double value;
  int status;
};

static void* work(void* argument) {
  struct worker* worker = argument;
  calculator_session* session = calculator_new();
  char text[64];
  calculator_set_report_handler(session, collect_report, &worker->log);
  calculator_set_variable(session, "n", worker->steps);
  snprintf(text, sizeof text, "sigma(i,0,n,1/(i-%d))+n", worker->steps / 2);
  worker->status = calculator_evaluate(session, text, &worker->value);
  calculator_free(session);
  return NULL;
}

static void check_two_threads(void) {
  struct worker workers[2] = {{0, 2000, {"", 0}, 0, -1}, {0, 3000, {"", 0}, 0, -1}};
  int i;
  for (i = 0; i < 2; ++i) {
    CHECK(pthread_create(&workers[i].thread, NULL, work, &workers[i]) == 0);
  }
  for (i = 0; i < 2; ++i) {
    double expected = workers[i].steps;
    int k;
    pthread_join(workers[i].thread, NULL);
    for (k = 0; k <= workers[i].steps; ++k) {
      if (k != workers[i].steps / 2) {
        expected += 1.0 / (k - workers[i].steps / 2);
      }
    }
    CHECK(workers[i].status == CALCULATOR_OK);
    CHECK(workers[i].value - expected < 1e-9 && expected - workers[i].value < 1e-9);
    CHECK(workers[i].log.lines == 2);
  }
}

int main(void) {
  check_values_and_errors();
  check_reports_and_answers();
  check_number_format();
  check_version();
  check_two_threads();
  if (failures != 0) {
    return 1;
  }
  puts("ok");
  return 0;
}
