#include "engine/StepFeed.h"

#include "engine/CheckFileReader.h"
#include "engine/numeric/VariableContext.h"

#include <cassert>
#include <memory>
#include <optional>
#include <utility>

namespace ostrel {

StepFeed::~StepFeed() = default;

KeptStepFeed::KeptStepFeed(const std::vector<CheckStep> &steps, VariableContext &context)
    : steps(steps), context(context) {
  for (size_t i = steps.size(); i > 0; --i) {
    if (steps[i - 1].pattern.kind.type == DirectiveType::Label) {
      lastLabel = i;
      break;
    }
  }
}

const CheckStep *KeptStepFeed::at(size_t index) {
  return index < steps.size() ? &steps[index] : nullptr;
}

void KeptStepFeed::forgetLocalVariables() { context.forgetLocalVariables(); }

ReadingStepFeed::ReadingStepFeed(CheckFileReader &reader, VariableContext &context,
                                 const char *lastLabelAt, bool keepSteps)
    : reader(reader), context(context), lastLabelAt(lastLabelAt), keepSteps(keepSteps) {}

ReadingStepFeed::~ReadingStepFeed() = default;

bool ReadingStepFeed::readNext() {
  if (ended)
    return false;
  size_t substitutions = context.ownedSubstitutions.size();
  std::optional<CheckStep> step;
  readError = reader.readStep(step);
  if (readError || !step) {
    ended = true;
    return false;
  }
  if (step->pattern.kind.type == DirectiveType::Label)
    lastLabel = firstHeld + held.size() + 1;
  // The reader leaves nothing half read between steps: what it made since
  // the last step belongs to this one.
  held.push_back(HeldStep{std::move(*step), context.takeSubstitutions(substitutions)});
  return true;
}

const CheckStep *ReadingStepFeed::at(size_t index) {
  assert(index >= firstHeld && "a released step was asked for");
  while (firstHeld + held.size() <= index)
    if (!readNext())
      return nullptr;
  return &held[index - firstHeld].step;
}

bool ReadingStepFeed::labelFrom(size_t index) {
  return index < lastLabel || (!ended && lastLabelAt && reader.position() <= lastLabelAt);
}

void ReadingStepFeed::release(size_t index) {
  if (keepSteps)
    return;
  for (; firstHeld < index && !held.empty(); ++firstHeld)
    held.pop_front();
}

void ReadingStepFeed::forgetLocalVariables() { context.forgetLocalValues(); }

} // namespace ostrel
