#ifndef OSTREL_ENGINE_STEPFEED_H
#define OSTREL_ENGINE_STEPFEED_H

/// The check steps as the checking asks for them, by number in file order:
/// from the list of a check file read whole, or read from the check text as
/// the checking reaches them, so that only the steps between two labels are
/// held at a time. Tested by StepFeed_test.cpp.

#include "engine/CheckStep.h"
#include "support/diag/ErrorValue.h"

#include <cstddef>
#include <deque>
#include <memory>
#include <vector>

namespace ostrel {

class CheckFileReader;
class Substitution;
class VariableContext;

class StepFeed {
public:
  virtual ~StepFeed();
  /// Step number `index`, or null when there are fewer steps. Valid until the
  /// feed releases it; asking for a step moves no other step.
  virtual const CheckStep *at(size_t index) = 0;
  /// False when no LABEL step is numbered `index` or later; true when one
  /// is or may be. `index` is at most one past the last step asked for.
  virtual bool labelFrom(size_t index) = 0;
  /// The checking asks for no step before `index` again.
  virtual void release(size_t index) = 0;
  /// Forgets the local variables at the start of a label's block.
  virtual void forgetLocalVariables() = 0;
};

/// The steps of a check file read whole.
class KeptStepFeed final : public StepFeed {
public:
  /// `steps` and `context` outlive the feed.
  KeptStepFeed(const std::vector<CheckStep> &steps, VariableContext &context);
  const CheckStep *at(size_t index) override;
  bool labelFrom(size_t index) override { return index < lastLabel; }
  void release(size_t) override {}
  void forgetLocalVariables() override;

private:
  const std::vector<CheckStep> &steps;
  VariableContext &context;
  /// One past the number of the last LABEL step; 0 when there is none.
  size_t lastLabel = 0;
};

/// The steps read from a check text as the checking asks for them. A fault
/// in the text ends the steps; the reader has reported it.
class ReadingStepFeed final : public StepFeed {
public:
  /// `reader` has started on the text; `lastLabelAt` is where the last
  /// "-LABEL" of the text begins (null when there is none), so that no
  /// step after it is read ahead in search of a label. With `keepSteps` no
  /// step is released (the checking keeps pointers to earlier steps). All
  /// references outlive the feed.
  ReadingStepFeed(CheckFileReader &reader, VariableContext &context, const char *lastLabelAt,
                  bool keepSteps);
  ~ReadingStepFeed() override;
  const CheckStep *at(size_t index) override;
  bool labelFrom(size_t index) override;
  void release(size_t index) override;
  void forgetLocalVariables() override;
  /// The fault that ended the steps, if any (success otherwise).
  ErrorValue takeReadError() { return std::move(readError); }
  /// How many steps are read and not yet released.
  size_t heldSteps() const { return held.size(); }

private:
  /// A step with the substitutions its patterns made, which go with it.
  struct HeldStep {
    CheckStep step;
    std::vector<std::unique_ptr<Substitution>> substitutions;
  };

  /// Reads the next step into `held`; false at the end or at a fault.
  bool readNext();

  CheckFileReader &reader;
  VariableContext &context;
  const char *lastLabelAt;
  bool keepSteps;
  bool ended = false;
  ErrorValue readError;
  /// The steps read and not released, the first of them numbered `firstHeld`.
  std::deque<HeldStep> held;
  size_t firstHeld = 0;
  /// One past the number of the last LABEL step read; 0 when none yet.
  size_t lastLabel = 0;
};

} // namespace ostrel

#endif
