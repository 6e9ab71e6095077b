// libedit, loaded only when a person types at a terminal: a program that
// answers a pipe or a file never pays for loading it and the libraries it
// needs, which would cost more than the answers themselves in a shell loop
// that starts the calculator once per line.
#pragma once

#include <histedit.h>

// The functions of libedit that the key editor calls, each named once:
// X(name) for every one.
#define CALCULATOR_LIBEDIT_FUNCTIONS(X)                                                      \
  X(el_init)                                                                                 \
  X(el_end) X(el_set) X(el_wset) X(el_get) X(el_source) X(el_resize) X(el_beep) X(el_cursor) \
      X(el_deletestr) X(el_winsertstr) X(el_wline) X(el_wgets) X(el_wgetc) X(el_wpush)       \
          X(history_winit) X(history_wend) X(history_w)

// Pointers to them, under their own names.
struct LibeditFunctions {
#define CALCULATOR_LIBEDIT_POINTER(name) decltype(&::name) name;
  CALCULATOR_LIBEDIT_FUNCTIONS(CALCULATOR_LIBEDIT_POINTER)
#undef CALCULATOR_LIBEDIT_POINTER
};

// Loads libedit on the first call and finds its functions. nullptr when it
// cannot, after a warning on standard error: lines are then read without
// editing.
const LibeditFunctions* LoadLibedit();

// The functions of the loaded library; LoadLibedit must have succeeded.
const LibeditFunctions& Libedit();
