// What a dialect writes unless its engine needs otherwise.

#include "db/jet/Dialect.h"

#include <string>

namespace tessaly::db::jet {

void Dialect::Operator(BinaryOp op, const Operands& operands, std::string& out) const {
  const char* spelling = " ? ";
  switch (op) {
    case BinaryOp::kAdd: spelling = " + "; break;
    case BinaryOp::kSub: spelling = " - "; break;
    case BinaryOp::kMul: spelling = " * "; break;
    case BinaryOp::kDiv:
    case BinaryOp::kIntDiv: spelling = " / "; break;
    case BinaryOp::kMod: spelling = " % "; break;
    case BinaryOp::kPow:
      out += "POWER(";
      operands.WriteArgument(0, out);
      out += ", ";
      operands.WriteArgument(1, out);
      out += ')';
      return;
    default: break;
  }
  for (size_t i = 0; i < operands.size(); ++i) {
    if (i != 0) out += spelling;
    operands.Write(i, out);
  }
}

void Dialect::TextBesideColumn(const Operands& operands, size_t text_index, size_t /*column_index*/,
                               std::string& out) const {
  operands.Write(text_index, out);
}

void Dialect::BesideColumn(const Operands& operands, size_t index, std::string& out) const {
  operands.Write(index, out);
}

void Dialect::InSubquery(const Operands& subquery, std::string& out) const {
  subquery.WriteArgument(0, out);
}

void Dialect::UnnamedSubquery(size_t /*n*/, std::string& /*out*/) const {}

void Dialect::Condition(const Operands& value, std::string& out) const { value.Write(0, out); }

void Dialect::RoundToWhole(const Operands& operands, size_t index, std::string& out) const {
  out += "round(";
  operands.WriteArgument(index, out);
  out += ')';
}

void Dialect::Call(std::string_view name, const Operands& args, std::string& out) {
  out += name;
  out += '(';
  for (size_t i = 0; i < args.size(); ++i) {
    if (i != 0) out += ", ";
    args.WriteArgument(i, out);
  }
  out += ')';
}

std::string_view Dialect::RegionNumber() const {
  static constexpr std::string_view kNumbers[rules::kRegions] = {"0", "1", "2"};
  return kNumbers[static_cast<size_t>(region_)];
}

void Dialect::EngineCall(JetFunction function, std::string_view prefix, const Operands& args,
                         std::string& out) const {
  const JetFunctionInfo& info = InfoOf(function);
  out += prefix;
  out += kEnginePrefix;
  out += info.name;
  out += '(';
  if (info.regional) {
    out += RegionNumber();
    if (args.size() != 0) out += ", ";
  }
  for (size_t i = 0; i < args.size(); ++i) {
    if (i != 0) out += ", ";
    args.WriteArgument(i, out);
  }
  out += ')';
}

namespace {

// One operand of a list, seen as a list of its own (for the hooks that take
// their value as operand 0).
class OneOperand final : public Operands {
 public:
  OneOperand(const Operands& all, size_t index) : all_(all), index_(index) {}
  size_t size() const override { return 1; }
  void Write(size_t, std::string& out) const override { all_.Write(index_, out); }
  void WriteArgument(size_t, std::string& out) const override { all_.WriteArgument(index_, out); }
  bool IsColumn(size_t) const override { return all_.IsColumn(index_); }
  bool IsText(size_t) const override { return all_.IsText(index_); }
  const std::string* TextValue(size_t) const override { return all_.TextValue(index_); }

 private:
  const Operands& all_;
  size_t index_;
};

}  // namespace

bool Dialect::CommonFunction(JetFunction function, const Operands& args, std::string& out) const {
  switch (function) {
    case JetFunction::kAvg: Call("avg", args, out); return true;
    case JetFunction::kCount: Call("count", args, out); return true;
    case JetFunction::kMax: Call("max", args, out); return true;
    case JetFunction::kMin: Call("min", args, out); return true;
    case JetFunction::kSum: Call("sum", args, out); return true;
    case JetFunction::kSwitch:
      // Pairs of condition and value; the first true condition's value,
      // Null when none is (or a value is missing its condition's pair).
      out += "CASE";
      for (size_t i = 0; i + 1 < args.size(); i += 2) {
        out += " WHEN ";
        Condition(OneOperand(args, i), out);
        out += " THEN ";
        args.WriteArgument(i + 1, out);
      }
      out += " ELSE NULL END";
      return true;
    case JetFunction::kChoose:
      // The index rounds to a whole number; outside the choices Null.
      out += "CASE ";
      RoundToWhole(args, 0, out);
      for (size_t i = 1; i < args.size(); ++i) {
        out += " WHEN " + std::to_string(i) + " THEN ";
        args.WriteArgument(i, out);
      }
      out += " ELSE NULL END";
      return true;
    default: return false;
  }
}

void Dialect::SortNulls(bool /*descending*/, std::string& /*out*/) const {}

void Dialect::BitNot(const Operands& operand, std::string& out) const {
  out += "~";
  operand.Write(0, out);
}

void Dialect::Negate(const Operands& operand, std::string& out) const {
  out += '-';
  operand.Write(0, out);
}

bool Dialect::RowIdentity(std::string_view, std::string&) const { return false; }

bool Dialect::IdentityGroupsItsColumns() const { return true; }
bool Dialect::MatchesGroupsAsWritten() const { return false; }

namespace {

// The rows of a TOP with ties: count(*) over the ordering counts a row's
// peers with it, so the last row within the limit has the count where the
// last row tied with it ends. With percent, count is in hundredths of the
// rows, rounded up to a whole row.
void PeerLimit(std::string_view count, bool percent, std::string_view order_terms,
               std::string_view source, std::string& out) {
  out += " LIMIT (SELECT coalesce(max(jet_peers), 0) FROM (SELECT count(*) OVER (ORDER BY ";
  out += order_terms;
  out += ") AS jet_peers, row_number() OVER (ORDER BY ";
  out += order_terms;
  out += ") AS jet_row";
  if (percent) out += ", count(*) OVER () AS jet_all";
  out += source;
  out += ") AS jet_top WHERE jet_row <= ";
  if (percent) out += "(jet_all * ";
  out += count;
  if (percent) out += " + 99) / 100";
  out += ')';
}

}  // namespace

void Dialect::Limit(std::string_view count, std::string_view order_terms, std::string_view source,
                    std::string& out) const {
  if (order_terms.empty()) {
    out += " LIMIT ";
    out += count;
    return;
  }
  PeerLimit(count, false, order_terms, source, out);
}

void Dialect::LimitPercent(std::string_view percent, std::string_view order_terms,
                           std::string_view source, std::string_view query,
                           std::string& out) const {
  if (!order_terms.empty()) {
    PeerLimit(percent, true, order_terms, source, out);
    return;
  }
  out += " LIMIT (SELECT (COUNT(*) * ";
  out += percent;
  out += " + 99) / 100 FROM (";
  out += query;
  out += ") AS jet_counted)";
}

bool Dialect::ColumnType(std::string_view /*name*/, JetType type, uint32_t width, bool /*key*/,
                         std::string& out) const {
  switch (type) {
    case JetType::kText: out += "VARCHAR(" + std::to_string(width) + ')'; break;
    case JetType::kMemo: out += "TEXT"; break;
    case JetType::kByte:
    case JetType::kShort: out += "SMALLINT"; break;
    case JetType::kLong:
    case JetType::kCounter: out += "INTEGER"; break;
    case JetType::kSingle: out += "REAL"; break;
    case JetType::kDouble: out += "DOUBLE PRECISION"; break;
    case JetType::kCurrency: out += "DECIMAL(19, 4)"; break;
    case JetType::kDecimal:
      out += "DECIMAL(" + std::to_string(DecimalPrecision(width)) + ", " +
             std::to_string(DecimalScale(width)) + ')';
      break;
    case JetType::kBinary: out += "VARBINARY(" + std::to_string(width) + ')'; break;
    case JetType::kLongBinary: out += "BLOB"; break;
    case JetType::kDateTime: out += "TIMESTAMP"; break;
    case JetType::kYesNo: out += "SMALLINT NOT NULL DEFAULT 0"; break;
  }
  return false;
}

bool Dialect::NumberedCounter(std::string_view /*table*/, std::string_view name, bool key,
                              int32_t /*seed*/, int32_t /*step*/, std::string& out,
                              std::vector<std::string>& /*after*/) const {
  return ColumnType(name, JetType::kCounter, 0, key, out);
}

std::string_view Dialect::CounterRefusal(bool /*key*/, int32_t seed, int32_t step) const {
  if (seed == 1 && step == 1) return {};
  return "The database numbers a counter from 1 in steps of 1.";
}

void Dialect::Qualifier(std::string_view name, std::string& out) const { Identifier(name, out); }

void Dialect::IndexName(std::string_view table, std::string_view index, std::string& out) const {
  std::string name(table);
  name += '.';
  name += index;
  Identifier(name, out);
}

void Dialect::ColumnCheck(std::string_view prefix, std::string_view column,
                          const std::string& condition, std::string& out) const {
  out += " CONSTRAINT ";
  Identifier(std::string(prefix) + std::string(column), out);
  out += " CHECK (";
  out += condition;
  out += ')';
}

void Dialect::Evaluate(const Operands& query_and_values, std::string& out) const {
  Call("jet_eval", query_and_values, out);
}

}  // namespace tessaly::db::jet
