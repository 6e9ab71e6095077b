/* Evaluates each argument in one session and prints the calculator's answer
 * line for it. Exits with status 1 if any argument failed.
 *
 *   $ cc -std=c99 evaluate.c $(pkg-config --cflags --libs calculator) -o evaluate
 *   $ ./evaluate 'set(r, 2)' 'pi*r^2' 'sigma(i,0,2,1/i)'
 *   Result is 2
 *   Result is 12.5664
 *   Function Error : Wrong define in "function".
 *   > Can't divide by 0.
 *   Result is 1.5
 */
#include <calculator/calculator.h>
#include <stdio.h>

/* Errors inside set, integral and sigma arrive here, two lines each. */
static void print_report(void* stream, const char* line) {
  fprintf((FILE*)stream, "%s\n", line);
}

int main(int argc, char** argv) {
  calculator_session* session;
  char number[CALCULATOR_NUMBER_TEXT_SIZE];
  int failed = 0;
  int i;

  if (argc < 2) {
    fprintf(stderr, "usage: %s EXPRESSION...\n", argv[0]);
    return 2;
  }
  session = calculator_new();
  if (session == NULL) {
    return 2;
  }
  calculator_set_report_handler(session, print_report, stdout);
  for (i = 1; i < argc; ++i) {
    double value;
    if (calculator_evaluate(session, argv[i], &value) == CALCULATOR_OK) {
      calculator_format_number(value, number, sizeof number);
      printf("Result is %s\n", number);
    } else {
      printf("Error : %s\n", calculator_error_message(session));
      failed = 1;
    }
  }
  calculator_free(session);
  return failed;
}
