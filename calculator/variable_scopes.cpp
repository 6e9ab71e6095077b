// Variable scopes: the name blocks of assigned variables, the scopes'
// tables and their growth, assignment.

#include "calculator/variable_scopes.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "calculator/builtins.h"
#include "calculator/messages.h"

namespace calculator_core {

namespace {

// Variables assigned with set get a name buffer of kTextBufferSize bytes
// each, and a loop body that assigns one does so in every step. Released
// buffers are kept on a per-thread free list and handed out again, so such
// a step costs no trip to the general-purpose allocator.
struct FreeBlock {
  FreeBlock* next;
};

// Set once the thread's pool is gone. A session destroyed after it (a
// static or thread_local one, destroyed at exit after the pool) gives its
// blocks straight back to the allocator instead of to a pool that nobody
// frees. Trivially destructible, so it outlives the pool.
thread_local bool name_pool_gone = false;

struct NameBlockPool {
  FreeBlock* blocks = nullptr;

  NameBlockPool() = default;
  NameBlockPool(const NameBlockPool&) = delete;
  NameBlockPool& operator=(const NameBlockPool&) = delete;
  ~NameBlockPool() {
    while (blocks != nullptr) {
      FreeBlock* next = blocks->next;
      ::operator delete(blocks);
      blocks = next;
    }
    name_pool_gone = true;
  }
};

thread_local NameBlockPool name_blocks;

char* AcquireNameBlock() {
  FreeBlock* block = name_pool_gone ? nullptr : name_blocks.blocks;
  if (block == nullptr) {
    return static_cast<char*>(::operator new(kTextBufferSize));
  }
  name_blocks.blocks = block->next;
  return reinterpret_cast<char*>(block);
}

void ReleaseNameBlock(const char* name) {
  FreeBlock* block = reinterpret_cast<FreeBlock*>(const_cast<char*>(name));
  if (name_pool_gone) {
    ::operator delete(block);
    return;
  }
  block->next = name_blocks.blocks;
  name_blocks.blocks = block;
}

constexpr std::int16_t kEmptySlot = -1;
constexpr std::uint32_t kIndexMask = VariableScope::kIndexSize - 1;

static_assert(VariableScope::kIndexSize >= 2 * kTableCapacity,
              "the hash index keeps at least half of its slots free");

// Index of the scope's own entry for `key`, or -1.
std::int32_t FindOwn(const VariableScope& scope, NameKey key) {
  const Variable* variable = FindOwnVariable(scope, key);
  return variable == nullptr ? -1 : static_cast<std::int32_t>(variable - scope.entries);
}

void IndexEntry(VariableScope& scope, std::int32_t entry) {
  std::uint32_t slot = VariableScope::HomeSlot(scope.entries[entry].hash);
  while (scope.index[slot] != kEmptySlot) {
    slot = (slot + 1) & kIndexMask;
  }
  scope.index[slot] = static_cast<std::int16_t>(entry);
}

// Moves the inline entries to a table of full capacity and indexes them.
// Leaves the scope as it was when memory runs out.
void GrowScope(VariableScope& scope) {
  std::unique_ptr<Variable[]> entries(new Variable[kTableCapacity]);
  std::unique_ptr<std::int16_t[]> index(new std::int16_t[VariableScope::kIndexSize]);
  std::copy(scope.entries, scope.entries + scope.own_count, entries.get());
  std::fill(index.get(), index.get() + VariableScope::kIndexSize, kEmptySlot);
  scope.entries = entries.release();
  scope.index = index.release();
  for (std::int32_t i = 0; i < scope.own_count; ++i) {
    IndexEntry(scope, i);
  }
}

// Makes room for one more entry, so that appending it cannot fail.
void ReserveEntry(VariableScope& scope) {
  if (scope.index == nullptr && scope.own_count == VariableScope::kInlineCount) {
    GrowScope(scope);
  }
}

void AppendOwn(VariableScope& scope, const Variable& variable) {
  ReserveEntry(scope);
  std::int32_t entry = scope.own_count++;
  scope.entries[entry] = variable;
  if (scope.index != nullptr) {
    IndexEntry(scope, entry);
  }
}

// A name that the scope does not hold itself counts against the capacity
// when it is new to every ancestor; one that shadows an ancestor's does
// not, as a copy of the ancestor's variables would already hold it.
void CheckRoomForName(const VariableScope& scope, bool is_new) {
  if (is_new && scope.visible_count >= kTableCapacity) {
    throw EvaluationError{messages::kTooManyVariables};
  }
}

void CountAddedName(VariableScope& scope, bool is_new) {
  CheckRoomForName(scope, is_new);
  if (is_new) {
    ++scope.visible_count;
  }
}

}  // namespace

void InitializeScope(VariableScope& scope, const VariableScope* outer) {
  scope.outer = outer;
  scope.visible_count = outer == nullptr ? 0 : outer->visible_count;
  scope.own_count = 0;
  scope.entries = scope.inline_entries;
  scope.index = nullptr;
}

void ReleaseScope(VariableScope& scope) {
  for (std::int32_t i = 0; i < scope.own_count; ++i) {
    if (scope.entries[i].owns_name) {
      ReleaseNameBlock(scope.entries[i].name);
    }
  }
  if (scope.index != nullptr) {
    delete[] scope.entries;
    delete[] scope.index;
  }
}

void SetVariable(EvaluationFrame& frame, const char* name, double value) {
  VariableScope& scope = frame.variables;
  NameKey key = MakeNameKey(name);
  std::int32_t own = FindOwn(scope, key);
  if (own >= 0) {
    scope.entries[own].value = value;
    return;
  }
  // Everything that can fail comes before the first change.
  bool is_new = LookUpInScopes(scope.outer, key) == nullptr;
  CheckRoomForName(scope, is_new);
  ReserveEntry(scope);
  char* copy = AcquireNameBlock();
  std::memcpy(copy, key.chars, static_cast<std::size_t>(key.length));
  copy[key.length] = '\0';
  CountAddedName(scope, is_new);
  AppendOwn(scope, Variable{value, copy, key.length, key.hash, true, IsConstantName(key)});
}

void RestartLoopChild(EvaluationFrame& child, const NameKey& key, bool is_new, double value) {
  VariableScope& scope = child.variables;
  ReleaseScope(scope);
  InitializeScope(scope, scope.outer);
  CountAddedName(scope, is_new);
  AppendOwn(scope, Variable{value, key.chars, key.length, key.hash, false, IsConstantName(key)});
}

}  // namespace calculator_core
