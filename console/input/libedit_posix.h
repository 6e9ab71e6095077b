// libedit, loaded only when a person types at a terminal: a program that
// answers a pipe or a file never pays for loading it and the libraries it
// needs, which would cost more than the answers themselves in a shell loop
// that starts the calculator once per line.
#pragma once

#include <histedit.h>

// The functions of libedit that the key editor calls.
struct LibeditFunctions {
  decltype(&::el_init) el_init;
  decltype(&::el_end) el_end;
  decltype(&::el_set) el_set;
  decltype(&::el_wset) el_wset;
  decltype(&::el_get) el_get;
  decltype(&::el_source) el_source;
  decltype(&::el_resize) el_resize;
  decltype(&::el_beep) el_beep;
  decltype(&::el_cursor) el_cursor;
  decltype(&::el_deletestr) el_deletestr;
  decltype(&::el_winsertstr) el_winsertstr;
  decltype(&::el_wline) el_wline;
  decltype(&::el_wgets) el_wgets;
  decltype(&::el_wgetc) el_wgetc;
  decltype(&::el_wpush) el_wpush;
  decltype(&::history_winit) history_winit;
  decltype(&::history_wend) history_wend;
  decltype(&::history_w) history_w;
};

// Loads libedit on the first call and finds its functions. nullptr when it
// cannot, after a warning on standard error: lines are then read without
// editing.
const LibeditFunctions* LoadLibedit();

// The functions of the loaded library; LoadLibedit must have succeeded.
const LibeditFunctions& Libedit();
