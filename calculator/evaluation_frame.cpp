// The evaluation frame's construction and destruction, and the name keys
// its lookups compare.
#include "calculator/evaluation_frame.h"

#include "calculator/variable_scopes.h"

namespace calculator_core {

EvaluationFrame::EvaluationFrame(EvaluationContext* context)
    : expression(text), length(0), cursor(0), context(context) {
  InitializeScope(variables, nullptr);
  text[0] = '\0';
}

EvaluationFrame::EvaluationFrame(ChildOf child_of)
    : expression(text), length(0), cursor(0), context(child_of.parent.context) {
  InitializeScope(variables, &child_of.parent.variables);
  text[0] = '\0';
}

EvaluationFrame::~EvaluationFrame() {
  ReleaseScope(variables);
}

NameKey MakeNameKey(const char* name) {
  NameKey key{name, 0, kNameHashSeed};
  while (key.length < kMaxTextLength && name[key.length] != '\0') {
    key.hash = HashNameByte(key.hash, name[key.length]);
    ++key.length;
  }
  return key;
}

}  // namespace calculator_core
