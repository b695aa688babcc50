#include "engine/numeric/ExpressionNode.h"

#include "engine/numeric/NumericErrors.h"
#include "engine/numeric/NumericVariable.h"
#include "support/diag/DiagnosticError.h"

#include <vector>

namespace ostrel {

ValueOrError<NumericValue> LiteralNode::evaluate() const { return literal; }

ValueOrError<NumberFormat> LiteralNode::implicitFormat() const { return NumberFormat(); }

ValueOrError<NumericValue> VariableUseNode::evaluate() const {
  if (!used->value)
    return makeUndefinedVariableError(text());
  return *used->value;
}

ValueOrError<NumberFormat> VariableUseNode::implicitFormat() const { return used->format; }

BinaryOpNode::~BinaryOpNode() {
  // Unlinks the left chain one node at a time, so that no destructor below
  // has a left child of its own to destroy recursively.
  std::unique_ptr<ExpressionNode> next = std::move(leftChild);
  while (next && next->asOperation()) {
    std::unique_ptr<ExpressionNode> deeper = std::move(static_cast<BinaryOpNode &>(*next).leftChild);
    next = std::move(deeper);
  }
}

namespace {

/// Folds the chain of operations under `top` (a+b+c parses into a tree
/// leaning left, one node per operator) from its leftmost operand outwards:
/// `of` gives an operand's result, `join` the result of one operation once
/// both sides have one. Both sides are always taken, and their errors joined,
/// left first. The chain is walked, not recursed into: the right operands
/// nest only as deep as parentheses and calls do. Short chains, which are
/// almost all, are listed without allocating.
template <class T, class Of, class Join>
ValueOrError<T> foldChain(const BinaryOpNode &top, Of of, Join join) {
  size_t length = 0;
  const ExpressionNode *leftmost = &top;
  for (const BinaryOpNode *node; (node = leftmost->asOperation()); leftmost = &node->left())
    ++length;
  constexpr size_t shortChain = 16;
  const BinaryOpNode *shortNodes[shortChain];
  std::vector<const BinaryOpNode *> longNodes;
  if (length > shortChain)
    longNodes.resize(length);
  const BinaryOpNode **chain = length > shortChain ? longNodes.data() : shortNodes;
  const BinaryOpNode *node = &top;
  for (size_t i = length; i-- > 0; node = node->left().asOperation())
    chain[i] = node;

  ValueOrError<T> left = of(*leftmost);
  for (size_t i = 0; i != length; ++i) {
    ValueOrError<T> right = of(chain[i]->right());
    if (!left || !right)
      left = combineErrors(left.takeError(), right.takeError());
    else
      left = join(*chain[i], *left, *right);
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
  return DiagnosticError::make(*registry, text().data(), message, SourceRange::of(text()),
                               DiagnosticKind::InvalidNumericBlock);
}

} // namespace ostrel
