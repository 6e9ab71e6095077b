// The Calculator record, its construction and destruction, and the name
// table operations.

#include <cstring>
#include <new>

#include "calculator/core.h"

namespace calculator_core {

namespace {

// Every Calculator owns a dozen or more 250-byte buffers, and sigma and
// integral build a fresh child Calculator for every loop step. Released
// buffers and records are kept on per-thread free lists and handed out
// again, so a loop step costs no trip to the general-purpose allocator.
//
// The buffers of the built-in names go back as one set, names still in
// place: the next Calculator takes the whole set over instead of taking
// fourteen buffers one by one and copying a name into each.

constexpr int kConstCount = kConstantCount;
constexpr int kBuiltinCount = kConstCount + kFunctionCount;
constexpr std::size_t kBuiltinNameSize = 16;  // padded: copied with fixed moves
constexpr char kBuiltinNames[kBuiltinCount][kBuiltinNameSize] = {
    "pi",  "e",    "sin",     "cos",     "tan",      "log", "log10",
    "abs", "sqrt", "rad2deg", "deg2rad", "integral", "set", "sigma"};

struct FreeBlock {
  FreeBlock* next;
};

// The buffers of one Calculator's built-in names, constants first.
struct BuiltinNameSet {
  BuiltinNameSet* next;
  char* names[kBuiltinCount];
};

struct Pools {
  FreeBlock* text_blocks = nullptr;
  FreeBlock* records = nullptr;
  BuiltinNameSet* filled_sets = nullptr;  // buffers attached, names in place
  BuiltinNameSet* empty_sets = nullptr;   // holders without buffers

  Pools() = default;
  Pools(const Pools&) = delete;
  Pools& operator=(const Pools&) = delete;
  ~Pools();
};

thread_local Pools pools;

void* PopBlock(FreeBlock*& list, std::size_t size) {
  FreeBlock* block = list;
  if (block == nullptr) {
    return ::operator new(size);
  }
  list = block->next;
  return block;
}

void PushBlock(FreeBlock*& list, void* memory) {
  FreeBlock* block = static_cast<FreeBlock*>(memory);
  block->next = list;
  list = block;
}

void FreeBlocks(FreeBlock* list) {
  while (list != nullptr) {
    FreeBlock* next = list->next;
    ::operator delete(list);
    list = next;
  }
}

Pools::~Pools() {
  while (filled_sets != nullptr) {
    BuiltinNameSet* set = filled_sets;
    filled_sets = set->next;
    for (char* name : set->names) {
      ::operator delete(name);
    }
    delete set;
  }
  while (empty_sets != nullptr) {
    BuiltinNameSet* set = empty_sets;
    empty_sets = set->next;
    delete set;
  }
  FreeBlocks(text_blocks);
  FreeBlocks(records);
}

char* AcquireTextBlock() {
  return static_cast<char*>(PopBlock(pools.text_blocks, kTextBufferSize));
}
void ReleaseTextBlock(char* text) {
  PushBlock(pools.text_blocks, text);
}

// A holder for a set: a spare one if there is, a new one otherwise.
BuiltinNameSet* AcquireSetHolder() {
  BuiltinNameSet* set = pools.empty_sets;
  if (set == nullptr) {
    return new BuiltinNameSet;
  }
  pools.empty_sets = set->next;
  return set;
}

// A set with the names already in place: a returned one if there is, one
// built afresh otherwise.
BuiltinNameSet* AcquireFilledSet() {
  BuiltinNameSet* set = pools.filled_sets;
  if (set != nullptr) {
    pools.filled_sets = set->next;
    return set;
  }
  set = AcquireSetHolder();
  for (int i = 0; i < kBuiltinCount; ++i) {
    set->names[i] = AcquireTextBlock();
    std::memcpy(set->names[i], kBuiltinNames[i], kBuiltinNameSize);
  }
  return set;
}

void TakeBuiltinNames(Calculator& calculator) {
  BuiltinNameSet* set = AcquireFilledSet();
  std::memcpy(calculator.ConstTable.names, set->names, sizeof(char*) * kConstCount);
  std::memcpy(calculator.FunctionTable.names, set->names + kConstCount,
              sizeof(char*) * kFunctionCount);
  calculator.ConstTable.count = kConstCount;
  calculator.FunctionTable.count = kFunctionCount;
  set->next = pools.empty_sets;
  pools.empty_sets = set;
}

void ReturnBuiltinNames(const Calculator& calculator) {
  BuiltinNameSet* set = AcquireSetHolder();
  std::memcpy(set->names, calculator.ConstTable.names, sizeof(char*) * kConstCount);
  std::memcpy(set->names + kConstCount, calculator.FunctionTable.names,
              sizeof(char*) * kFunctionCount);
  set->next = pools.filled_sets;
  pools.filled_sets = set;
}

constexpr double kPi = 3.141592653589793;

// Copies at most 249 characters of `name` and always terminates the copy.
// Variable names are short: an inline loop beats two library calls.
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

// A stored name is cut to 249 characters, so a longer name matches the
// entry that holds its cut. Names are short: an inline byte loop that stops
// at the first difference beats a library call.
bool NameMatches(const char* entry, const char* name) {
  int i = 0;
  while (entry[i] != '\0' && entry[i] == name[i]) {
    ++i;
  }
  return entry[i] == name[i] || (entry[i] == '\0' && i == kMaxTextLength);
}

// Index of `name` in `table`, or -1.
std::int32_t FindName(const char* name, const NameTable& table) {
  for (std::int32_t i = 0; i < table.count; ++i) {
    if (NameMatches(table.names[i], name)) {
      return i;
    }
  }
  return -1;
}

}  // namespace

const char* const kConstantNames[kConstantCount] = {kBuiltinNames[0], kBuiltinNames[1]};
const char* const kFunctionNames[kFunctionCount] = {
    kBuiltinNames[2],  kBuiltinNames[3],  kBuiltinNames[4],  kBuiltinNames[5],
    kBuiltinNames[6],  kBuiltinNames[7],  kBuiltinNames[8],  kBuiltinNames[9],
    kBuiltinNames[10], kBuiltinNames[11], kBuiltinNames[12], kBuiltinNames[13]};

Calculator::Calculator(EvaluationContext* context) : length(0), cursor(0), context(context) {
  VariableTable.count = 0;
  expression = AcquireTextBlock();
  expression[0] = '\0';
  TakeBuiltinNames(*this);
}

Calculator::~Calculator() {
  ReleaseTextBlock(expression);
  ReturnBuiltinNames(*this);
  ReleaseNames(VariableTable);
}

void* Calculator::operator new(std::size_t size) {
  return size == sizeof(Calculator) ? PopBlock(pools.records, size) : ::operator new(size);
}

void Calculator::operator delete(void* memory, std::size_t size) noexcept {
  if (size == sizeof(Calculator)) {
    PushBlock(pools.records, memory);
  } else {
    ::operator delete(memory);
  }
}

bool IsRegistered(const char* name, const NameTable& table) {
  return FindName(name, table) >= 0;
}

void SetVariable(Calculator& calculator, const char* name, double value) {
  NameTable& table = calculator.VariableTable;
  std::int32_t index = FindName(name, calculator.VariableTable);
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
  std::int32_t index = FindName(name, calculator.VariableTable);
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
  if (destination.VariableTable.count == 0) {
    // The source's names are distinct, so into an empty table every
    // assignment is an append: no search needed.
    for (std::int32_t i = 0; i < table.count; ++i) {
      destination.VariableValues[i] = source.VariableValues[i];
      AppendName(destination.VariableTable, table.names[i]);
    }
    return;
  }
  for (std::int32_t i = 0; i < table.count; ++i) {
    SetVariable(destination, table.names[i], source.VariableValues[i]);
  }
}

}  // namespace calculator_core
