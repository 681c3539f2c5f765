// TRANSFORM ... PIVOT: the crosstab as a grouping select with a column for
// each pivot value.

#include "db/jet/Emitter.h"
#include "tessaly/db/Variant.h"

#include <charconv>

namespace tessaly::db::jet {

void Emitter::Transform(const Node& n, std::string& out) {
  const Node& pivot = ast_[n.c];
  const SelectParts& select = ast_.selects[ast_[n.b].a];
  if (pivot.b != kNoNode || pivot_values_ != nullptr) {
    Select(select, out, &n);
    return;
  }
  // The columns are the values the pivot takes in the rows the crosstab
  // reads, in order: they are asked for first.
  wrote_pivot_query_ = true;
  const size_t lifted = parameters_ != nullptr ? parameters_->size() : 0;
  const size_t unnamed = unnamed_subqueries_;
  {
    // The crosstab is written once on trial, without columns, so that one
    // which cannot be written is refused now, not once its values are read.
    const std::vector<PivotValue> none;
    pivot_values_ = &none;
    std::string trial;
    Select(select, trial, &n);
    pivot_values_ = nullptr;
  }
  // A sort key other than the value itself is selected beside it: an engine
  // may order DISTINCT rows only by what they hold, and the key is a
  // function of the value. Both are written once on trial to compare them.
  std::string value, key;
  Expression(pivot.a, false, value);
  SortKey(pivot.a, false, key);
  if (parameters_ != nullptr) parameters_->resize(lifted);
  unnamed_subqueries_ = unnamed;
  const bool keyed = value != key;
  out += "SELECT DISTINCT ";
  Expression(pivot.a, false, out);
  out += " AS jet_pivot";
  if (keyed) {
    out += ", ";
    SortKey(pivot.a, false, out);
    out += " AS jet_pivot_order";
  }
  if (select.from != kNoNode) Sources(select.from, out);
  if (pivot.c != kNoNode) {
    out += " WHERE ";
    Filter(pivot.c, out);
  }
  out += " ORDER BY ";
  if (keyed) {
    out += "jet_pivot_order";
  } else {
    SortKey(pivot.a, false, out);
  }
  dialect_.SortNulls(false, out);  // the column of Null rows comes first
}

void Emitter::PivotCondition(const PivotCell& cell, std::string& out) {
  if (cell.read != nullptr && cell.read->null) {
    Expression(cell.expression, true, out);
    out += " IS NULL";
    return;
  }
  SortKey(cell.expression, true, out);
  out += " = ";
  if (cell.read == nullptr) {
    Expression(cell.listed, true, out);
    return;
  }
  const Parameter& value = cell.read->value;
  if (parameters_ != nullptr) {
    parameters_->push_back(value);
    dialect_.Placeholder(parameters_->size(), out);
    return;
  }
  switch (value.kind) {
    case Parameter::Kind::kText: dialect_.TextLiteral(value.text, out); break;
    case Parameter::Kind::kDate: dialect_.DateLiteral(value.date, out); break;
    case Parameter::Kind::kInteger: out += std::to_string(value.integer); break;
    case Parameter::Kind::kReal: {
      char buf[32];
      out.append(buf, std::to_chars(buf, buf + sizeof buf, value.real).ptr);
      break;
    }
    // Values of the kinds only the migration writes; a statement's text
    // lifts none of them.
    case Parameter::Kind::kCurrency: out += Currency{value.integer}.ToText(); break;
    case Parameter::Kind::kDecimal: out += value.text; break;
    case Parameter::Kind::kBytes: dialect_.TextLiteral(value.text, out); break;
  }
}

// The crosstab's columns after the row headings: for each pivot value, the
// TRANSFORM value over the group's rows of that value, Null when it has none.
void Emitter::PivotColumns(const Node& t, std::string& out) {
  const Node& pivot = ast_[t.c];
  auto column = [&](const PivotCell& cell, std::string_view name) {
    out += ", CASE WHEN count(CASE WHEN ";
    PivotCondition(cell, out);
    out += " THEN 1 END) > 0 THEN ";
    cell_ = &cell;
    Value(t.a, out);
    cell_ = nullptr;
    out += " END AS ";
    dialect_.Identifier(name, out);
  };
  if (pivot.b != kNoNode) {
    for (NodeId v = pivot.b; v != kNoNode; v = ast_[v].next) {
      const Node& value = ast_[v];
      std::string name;
      switch (value.kind) {
        case NodeKind::kText: name = TextOf(value); break;
        case NodeKind::kDate: name = ast_.dates[value.a].ToStored(); break;
        case NodeKind::kUnary: name = "-" + std::string(ast_[value.a].text); break;
        default: name = value.text; break;
      }
      column({pivot.a, v}, name);
    }
  } else {
    for (const PivotValue& v : *pivot_values_)
      column({pivot.a, kNoNode, &v}, v.null ? "<>" : v.name);
  }
}

}  // namespace tessaly::db::jet
