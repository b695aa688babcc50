#ifndef OSTREL_ENGINE_NUMERIC_EXPRESSIONNODE_H
#define OSTREL_ENGINE_NUMERIC_EXPRESSIONNODE_H

/// The tree of a parsed numeric expression: literals, uses of numeric
/// variables and binary operations. A node owns its children; every node keeps
/// the text it was written as, for messages. NumericExpression pairs the root
/// with the format its result is written in.
/// Tested through NumericExpressionParser_test.cpp.

#include "engine/numeric/NumberFormat.h"
#include "engine/numeric/NumericValue.h"
#include "support/diag/ErrorValue.h"
#include "support/fs/TextRef.h"

#include <cassert>
#include <memory>

namespace ostrel {

struct NumericVariable;
class BinaryOpNode;
class SourceRegistry;

class ExpressionNode {
public:
  explicit ExpressionNode(TextRef text) : written(text) {}
  virtual ~ExpressionNode() = default;
  ExpressionNode(const ExpressionNode &) = delete;
  ExpressionNode &operator=(const ExpressionNode &) = delete;

  /// The value of the subtree with the variables' current values.
  virtual ValueOrError<NumericValue> evaluate() const = 0;
  /// The format the subtree's value would naturally be written in; kind None
  /// when nothing in it suggests one (a literal).
  virtual ValueOrError<NumberFormat> implicitFormat() const = 0;

  /// The text the node was written as.
  TextRef text() const { return written; }
  /// This node as an operation; null for an operand of another kind.
  virtual const BinaryOpNode *asOperation() const { return nullptr; }

private:
  TextRef written;
};

/// A number written in the expression.
class LiteralNode : public ExpressionNode {
public:
  LiteralNode(TextRef text, NumericValue value) : ExpressionNode(text), literal(value) {}
  ValueOrError<NumericValue> evaluate() const override;
  ValueOrError<NumberFormat> implicitFormat() const override;
  NumericValue value() const { return literal; }

private:
  NumericValue literal;
};

/// A use of a numeric variable; its text is the variable's name. Evaluating it
/// without a value gives an UndefinedVariableError carrying that name.
class VariableUseNode : public ExpressionNode {
public:
  VariableUseNode(TextRef name, NumericVariable &variable)
      : ExpressionNode(name), used(&variable) {}
  ValueOrError<NumericValue> evaluate() const override;
  ValueOrError<NumberFormat> implicitFormat() const override;
  NumericVariable &variable() const { return *used; }

private:
  NumericVariable *used;
};

/// An operator or function call over two operands. A chain of operators
/// (a+b+c) leans left with any length: evaluation, format queries and
/// destruction walk it without recursion.
class BinaryOpNode : public ExpressionNode {
public:
  /// `registry` holds the text and locates the format-conflict message.
  BinaryOpNode(TextRef text, ArithmeticOp op, std::unique_ptr<ExpressionNode> left,
               std::unique_ptr<ExpressionNode> right, SourceRegistry &registry)
      : ExpressionNode(text), operation(op), leftChild(std::move(left)),
        rightChild(std::move(right)), registry(&registry) {}
  ~BinaryOpNode() override;
  /// Evaluates both children always and joins their errors, left first.
  ValueOrError<NumericValue> evaluate() const override;
  /// Fails with the implicit-format conflict message, located at this node's
  /// text, when the two sides suggest different formats.
  ValueOrError<NumberFormat> implicitFormat() const override;

  const BinaryOpNode *asOperation() const override { return this; }
  ArithmeticOp op() const { return operation; }
  const ExpressionNode &left() const { return *leftChild; }
  const ExpressionNode &right() const { return *rightChild; }

private:
  ErrorValue formatConflict(NumberFormat left, NumberFormat right) const;

  ArithmeticOp operation;
  std::unique_ptr<ExpressionNode> leftChild;
  std::unique_ptr<ExpressionNode> rightChild;
  SourceRegistry *registry;
};

/// A parsed numeric block: the tree (absent for an empty expression) and the
/// format of its result (never of kind None once parsed). Move-only.
class NumericExpression {
public:
  NumericExpression() = default;
  NumericExpression(std::unique_ptr<ExpressionNode> root, NumberFormat format)
      : rootNode(std::move(root)), resultFormat(format) {}
  NumericExpression(NumericExpression &&) = default;
  NumericExpression &operator=(NumericExpression &&) = default;

  /// The root, or null for an empty expression.
  const ExpressionNode *root() const { return rootNode.get(); }
  bool hasRoot() const { return rootNode != nullptr; }
  NumberFormat format() const { return resultFormat; }

  /// Evaluates the root; must not be called without one.
  ValueOrError<NumericValue> evaluate() const {
    assert(rootNode && "evaluating an empty numeric expression");
    return rootNode->evaluate();
  }

private:
  std::unique_ptr<ExpressionNode> rootNode;
  NumberFormat resultFormat;
};

} // namespace ostrel

#endif
