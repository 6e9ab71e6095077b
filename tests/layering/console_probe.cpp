// Compiled with the console's include path by the layering test, which
// expects the second include to fail: the first, public, must be found.
#include "calculator/calculator.hpp"
#include "console/output.h"
#include "calculator/messages.h"
