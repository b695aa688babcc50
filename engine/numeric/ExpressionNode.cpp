#include "engine/numeric/ExpressionNode.h"

#include "engine/numeric/EngineErrors.h"
#include "engine/numeric/NumericVariable.h"

#include <algorithm>
#include <vector>

ValueOrError<NumericValue> LiteralNode::evaluate() const { return literal; }

ValueOrError<NumberFormat> LiteralNode::implicitFormat() const { return NumberFormat(); }

ValueOrError<NumericValue> VariableUseNode::evaluate() const {
  if (!used->value)
    return makeUndefinedVariableError(text());
  return *used->value;
}

ValueOrError<NumberFormat> VariableUseNode::implicitFormat() const { return used->format; }

namespace {

// The operations of a chain such as a+b+c, which parses into a tree leaning
// left with one node per operator: the nodes from the innermost (a+b) out to
// `top`, and the operand at the far left. Walking the chain by recursion would
// take one stack frame per operator; the right operands nest only as deep as
// parentheses and calls do.
std::vector<const BinaryOpNode *> leftChain(const BinaryOpNode &top,
                                            const ExpressionNode *&leftmost) {
  std::vector<const BinaryOpNode *> chain;
  const ExpressionNode *node = &top;
  while (auto *operation = dynamic_cast<const BinaryOpNode *>(node)) {
    chain.push_back(operation);
    node = &operation->left();
  }
  leftmost = node;
  std::reverse(chain.begin(), chain.end());
  return chain;
}

} // namespace

BinaryOpNode::~BinaryOpNode() {
  // Unlinks the left chain one node at a time, so that no destructor below
  // has a left child of its own to destroy recursively.
  std::unique_ptr<ExpressionNode> next = std::move(leftChild);
  while (auto *operation = dynamic_cast<BinaryOpNode *>(next.get())) {
    std::unique_ptr<ExpressionNode> deeper = std::move(operation->leftChild);
    next = std::move(deeper);
  }
}

namespace {

/// Folds the chain under `top` from its leftmost operand outwards: `of` gives
/// an operand's result, `join` the result of one operation once both sides
/// have one. Both sides are always taken, and their errors joined, left first.
template <class T, class Of, class Join>
ValueOrError<T> foldChain(const BinaryOpNode &top, Of of, Join join) {
  const ExpressionNode *leftmost = nullptr;
  std::vector<const BinaryOpNode *> chain = leftChain(top, leftmost);
  ValueOrError<T> left = of(*leftmost);
  for (const BinaryOpNode *node : chain) {
    ValueOrError<T> right = of(node->right());
    if (!left || !right)
      left = combineErrors(left.takeError(), right.takeError());
    else
      left = join(*node, *left, *right);
  }
  return left;
}

} // namespace

ValueOrError<NumericValue> BinaryOpNode::evaluate() const {
  return foldChain<NumericValue>(
      *this, [](const ExpressionNode &operand) { return operand.evaluate(); },
      [](const BinaryOpNode &node, const NumericValue &left, const NumericValue &right) {
        return applyArithmetic(node.op(), left, right);
      });
}

ValueOrError<NumberFormat> BinaryOpNode::implicitFormat() const {
  return foldChain<NumberFormat>(
      *this, [](const ExpressionNode &operand) { return operand.implicitFormat(); },
      [](const BinaryOpNode &node, NumberFormat left,
         NumberFormat right) -> ValueOrError<NumberFormat> {
        if (left.kind == NumberKind::None)
          return right;
        if (right.kind != NumberKind::None && !(left == right))
          return node.formatConflict(left, right);
        return left;
      });
}

ErrorValue BinaryOpNode::formatConflict(NumberFormat left, NumberFormat right) const {
  std::string message = "implicit format conflict between '";
  message += leftChild->text();
  message += "' (";
  message += numberKindName(left.kind);
  message += ") and '";
  message += rightChild->text();
  message += "' (";
  message += numberKindName(right.kind);
  message += "), need an explicit format specifier";
  return DiagnosticError::make(*registry, text().data(), message, SourceRange::of(text()));
}
