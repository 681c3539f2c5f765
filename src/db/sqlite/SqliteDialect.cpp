#include "db/sqlite/SqliteDialect.h"

#include <sqlite3.h>

#include <algorithm>
#include <charconv>

#include "db/jet/Like.h"
#include "db/sqlite/JetFunctions.h"

namespace tessaly::db::sqlite {

namespace {

using jet::BinaryOp;
using jet::JetFunction;
using jet::LikeAsciiPrefix;
using jet::Operands;

// The check of a Date/Time column (written as column): only the stored form
// of Date::ToStored, "yyyy-mm-dd" or "yyyy-mm-dd hh:mm:ss", of the years 100
// to 9999, as Jet's dates run. The year is compared as a text: beside the
// column's numeric affinity a written '0100' would be read as the number 100.
std::string StoredDateCheck(const std::string& column) {
  const std::string day = "[0-9][0-9][0-9][0-9]-[0-1][0-9]-[0-3][0-9]";
  return column + " IS NULL OR typeof(" + column + ") = 'text' AND substr(" + column +
         ", 1, 4) >= '0100' AND (" + column + " GLOB '" + day + "' OR " + column + " GLOB '" + day +
         " [0-2][0-9]:[0-5][0-9]:[0-5][0-9]')";
}

// Whether the text of some number, as SQLite or the runtime writes it
// (-1.5, 1.0e+20, Inf, NaN), may begin with prefix (lower case).
bool MayBeginANumber(std::string_view prefix) {
  if (prefix.empty()) return false;
  constexpr std::string_view kFirstOfANumber = "0123456789-+. ";
  if (kFirstOfANumber.find(prefix.front()) != std::string_view::npos) return true;
  const std::string_view start = prefix.substr(0, 3);
  return std::string_view("inf").starts_with(start) || std::string_view("nan").starts_with(start);
}

bool IsPlainName(std::string_view name) {
  if (name.empty()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
    if (!letter && !(i > 0 && c >= '0' && c <= '9')) return false;
  }
  return true;
}


// SQLite's parser keeps a stack of about a hundred entries and refuses an
// expression tree deeper than a thousand, so no chain is written as one flat
// run of thousands of terms: a long run is cut into groups.
constexpr size_t kGroup = 64;

// Operands [begin, end) joined by separator, grouped in parentheses so the
// tree stays shallow. Only for operators whose grouping does not change the
// result (And, Or).
void Balanced(const Operands& operands, size_t begin, size_t end, const char* separator,
              std::string& out) {
  const size_t count = end - begin;
  if (count <= kGroup) {
    for (size_t i = begin; i < end; ++i) {
      if (i != begin) out += separator;
      operands.Write(i, out);
    }
    return;
  }
  const size_t step = (count + kGroup - 1) / kGroup;
  for (size_t i = begin; i < end; i += step) {
    if (i != begin) out += separator;
    out += '(';
    Balanced(operands, i, std::min(end, i + step), separator, out);
    out += ')';
  }
}

// function(a, b, c, ...) for a function that folds its arguments from the
// left (jet_add, jet_sub, jet_mul: kChainFunctions, by the chain's number). A
// call takes at most kArguments arguments (SQLite allows 127) and a call as
// another's argument takes three entries of the parser's stack, so a longer
// chain goes on through SQLite's -> operator instead, which the parser reads
// one after another without nesting: function(a, ...) -> jet_terms(n, ...)
// -> ..., each -> a call of the chain's function n with the value so far and
// the terms jet_terms packs (see JetFunctions.cpp).
constexpr size_t kArguments = 120;

void Folded(ChainFunction chain, const Operands& operands, std::string& out) {
  const size_t count = operands.size();
  out += kChainFunctions[chain];
  out += '(';
  size_t i = 0;
  for (; i < count && i < kArguments; ++i) {
    if (i != 0) out += ", ";
    operands.WriteArgument(i, out);
  }
  out += ')';
  while (i < count) {
    out += " -> jet_terms(";
    out += std::to_string(static_cast<int>(chain));
    for (size_t k = 0; i < count && k < kArguments; ++i, ++k) {
      out += ", ";
      operands.WriteArgument(i, out);
    }
    out += ')';
  }
}

// Operand index where its text is written (&, CStr). A Date/Time field's
// value is its stored text, which alone reads as any text; where the
// regional setting writes a date otherwise than that text (dated), a column
// is marked as the date it holds by jet_dated.
void TextOperand(const Operands& operands, size_t index, bool dated, std::string& out) {
  if (!dated || !operands.IsColumn(index)) {
    operands.WriteArgument(index, out);
    return;
  }
  out += "jet_dated(";
  operands.WriteArgument(index, out);
  out += ')';
}

// function(first, ...) over operands [begin, end) for an associative
// function whose every call takes first (a constant) before them, each
// operand written as TextOperand writes it: a long chain becomes calls of
// calls, as shallow as the group allows.
void Grouped(const char* function, std::string_view first, bool dated, const Operands& operands,
             size_t begin, size_t end, std::string& out) {
  out += function;
  out += '(';
  out += first;
  const size_t count = end - begin;
  const size_t step = count <= kGroup ? 1 : (count + kGroup - 1) / kGroup;
  for (size_t i = begin; i < end; i += step) {
    out += ", ";
    const size_t group_end = std::min(end, i + step);
    if (group_end - i == 1) {
      TextOperand(operands, i, dated, out);
    } else {
      Grouped(function, first, dated, operands, i, group_end, out);
    }
  }
  out += ')';
}

class Sqlite final : public jet::Dialect {
 public:
  explicit Sqlite(rules::Region region) : Dialect(region) {}

  // The declared types are the names the backend reads values back by; the
  // checks are the ones the attendance tables have, so a value Jet's field
  // would refuse is refused with Jet's words.
  bool ColumnType(std::string_view name, jet::JetType type, uint32_t width, bool key,
                  std::string& out) const override {
    using jet::JetType;
    const std::string column = [&] {
      std::string quoted;
      Identifier(name, quoted);
      return quoted;
    }();
    auto check = [&](std::string_view prefix, const std::string& condition) {
      ColumnCheck(prefix, name, condition, out);
    };
    // A number past the range is refused as past it, whole or not (1e300 in
    // a Byte is an overflow); a number within it that is not whole, or a
    // text, as a mismatch. The engine reports the first check written that
    // fails.
    auto whole = [&](const char* declared, const char* min, const char* max) {
      out += declared;
      check("ck_range_", "typeof(" + column + ") <> 'real' AND typeof(" + column +
                             ") <> 'integer' OR " + column + " BETWEEN " + min + " AND " + max);
      check("ck_type_", "typeof(" + column + ") IN ('integer', 'null')");
    };
    switch (type) {
      case JetType::kText:
        out += "VARCHAR(" + std::to_string(width) + ") COLLATE NOCASE";
        check("ck_size_", "length(" + column + ") <= " + std::to_string(width));
        return false;
      case JetType::kMemo: out += "TEXT COLLATE NOCASE"; return false;
      case JetType::kByte: whole("TINYINT", "0", "255"); return false;
      case JetType::kShort: whole("SMALLINT", "-32768", "32767"); return false;
      // A key declared INTEGER would be SQLite's row number, which numbers a
      // Null instead of refusing it as Jet does; INT reads back the same.
      case JetType::kLong:
        whole(key ? "INT" : "INTEGER", "-2147483648", "2147483647");
        return false;
      case JetType::kSingle:
        out += "SINGLE";
        check("ck_type_", "typeof(" + column + ") IN ('integer', 'real', 'null')");
        check("ck_range_", column + " BETWEEN -3.4028234663852886e38 AND 3.4028234663852886e38");
        return false;
      case JetType::kDouble:
        out += "DOUBLE";
        check("ck_type_", "typeof(" + column + ") IN ('integer', 'real', 'null')");
        return false;
      // A Currency or Decimal is a Double where that holds it exactly, else
      // its text in a blob (see SqliteBackend::Bind): the blob is checked
      // to be a number's text.
      case JetType::kCurrency:
      case JetType::kDecimal:
        out += type == JetType::kCurrency ? std::string("CURRENCY")
                                          : "DECIMAL(" + std::to_string(jet::DecimalPrecision(width)) +
                                                ", " + std::to_string(jet::DecimalScale(width)) + ')';
        // A Currency holds a whole number of ten-thousandths in 64 bits.
        if (type == JetType::kCurrency) {
          check("ck_range_",
                "typeof(" + column + ") NOT IN ('integer', 'real', 'blob') OR CAST(" + column +
                    " AS REAL) BETWEEN -922337203685477.5808 AND 922337203685477.5807");
        }
        check("ck_type_", "typeof(" + column + ") IN ('integer', 'real', 'null') OR (typeof(" +
                              column + ") = 'blob' AND CAST(" + column +
                              " AS TEXT) GLOB '*[0-9]*' AND NOT CAST(" + column +
                              " AS TEXT) GLOB '*[^-.0-9]*')");
        return false;
      case JetType::kBinary:
        out += "VARBINARY(" + std::to_string(width) + ")";
        check("ck_type_", "typeof(" + column + ") IN ('blob', 'null')");
        check("ck_size_", "length(" + column + ") <= " + std::to_string(width));
        return false;
      case JetType::kLongBinary:
        out += "LONGBINARY";
        check("ck_type_", "typeof(" + column + ") IN ('blob', 'null')");
        return false;
      case JetType::kDateTime:
        out += "DATETIME";
        check("ck_type_", StoredDateCheck(column));
        return false;
      case JetType::kYesNo:
        // A Yes/No field is never Null: a new row holds No.
        out += "YESNO NOT NULL DEFAULT 0";
        check("ck_type_", "typeof(" + column + ") = 'integer'");
        return false;
      case JetType::kCounter:
        // Only SQLite's row number counts by itself, and it is the key; a
        // counter that is not is refused before its type is written.
        out += "INTEGER PRIMARY KEY AUTOINCREMENT";
        return true;
    }
    return false;
  }

  // SQLite numbers only the row key it keeps itself, one past the largest
  // number it has given: a seed is where its count of the table starts. A
  // counter beside another key, or added to a table that has rows, would be
  // left Null. Other steps would need a trigger renumbering each new row
  // after it is written, and a trigger cannot tell the number SQLite gave a
  // row from one the statement gave it, so a row written with its own number
  // would be renumbered.
  std::string_view CounterRefusal(bool key, int32_t seed, int32_t step) const override {
    if (step != 1) return "The database numbers a counter in steps of 1.";
    if (seed < 1) return "The database numbers a counter from 1 or more.";
    if (!key) return "The database numbers a counter only when it is the table's key.";
    return {};
  }

  bool NumberedCounter(std::string_view table, std::string_view /*name*/, bool /*key*/,
                       int32_t seed, int32_t /*step*/, std::string& out,
                       std::vector<std::string>& after) const override {
    out += "INTEGER PRIMARY KEY AUTOINCREMENT";
    std::string start = "INSERT INTO sqlite_sequence (name, seq) VALUES (";
    TextLiteral(table, start);
    start += ", " + std::to_string(static_cast<int64_t>(seed) - 1) + ')';
    after.push_back(std::move(start));
    return true;
  }

  void DateLiteral(const Date& value, std::string& out) const override {
    // Dates live in the database as their stored text, which orders as the
    // dates do.
    TextLiteral(value.ToStored(), out);
  }

  void Placeholder(size_t number, std::string& out) const override {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
    out += '?';
    out.append(digits, end);
  }

  void TextLiteral(std::string_view value, std::string& out) const override {
    rules::AppendDelimited(out, value, '\'');
  }

  void Identifier(std::string_view name, std::string& out) const override {
    if (IsPlainName(name) &&
        sqlite3_keyword_check(name.data(), static_cast<int>(name.size())) == 0) {
      out += name;
      return;
    }
    // Backquotes, not double quotes: SQLite reads an unknown double-quoted
    // name as a text constant, so a misspelt name would silently become text
    // on every row instead of failing as an unknown name.
    rules::AppendDelimited(out, name, '`');
  }

  void BooleanLiteral(bool value, std::string& out) const override { out += value ? "-1" : "0"; }

  // SQLite's parser keeps a stack of 100 entries, and a function call takes
  // three of them (Abs(Abs(...)) fails 32 deep), an argument after the first
  // or an Iif's CASE five or six: a level of Jet's expression may take a dozen
  // with the parentheses and conversions written around it. Eight levels
  // and the statement around them stay well within it; deeper parts are
  // evaluated by jet_eval as statements of their own.
  int ExpressionLevels() const override { return 8; }

  void TruthValue(const Operands& condition, std::string& out) const override {
    // SQLite's true is 1, Jet's -1.
    out += "-(";
    condition.WriteArgument(0, out);
    out += ')';
  }

  void Logical(BinaryOp op, const Operands& operands, std::string& out) const override {
    switch (op) {
      case BinaryOp::kAnd: Balanced(operands, 0, operands.size(), " AND ", out); return;
      case BinaryOp::kOr: Balanced(operands, 0, operands.size(), " OR ", out); return;
      default: break;
    }
    // As truth values: Jet's operators are bitwise on numbers, but the
    // statements use them only on the -1/0 of conditions.
    out += op == BinaryOp::kImp ? "NOT (" : "(";
    operands.Write(0, out);
    out += " <> 0)";
    out += op == BinaryOp::kXor ? " <> (" : op == BinaryOp::kEqv ? " = (" : " OR (";
    operands.Write(1, out);
    out += " <> 0)";
  }

  void Not(const Operands& operand, std::string& out) const override {
    out += "NOT ";
    operand.Write(0, out);
  }

  bool RowIdentity(std::string_view table, std::string& out) const override {
    // A saved query (a view) has no rowid: each of its rows then stands
    // alone, so DISTINCTROW merges nothing rather than everything.
    out += "coalesce(";
    Identifier(table, out);
    out += ".rowid, random())";
    return true;
  }

  void BitNot(const Operands& operand, std::string& out) const override {
    out += "jet_not(";
    operand.WriteArgument(0, out);
    out += ')';
  }

  // The engine's own minus reads a text as the number it begins with ("abc"
  // as 0, a date's text as its year).
  void Negate(const Operands& operand, std::string& out) const override {
    out += "jet_neg(";
    operand.WriteArgument(0, out);
    out += ')';
  }

  void RoundToWhole(const Operands& operands, size_t index, std::string& out) const override {
    out += "jet_round(";
    operands.WriteArgument(index, out);
    out += ')';
  }

  void Function(JetFunction function, const Operands& args, std::string& out) const override {
    if (CommonFunction(function, args, out)) return;
    switch (function) {
      case JetFunction::kNz:
        // Without a replacement a query's Null becomes a zero-length text.
        out += "coalesce(";
        args.WriteArgument(0, out);
        out += ", ";
        if (args.size() > 1) {
          args.WriteArgument(1, out);
        } else {
          out += "''";
        }
        out += ')';
        return;
      case JetFunction::kIsNull:
        // Jet's True is -1.
        out += "-(";
        args.Write(0, out);
        out += " IS NULL)";
        return;
      case JetFunction::kCStr:
        out += "jet_cstr(";
        out += RegionNumber();
        out += ", ";
        TextOperand(args, 0, Dated(), out);
        out += ')';
        return;
      default: break;
    }
    EngineCall(function, "", args, out);
  }

  // Whether the setting writes a date otherwise than its stored text.
  bool Dated() const { return region() != rules::Region::kFixed; }

  void Concat(const Operands& operands, std::string& out) const override {
    // Joining is associative (the result is Null only when every part is),
    // so a long chain may be grouped any way. The setting comes first, for
    // the text of a date.
    Grouped("jet_concat", RegionNumber(), Dated(), operands, 0, operands.size(), out);
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

  void Like(const Operands& operands, bool negated, bool ansi89, std::string& out) const override {
    // SQLite's own LIKE knows no bracket sets and folds ASCII letters only,
    // so jet_like decides. But a column searched by a pattern that begins
    // with ASCII characters ("Name LIKE 'Smi%'") also gets SQLite's LIKE of
    // that beginning, a condition every match meets, which the engine
    // answers from the column's index instead of reading every row.
    std::string prefix;
    if (!negated && operands.IsColumn(0)) {
      const std::string* text = operands.TextValue(1);
      if (const auto pattern = text ? jet::CompileWrittenLike(*text, ansi89) : std::nullopt) {
        prefix = LikeAsciiPrefix(*pattern);
        // % and _ (ordinary characters to Access's wildcards) would be
        // SQLite's wildcards: the beginning ends before them, and so needs
        // no ESCAPE, which would keep the engine off the index.
        prefix.resize(std::min(prefix.size(), prefix.find_first_of("%_")));
        // A number's text is SQLite's in its LIKE but the runtime's in
        // jet_like (1.0e+20 and 1E+20): a beginning a number's text may
        // have is left to jet_like alone.
        if (MayBeginANumber(prefix)) prefix.clear();
      }
    }
    if (negated) out += "NOT ";
    if (!prefix.empty()) out += '(';
    out += "jet_like(";
    operands.WriteArgument(0, out);
    out += ", ";
    operands.WriteArgument(1, out);
    out += ansi89 ? ", 1)" : ", 0)";
    if (prefix.empty()) return;
    out += " AND ";
    operands.Write(0, out);
    out += " LIKE ";
    prefix += '%';
    TextLiteral(prefix, out);
    out += ')';
  }

  void Operator(BinaryOp op, const Operands& operands, std::string& out) const override {
    switch (op) {
      case BinaryOp::kAdd: Folded(kChainAdd, operands, out); return;
      case BinaryOp::kSub: Folded(kChainSub, operands, out); return;
      case BinaryOp::kMul: Folded(kChainMul, operands, out); return;
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

const jet::Dialect& SqliteDialect(rules::Region region) {
  static const Sqlite dialects[rules::kRegions] = {
      Sqlite(rules::Region::kFixed), Sqlite(rules::Region::kEnUs), Sqlite(rules::Region::kZhCn)};
  return dialects[static_cast<size_t>(region)];
}

}  // namespace tessaly::db::sqlite
