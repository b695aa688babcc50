#include "engine/numeric/ExpressionNode.h"

#include "engine/numeric/EngineErrors.h"
#include "engine/numeric/NumericVariable.h"

ValueOrError<NumericValue> LiteralNode::evaluate() const { return literal; }

ValueOrError<NumberFormat> LiteralNode::implicitFormat() const { return NumberFormat(); }

ValueOrError<NumericValue> VariableUseNode::evaluate() const {
  if (!used->value)
    return makeUndefinedVariableError(text());
  return *used->value;
}

ValueOrError<NumberFormat> VariableUseNode::implicitFormat() const { return used->format; }

ValueOrError<NumericValue> BinaryOpNode::evaluate() const {
  ValueOrError<NumericValue> left = leftChild->evaluate();
  ValueOrError<NumericValue> right = rightChild->evaluate();
  if (!left || !right)
    return combineErrors(left.takeError(), right.takeError());
  return applyArithmetic(operation, *left, *right);
}

ValueOrError<NumberFormat> BinaryOpNode::implicitFormat() const {
  ValueOrError<NumberFormat> left = leftChild->implicitFormat();
  ValueOrError<NumberFormat> right = rightChild->implicitFormat();
  if (!left || !right)
    return combineErrors(left.takeError(), right.takeError());
  if (left->kind == NumberKind::None)
    return *right;
  if (right->kind == NumberKind::None || *left == *right)
    return *left;
  std::string message = "implicit format conflict between '";
  message += leftChild->text();
  message += "' (";
  message += numberKindName(left->kind);
  message += ") and '";
  message += rightChild->text();
  message += "' (";
  message += numberKindName(right->kind);
  message += "), need an explicit format specifier";
  return DiagnosticError::make(*registry, text().data(), message, SourceRange::of(text()));
}
