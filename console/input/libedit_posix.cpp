#include "console/input/libedit_posix.h"

#include <dlfcn.h>

#include <cstdio>

#include "console/command_line.h"

namespace {

// Reads a function's address into a typed pointer.
template <typename Function>
bool Find(void* library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(dlsym(library, name));
  return function != nullptr;
}

bool FindAll(void* library, LibeditFunctions& functions) {
  return Find(library, "el_init", functions.el_init) && Find(library, "el_end", functions.el_end) &&
         Find(library, "el_set", functions.el_set) && Find(library, "el_wset", functions.el_wset) &&
         Find(library, "el_get", functions.el_get) &&
         Find(library, "el_source", functions.el_source) &&
         Find(library, "el_resize", functions.el_resize) &&
         Find(library, "el_beep", functions.el_beep) &&
         Find(library, "el_cursor", functions.el_cursor) &&
         Find(library, "el_deletestr", functions.el_deletestr) &&
         Find(library, "el_winsertstr", functions.el_winsertstr) &&
         Find(library, "el_wline", functions.el_wline) &&
         Find(library, "el_wgets", functions.el_wgets) &&
         Find(library, "el_wgetc", functions.el_wgetc) &&
         Find(library, "el_wpush", functions.el_wpush) &&
         Find(library, "history_winit", functions.history_winit) &&
         Find(library, "history_wend", functions.history_wend) &&
         Find(library, "history_w", functions.history_w);
}

// The library stays loaded until the process ends: a program has one
// terminal, and the editor's functions may run until the last line.
const LibeditFunctions* Load() {
  static LibeditFunctions functions;
  void* library = dlopen(CALCULATOR_LIBEDIT_SONAME, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr || !FindAll(library, functions)) {
    std::fprintf(stderr, "%s: no line editing: %s\n", kProgramName, dlerror());
    return nullptr;
  }
  return &functions;
}

}  // namespace

const LibeditFunctions* LoadLibedit() {
  static const LibeditFunctions* const loaded = Load();
  return loaded;
}

const LibeditFunctions& Libedit() {
  return *LoadLibedit();
}
