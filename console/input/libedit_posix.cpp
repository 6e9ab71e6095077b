// Loading libedit with dlopen: the POSIX side of libedit_posix.h.

#include "console/input/libedit_posix.h"

#include <dlfcn.h>

#include <cstdio>

#include "console/program_messages.h"

namespace {

// Reads a function's address into a typed pointer.
template <typename Function>
bool Find(void* library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(dlsym(library, name));
  return function != nullptr;
}

bool FindAll(void* library, LibeditFunctions& functions) {
#define CALCULATOR_LIBEDIT_FIND(name) &&Find(library, #name, functions.name)
  return true CALCULATOR_LIBEDIT_FUNCTIONS(CALCULATOR_LIBEDIT_FIND);
#undef CALCULATOR_LIBEDIT_FIND
}

// The library stays loaded until the process ends: a program has one
// terminal, and the editor's functions may run until the last line.
const LibeditFunctions* Load() {
  static LibeditFunctions functions;
  void* library = dlopen(CALCULATOR_LIBEDIT_SONAME, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr || !FindAll(library, functions)) {
    WriteProgramMessage("no line editing: %s", dlerror());
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
