// The Calculator record, its construction and destruction, and the name
// table operations.

#include <cstring>
#include <new>

#include "calculator/calculator.h"

namespace {

// Every Calculator owns a dozen or more 250-byte buffers, and sigma and
// integral build a fresh child Calculator for every loop step. Released
// buffers go onto a per-thread free list and are handed out again, so a loop
// step costs no trip to the general-purpose allocator.
union TextBlock {
  TextBlock* next;
  char text[kTextBufferSize];
};

struct TextBlockPool {
  TextBlock* free_list = nullptr;
  ~TextBlockPool() {
    while (free_list != nullptr) {
      TextBlock* block = free_list;
      free_list = block->next;
      delete block;
    }
  }
};

thread_local TextBlockPool text_block_pool;

char* AcquireTextBlock() {
  TextBlockPool& pool = text_block_pool;
  if (pool.free_list == nullptr) {
    return (new TextBlock)->text;
  }
  TextBlock* block = pool.free_list;
  pool.free_list = block->next;
  return block->text;
}

void ReleaseTextBlock(char* text) {
  TextBlockPool& pool = text_block_pool;
  TextBlock* block = reinterpret_cast<TextBlock*>(text);
  block->next = pool.free_list;
  pool.free_list = block;
}

constexpr const char* kConstNames[] = {"pi", "e"};
constexpr const char* kFunctionNames[] = {"sin",     "cos",      "tan",  "log",
                                          "log10",   "abs",      "sqrt", "rad2deg",
                                          "deg2rad", "integral", "set",  "sigma"};

constexpr double kPi = 3.141592653589793;

// Copies at most 249 characters of `name` and always terminates the copy.
void CopyName(char* buffer, const char* name) {
  int i = 0;
  for (; i < kMaxTextLength && name[i] != '\0'; ++i) {
    buffer[i] = name[i];
  }
  buffer[i] = '\0';
}

void AppendName(NameTable& table, const char* name) {
  char* buffer = AcquireTextBlock();
  CopyName(buffer, name);
  table.names[table.count] = buffer;
  ++table.count;
}

void ReleaseNames(NameTable& table) {
  for (std::int32_t i = 0; i < table.count; ++i) {
    ReleaseTextBlock(table.names[i]);
  }
  table.count = 0;
}

// Index of `name` in `table`, or -1.
std::int32_t FindName(const char* name, const NameTable& table) {
  for (std::int32_t i = 0; i < table.count; ++i) {
    if (std::strcmp(table.names[i], name) == 0) {
      return i;
    }
  }
  return -1;
}

// A stored name is cut to 249 characters, so a longer name is looked up by
// the same cut.
std::int32_t FindVariable(const Calculator& calculator, const char* name) {
  if (std::strlen(name) <= static_cast<std::size_t>(kMaxTextLength)) {
    return FindName(name, calculator.VariableTable);
  }
  char cut[kTextBufferSize];
  CopyName(cut, name);
  return FindName(cut, calculator.VariableTable);
}

}  // namespace

Calculator::Calculator() : length(0), cursor(0) {
  ConstTable.count = 0;
  VariableTable.count = 0;
  FunctionTable.count = 0;
  expression = AcquireTextBlock();
  expression[0] = '\0';
  for (const char* name : kConstNames) {
    AppendName(ConstTable, name);
  }
  for (const char* name : kFunctionNames) {
    AppendName(FunctionTable, name);
  }
}

Calculator::~Calculator() {
  ReleaseTextBlock(expression);
  ReleaseNames(ConstTable);
  ReleaseNames(VariableTable);
  ReleaseNames(FunctionTable);
}

bool IsRegistered(const char* name, const NameTable& table) {
  return FindName(name, table) >= 0;
}

void SetVariable(Calculator& calculator, const char* name, double value) {
  NameTable& table = calculator.VariableTable;
  std::int32_t index = FindVariable(calculator, name);
  if (index >= 0) {
    calculator.VariableValues[index] = value;
    return;
  }
  if (table.count >= kTableCapacity) {
    throw EvaluationError{"Variable Error : Too many variables."};
  }
  calculator.VariableValues[table.count] = value;
  AppendName(table, name);
}

double VariableValue(const Calculator& calculator, const char* name) {
  std::int32_t index = FindVariable(calculator, name);
  if (index < 0) {
    throw EvaluationError{"Variable Error : Variable not found."};
  }
  return calculator.VariableValues[index];
}

double ConstValue(const char* name) {
  if (std::strcmp(name, "pi") == 0) {
    return kPi;
  }
  throw EvaluationError{"Const Fatal Error : Registered in ConstTable. But, not implement."};
}

void CopyVariables(Calculator& destination, const Calculator& source) {
  const NameTable& table = source.VariableTable;
  for (std::int32_t i = 0; i < table.count; ++i) {
    SetVariable(destination, table.names[i], source.VariableValues[i]);
  }
}
