// Variable scopes: the variables one EvaluationFrame holds, looked up from the
// innermost scope outward, and their assignment.
#pragma once

#include <cstdint>

#include "calculator/evaluation_frame.h"

namespace calculator_core {

// The scope's own variable `key`, for a scope without a hash index.
inline const Variable* ScanScope(const VariableScope& scope, NameKey key) {
  const Variable* end = scope.entries + scope.own_count;
  for (const Variable* variable = scope.entries; variable != end; ++variable) {
    if (SpelledAs(*variable, key)) {
      return variable;
    }
  }
  return nullptr;
}

// The scope's own variable `key`, for a scope with a hash index (linear
// probing; an index slot holds an entry number, or -1 when empty).
inline const Variable* FindIndexed(const VariableScope& scope, NameKey key) {
  for (std::uint32_t slot = VariableScope::HomeSlot(key.hash);;
       slot = (slot + 1) & (VariableScope::kIndexSize - 1)) {
    std::int16_t entry = scope.index[slot];
    if (entry < 0) {
      return nullptr;
    }
    if (SpelledAs(scope.entries[entry], key)) {
      return &scope.entries[entry];
    }
  }
}

inline const Variable* FindOwnVariable(const VariableScope& scope, NameKey key) {
  return scope.index == nullptr ? ScanScope(scope, key) : FindIndexed(scope, key);
}

// The variable `key` names, looked up from `scope` outward; null when there
// is none. Inline: loop steps look names up all the time.
inline const Variable* LookUpInScopes(const VariableScope* scope, NameKey key) {
  for (; scope != nullptr; scope = scope->outer) {
    if (const Variable* variable = FindOwnVariable(*scope, key)) {
      return variable;
    }
  }
  return nullptr;
}

inline const Variable* LookUpVariable(const EvaluationFrame& frame, NameKey key) {
  return LookUpInScopes(&frame.variables, key);
}
// An empty scope, seeing `outer`'s variables through (null in a root), and
// the release of what a scope holds: the frame's construction and
// destruction.
void InitializeScope(VariableScope& scope, const VariableScope* outer);
void ReleaseScope(VariableScope& scope);

// Assigns `value` to the variable `name` in this frame, adding it when
// the frame holds no variable of that name itself. Raises "Variable
// Error : Too many variables." when a name new to every ancestor would make
// more than kTableCapacity; a name longer than kMaxTextLength characters is
// stored cut to its first kMaxTextLength.
void SetVariable(EvaluationFrame& frame, const char* name, double value);
// Makes `child`, which serves every step of one loop, hold what a fresh
// child of its parent would hold after assigning the loop variable: the
// previous step's assignments go. The name is not copied: the loop's name
// buffer outlives the child. `is_new` says that no ancestor has the name.
void RestartLoopChild(EvaluationFrame& child, const NameKey& key, bool is_new, double value);
inline void StartLoopStep(EvaluationFrame& child, const NameKey& key, bool is_new, double value) {
  VariableScope& scope = child.variables;
  if (scope.own_count == 1 && scope.index == nullptr) {
    // The last step assigned nothing but perhaps the loop variable, its
    // first entry: only the value differs from a fresh child's.
    scope.entries[0].value = value;
    return;
  }
  RestartLoopChild(child, key, is_new, value);
}

}  // namespace calculator_core
