#include "db/sqlite/SqliteDialect.h"

#include <sqlite3.h>

namespace tessaly::db::sqlite {

namespace {

using jet::BinaryOp;
using jet::JetFunction;
using jet::Operands;

bool IsPlainName(std::string_view name) {
  if (name.empty()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
    if (!letter && !(i > 0 && c >= '0' && c <= '9')) return false;
  }
  return true;
}

void Call(const char* name, const Operands& args, std::string& out) {
  out += name;
  out += '(';
  for (size_t i = 0; i < args.size(); ++i) {
    if (i != 0) out += ", ";
    args.WriteArgument(i, out);
  }
  out += ')';
}

class Sqlite final : public jet::Dialect {
 public:
  void DateLiteral(const Date& value, std::string& out) const override {
    // Dates live in the database as their stored text, which orders as the
    // dates do.
    TextLiteral(value.ToStored(), out);
  }

  void Placeholder(size_t number, std::string& out) const override {
    out += '?';
    out += std::to_string(number);
  }

  void TextLiteral(std::string_view value, std::string& out) const override {
    out += '\'';
    for (char c : value) {
      out += c;
      if (c == '\'') out += '\'';
    }
    out += '\'';
  }

  void Identifier(std::string_view name, std::string& out) const override {
    if (IsPlainName(name) &&
        sqlite3_keyword_check(name.data(), static_cast<int>(name.size())) == 0) {
      out += name;
      return;
    }
    out += '"';
    for (char c : name) {
      out += c;
      if (c == '"') out += '"';
    }
    out += '"';
  }

  void BooleanLiteral(bool value, std::string& out) const override { out += value ? "-1" : "0"; }

  void Function(JetFunction function, const Operands& args, std::string& out) const override {
    switch (function) {
      case JetFunction::kAvg: Call("avg", args, out); return;
      case JetFunction::kCount: Call("count", args, out); return;
      case JetFunction::kMax: Call("max", args, out); return;
      case JetFunction::kMin: Call("min", args, out); return;
      case JetFunction::kSum: Call("sum", args, out); return;
      case JetFunction::kAbs: Call("abs", args, out); return;
      case JetFunction::kIsNull:
        // Jet's True is -1.
        out += "-(";
        args.Write(0, out);
        out += " IS NULL)";
        return;
      default: break;
    }
    static constexpr const char* kNames[] = {
#define TESSALY_SQLITE_FUNCTION_NAME(name, jet, min_args, max_args) "jet_" jet,
        TESSALY_JET_FUNCTIONS(TESSALY_SQLITE_FUNCTION_NAME)
#undef TESSALY_SQLITE_FUNCTION_NAME
    };
    Call(kNames[static_cast<size_t>(function)], args, out);
  }

  void Concat(const Operands& operands, std::string& out) const override {
    Call("jet_concat", operands, out);
  }

  void CaseInsensitive(const Operands& operands, size_t index, std::string& out) const override {
    operands.Write(index, out);
    // The left operand's collation decides the whole comparison in SQLite.
    if (index == 0) out += " COLLATE NOCASE";
  }

  void Iif(const Operands& operands, std::string& out) const override {
    // CASE evaluates only the branch it returns; a number is true when it is
    // not zero and Null is not true, as in Jet.
    out += "CASE WHEN ";
    operands.WriteArgument(0, out);
    out += " THEN ";
    operands.WriteArgument(1, out);
    out += " ELSE ";
    operands.WriteArgument(2, out);
    out += " END";
  }

  void Like(const Operands& operands, bool negated, bool /*fold_case*/,
            std::string& out) const override {
    // SQLite's LIKE already ignores letter case and uses % and _.
    operands.Write(0, out);
    out += negated ? " NOT LIKE " : " LIKE ";
    operands.Write(1, out);
  }

  void Operator(BinaryOp op, const Operands& operands, std::string& out) const override {
    switch (op) {
      case BinaryOp::kAdd: Call("jet_add", operands, out); return;
      case BinaryOp::kIntDiv: Call("jet_intdiv", operands, out); return;
      case BinaryOp::kMod: Call("jet_mod", operands, out); return;
      case BinaryOp::kPow: Call("jet_pow", operands, out); return;
      // Jet's / always divides exactly (SQLite's truncates two integers) and
      // refuses a zero divisor.
      case BinaryOp::kDiv: Call("jet_div", operands, out); return;
      default: Dialect::Operator(op, operands, out); return;
    }
  }
};

}  // namespace

const jet::Dialect& SqliteDialect() {
  static const Sqlite dialect;
  return dialect;
}

}  // namespace tessaly::db::sqlite
