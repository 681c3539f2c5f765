// Writes an Ast as one engine's SQL through a Dialect.
#pragma once

#include <string>
#include <vector>

#include "db/Parameter.h"
#include "db/jet/Ast.h"
#include "db/jet/Dialect.h"

namespace tessaly::db::jet {

// Every operator expression that stands as an operand is parenthesised, so
// Jet's precedence survives whatever the engine's is. Comparisons, IN,
// BETWEEN, LIKE, GROUP BY and ORDER BY terms that involve no plain column
// (and no number) ask the dialect to ignore letter case, as Jet's do. A
// select item that is neither a column nor aliased gets Jet's name for it,
// Expr1000, Expr1001, ... A truth value that is itself a result (a select
// item, an inserted or assigned value) is written as Jet's -1/0.
class Emitter {
 public:
  // With parameters, text, number and date literals are appended there and
  // written as the dialect's placeholders; without, they are written inline.
  Emitter(const Ast& ast, const Dialect& dialect, std::vector<Parameter>* parameters = nullptr)
      : ast_(ast), dialect_(dialect), parameters_(parameters) {}

  // Thrown by Statement when operators or joins nest too deeply to write
  // (a chain such as a+a+...+a of thousands of terms); Jet refuses such a
  // statement as too complex.
  struct TooComplex {};

  // Appends the statement rooted at root to out. Throws TooComplex.
  void Statement(NodeId root, std::string& out);

 private:
  friend class NodeOperands;

  void Select(const SelectParts& select, std::string& out);
  void Source(NodeId id, std::string& out);
  void Terms(NodeId first, std::string& out);  // GROUP BY / ORDER BY items
  void Expression(NodeId id, bool wrap, std::string& out);
  void Value(NodeId id, std::string& out);  // an expression whose value is kept
  bool IsTruthValue(NodeId id) const;
  void Comparison(const Node& n, std::string& out);
  static bool IsChain(BinaryOp op);  // operators the dialect writes over a whole chain
  void Chain(NodeId id, BinaryOp op, std::string& out);
  void Column(const Node& n, std::string& out);
  // Lifts a literal into a parameter; false when it must stay inline.
  bool LiftNumber(std::string_view text, std::string& out);
  void LiftText(std::string_view text, std::string& out);
  void LiftDate(const Date& date, std::string& out);
  bool CaseMatters(NodeId id) const;  // false for columns and non-text literals

  class Deeper {
   public:
    explicit Deeper(Emitter& emitter);
    ~Deeper() { --emitter_.depth_; }
    Deeper(const Deeper&) = delete;
    Deeper& operator=(const Deeper&) = delete;

   private:
    Emitter& emitter_;
  };

  const Ast& ast_;
  const Dialect& dialect_;
  std::vector<Parameter>* parameters_;
  std::string scratch_;
  int depth_ = 0;
  size_t unnamed_subqueries_ = 0;
};

}  // namespace tessaly::db::jet
