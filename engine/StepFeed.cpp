#include "engine/StepFeed.h"

#include "engine/CheckFileReader.h"
#include "engine/numeric/VariableContext.h"

#include <cassert>
#include <optional>
#include <utility>

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
                                 const char *lastLabelAt, size_t firstOwn, bool keepSteps)
    : reader(reader), context(context), lastLabelAt(lastLabelAt), firstOwn(firstOwn),
      keepSteps(keepSteps) {}

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
  held.push_back(std::move(*step));
  substitutionsBefore.push_back(substitutions);
  return true;
}

const CheckStep *ReadingStepFeed::at(size_t index) {
  assert(index >= firstHeld && "a released step was asked for");
  while (firstHeld + held.size() <= index)
    if (!readNext())
      return nullptr;
  return &held[index - firstHeld];
}

bool ReadingStepFeed::labelFrom(size_t index) {
  return index < lastLabel || (!ended && lastLabelAt && reader.position() <= lastLabelAt);
}

void ReadingStepFeed::release(size_t index) {
  if (keepSteps)
    return;
  for (; firstHeld < index && !held.empty(); ++firstHeld) {
    held.pop_front();
    substitutionsBefore.pop_front();
  }
  // The reader leaves nothing half read between steps, so every
  // substitution before the first held step's belongs to a released one.
  size_t end = held.empty() ? context.ownedSubstitutions.size() : substitutionsBefore.front();
  if (end == firstOwn)
    return;
  context.dropSubstitutions(firstOwn, end);
  for (size_t &before : substitutionsBefore)
    before -= end - firstOwn;
}

void ReadingStepFeed::readToEnd() {
  while (readNext()) {
    // Nothing asks for these steps: they go at once, whatever is kept.
    size_t before = substitutionsBefore.back();
    held.pop_back();
    substitutionsBefore.pop_back();
    context.dropSubstitutions(before, context.ownedSubstitutions.size());
  }
}

void ReadingStepFeed::forgetLocalVariables() { context.forgetLocalValues(); }
