#include "db/postgres/PgDialect.h"

#include <optional>
#include <string>

#include "db/Rules.h"
#include "db/jet/Like.h"

namespace tessaly::db::postgres {

namespace {

using jet::BinaryOp;
using jet::JetFunction;
using jet::Operands;

// The database's spelling of a name, when it holds the name.
const std::string* KnownSpelling(const std::string& lowered, NameSpellings* names) {
  return names != nullptr ? names->Spelling(lowered) : nullptr;
}

// The check of a Date/Time column (written as column, quoted): the years 100
// to 9999, as Jet's dates run; beyond them a type mismatch, as a text that is
// no date.
std::string DateRangeCheck(const std::string& column) {
  return column + " >= '0100-01-01' AND " + column + " < '10000-01-01'";
}

void Quoted(std::string_view name, std::string& out) { rules::AppendDelimited(out, name, '"'); }

// An operand as text, for a place where PostgreSQL would otherwise refuse a
// mix of texts and numbers, or cannot tell the type of a lifted text.
void AsText(const Operands& operands, size_t index, std::string& out) {
  out += "tessaly_jet.jet_text(";
  operands.WriteArgument(index, out);
  out += ')';
}

// A date pattern of Format as the server's to_char writes it, when every
// part of it means there what it means to Jet in every regional setting:
// the numbered parts (yyyy, yy, m, mm, d, dd, h, hh, n, nn, s, ss) and the
// separators. Anything else (names of months and days, the named formats,
// AM/PM, quoted text, a run longer than its token) is left to jet_format,
// and so is a pattern with months beside hours or seconds, where Jet reads
// an m by what stands before it.
std::optional<std::string> NativeDatePattern(std::string_view pattern) {
  struct Token {
    char letter;
    const char* two;  // the run of two letters
    const char* one;  // one letter: without FM to_char pads to two digits
  };
  // Jet's yyyy writes the year as it is ("100", not "0100").
  static constexpr Token kTokens[] = {{'y', "YY", nullptr},    {'m', "MM", "FMMM"},
                                      {'d', "DD", "FMDD"},     {'h', "HH24", "FMHH24"},
                                      {'n', "MI", "FMMI"},     {'s', "SS", "FMSS"}};
  std::string out;
  bool month = false, time = false;
  for (size_t i = 0; i < pattern.size();) {
    const char c = rules::LowerAscii(pattern[i]);
    if (c == ' ' || c == '-' || c == '/' || c == ':' || c == '.' || c == ',') {
      out += c;
      ++i;
      continue;
    }
    size_t n = 1;
    while (i + n < pattern.size() && rules::LowerAscii(pattern[i + n]) == c) ++n;
    i += n;
    if (c == 'y' && n == 4) {
      out += "FMYYYY";
      continue;
    }
    const Token* token = nullptr;
    for (const Token& t : kTokens) {
      if (t.letter == c) token = &t;
    }
    const char* written = token == nullptr ? nullptr : n == 2 ? token->two : n == 1 ? token->one : nullptr;
    if (written == nullptr) return std::nullopt;
    out += written;
    month = month || c == 'm';
    time = time || c == 'h' || c == 's';
  }
  if (out.empty() || (month && time)) return std::nullopt;
  return out;
}

class Pg final : public jet::Dialect {
 public:
  explicit Pg(NameSpellings* names = nullptr, rules::Region region = rules::Region::kFixed)
      : Dialect(region), names_(names) {}

  void DateLiteral(const Date& value, std::string& out) const override {
    out += "TIMESTAMP '";
    out += value.ToStored();
    out += '\'';
  }

  void Placeholder(size_t number, std::string& out) const override {
    out += '$';
    out += std::to_string(number);
  }

  void TextLiteral(std::string_view value, std::string& out) const override {
    // standard_conforming_strings is on: only the quote is special.
    rules::AppendDelimited(out, value, '\'');
  }

  void Identifier(std::string_view name, std::string& out) const override {
    Quoted(CatalogSpelling(name, names_), out);
  }

  // An alias is no name the database holds: every use of it is written in
  // lower case, so the server finds it however the statement spells it.
  void Qualifier(std::string_view name, std::string& out) const override {
    const std::string lowered = rules::LoweredAscii(name);
    const std::string* spelled = KnownSpelling(lowered, names_);
    Quoted(spelled != nullptr ? *spelled : lowered, out);
  }

  void BooleanLiteral(bool value, std::string& out) const override { out += value ? "-1" : "0"; }

  void TruthValue(const Operands& condition, std::string& out) const override {
    // PostgreSQL's true casts to 1, Jet's is -1; Null stays Null.
    out += "(-(";
    condition.WriteArgument(0, out);
    out += ")::integer)";
  }

  void Logical(BinaryOp op, const Operands& operands, std::string& out) const override {
    if (op == BinaryOp::kAnd || op == BinaryOp::kOr) {
      for (size_t i = 0; i < operands.size(); ++i) {
        if (i != 0) out += op == BinaryOp::kAnd ? " AND " : " OR ";
        Condition(operands, i, out);
      }
      return;
    }
    out += op == BinaryOp::kImp ? "(NOT " : "(";
    Condition(operands, 0, out);
    out += op == BinaryOp::kXor ? ") <> (" : op == BinaryOp::kEqv ? ") = (" : ") OR (";
    Condition(operands, 1, out);
    out += ')';
  }

  void Not(const Operands& operand, std::string& out) const override {
    out += "NOT ";
    Condition(operand, 0, out);
  }

  void RoundToWhole(const Operands& operands, size_t index, std::string& out) const override {
    // round() of a double rounds half to even, as Jet does.
    out += "round(";
    operands.WriteArgument(index, out);
    out += "::double precision)";
  }

  void Function(JetFunction function, const Operands& args, std::string& out) const override {
    if (CommonFunction(function, args, out)) return;
    switch (function) {
      case JetFunction::kStDev: Statistic("stddev_samp", args, out); return;
      case JetFunction::kStDevP: Statistic("stddev_pop", args, out); return;
      case JetFunction::kVar: Statistic("var_samp", args, out); return;
      case JetFunction::kVarP: Statistic("var_pop", args, out); return;
      case JetFunction::kNz:
        // Without a replacement a query's Null becomes a zero-length text.
        out += "coalesce(";
        if (args.size() > 1) {
          // The value or the replacement as it is (Nz(F_Hours, '')), as
          // Iif gives the branch taken.
          Branches(args, 0, 1, ", ", out);
        } else if (args.IsText(0)) {
          args.WriteArgument(0, out);
          out += ", ''";
        } else {
          // A value of any other type stays what it is, beside the text.
          out += "tessaly_jet.jet_variant(";
          args.WriteArgument(0, out);
          out += "), tessaly_jet.jet_variant('')";
        }
        out += ')';
        return;
      case JetFunction::kFormat:
        if (WrittenDateFormat(args, out)) return;
        break;
      case JetFunction::kIsNull:
        out += "(-(";
        args.Write(0, out);
        // A text written in the statement has no type of its own to test.
        if (args.IsText(0)) out += "::text";
        out += " IS NULL)::integer)";
        return;
      default: break;
    }
    EngineCall(function, "tessaly_jet.", args, out);
  }

  void Concat(const Operands& operands, std::string& out) const override {
    // Each part once, as text in the regional setting, in one array (no
    // limit on the parts' number).
    out += "tessaly_jet.jet_concat(VARIADIC ARRAY[";
    for (size_t i = 0; i < operands.size(); ++i) {
      if (i != 0) out += ", ";
      out += "tessaly_jet.jet_text(";
      out += RegionNumber();
      out += ", ";
      operands.WriteArgument(i, out);
      out += ')';
    }
    out += "])";
  }

  void CaseInsensitive(const Operands& operands, size_t index, std::string& out) const override {
    // A text becomes citext; a number or date stays what it is (the
    // function is overloaded by type).
    out += "tessaly_jet.jet_fold(";
    operands.WriteArgument(index, out);
    out += ')';
  }

  void TextBesideColumn(const Operands& operands, size_t text_index, size_t column_index,
                        std::string& out) const override {
    // jet_match reads the text as the column's type (chosen by overload):
    // a number column gets the number the text spells, or Null (nothing
    // matches) when it spells none. The column is there only for its type;
    // the planner inlines the function, so the text stays a constant and the
    // column's index still serves.
    out += "tessaly_jet.jet_match(";
    operands.WriteArgument(column_index, out);
    out += ", ";
    operands.WriteArgument(text_index, out);
    out += ')';
  }

  void BesideColumn(const Operands& operands, size_t index, std::string& out) const override {
    // A text column is citext, but citext beside a text compares as two
    // texts, with regard to case: jet_beside makes a text a citext and
    // keeps any other value as it is, so the column's index still serves.
    out += "tessaly_jet.jet_beside(";
    operands.WriteArgument(index, out);
    out += ')';
  }

  void InSubquery(const Operands& subquery, std::string& out) const override {
    // The subquery's one column compares as BesideColumn writes a value.
    out += "(SELECT tessaly_jet.jet_beside(jet_in.jet_value) FROM ";
    subquery.WriteArgument(0, out);
    out += " AS jet_in(jet_value))";
  }

  void Condition(const Operands& value, std::string& out) const override {
    Condition(value, 0, out);
  }

  void SortNulls(bool descending, std::string& out) const override {
    // PostgreSQL sorts Null after every value; Jet before.
    out += descending ? " NULLS LAST" : " NULLS FIRST";
  }

  void UnnamedSubquery(size_t n, std::string& out) const override {
    // PostgreSQL wants every subquery in FROM named; Jet did not.
    out += " AS \"Subquery";
    out += std::to_string(n);
    out += '"';
  }

  void Iif(const Operands& operands, std::string& out) const override {
    // CASE evaluates only the branch it returns. Jet lets the branches differ
    // in type (a text and a number: iif(F_X=0,'',F_X)) and gives the value
    // of the branch taken; PostgreSQL wants one type, so beside a text each
    // branch becomes a tessaly_jet.jet_variant, which the backend reads back as
    // the text or number it holds.
    out += "CASE WHEN ";
    Condition(operands, 0, out);
    out += " THEN ";
    Branches(operands, 1, 2, " ELSE ", out);
    out += " END";
  }

  // Two values of which one is given back, joined by between: as they are,
  // or each a tessaly_jet.jet_variant when one is a text written in the
  // statement and the other is not, so that a text and a number may stand
  // side by side.
  static void Branches(const Operands& operands, size_t first, size_t second,
                       const char* between, std::string& out) {
    const bool mixed = operands.IsText(first) != operands.IsText(second);
    for (const size_t branch : {first, second}) {
      if (branch == second) out += between;
      if (mixed) out += "tessaly_jet.jet_variant(";
      operands.WriteArgument(branch, out);
      if (mixed) out += ')';
    }
  }

  void Like(const Operands& operands, bool negated, bool ansi89, std::string& out) const override {
    // Jet's Like never regards letter case and knows bracket sets, which
    // PostgreSQL's LIKE does not: the pattern is read as a regular
    // expression that spells both cases of its letters as Jet pairs them,
    // matched with regard to case. A pattern written in the
    // statement is read here, once; any other is read by jet_like on the
    // server, row by row.
    const std::string* text = operands.TextValue(1);
    if (const auto pattern = text ? jet::CompileWrittenLike(*text, ansi89) : std::nullopt) {
      out += negated ? "NOT (" : "(";
      AsText(operands, 0, out);
      out += " ~ ";
      TextLiteral(jet::LikeRegex(*pattern), out);
      out += ')';
      return;
    }
    if (negated) out += "NOT ";
    out += "tessaly_jet.jet_like(";
    AsText(operands, 0, out);
    out += ", ";
    AsText(operands, 1, out);
    out += ansi89 ? ", true)" : ", false)";
  }

  void Negate(const Operands& operand, std::string& out) const override {
    out += "tessaly_jet.jet_neg(";
    operand.WriteArgument(0, out);
    out += ')';
  }

  // Of the operand read as every number is read, as the other operators'.
  void BitNot(const Operands& operand, std::string& out) const override {
    out += "tessaly_jet.jet_not(tessaly_jet.jet_number(";
    operand.WriteArgument(0, out);
    out += "))";
  }

  bool RowIdentity(std::string_view table, std::string& out) const override {
    // A row's physical place tells it apart for the length of a statement.
    Qualifier(table, out);
    out += ".ctid";
    return true;
  }

  // A ctid is no key: the server reads no other column through it, so
  // DISTINCTROW joins the selected tables to the distinct ctids of the join.
  bool IdentityGroupsItsColumns() const override { return false; }

  // The server compares a select item's expression with GROUP BY's as
  // written: jet_fold(x) there is not x here.
  bool MatchesGroupsAsWritten() const override { return true; }

  // The types the attendance tables use, so the backend reads the values of
  // a new table as it reads theirs; the checks refuse what Jet's field would.
  bool ColumnType(std::string_view name, jet::JetType type, uint32_t width, bool key,
                  std::string& out) const override {
    using jet::JetType;
    std::string column;
    Identifier(name, column);
    auto check = [&](std::string_view prefix, const std::string& condition) {
      ColumnCheck(prefix, name, condition, out);
    };
    switch (type) {
      case JetType::kText:
        out += "citext";
        check("ck_size_", "length(" + column + ") <= " + std::to_string(width));
        return false;
      case JetType::kMemo: out += "citext"; return false;
      // The domain, 0 to 255, tells the backend to read the field as a Byte.
      case JetType::kByte: out += "tinyint"; return false;
      case JetType::kShort: out += "smallint"; return false;
      case JetType::kLong: out += "integer"; return false;
      case JetType::kSingle: out += "real"; return false;
      case JetType::kDouble: out += "double precision"; return false;
      // The backend reads a numeric(19, 4) as a Currency, any other as a
      // Decimal.
      case JetType::kCurrency: out += "numeric(19, 4)"; return false;
      case JetType::kDecimal:
        out += "numeric(" + std::to_string(jet::DecimalPrecision(width)) + ", " +
               std::to_string(jet::DecimalScale(width)) + ')';
        return false;
      case JetType::kBinary:
        out += "bytea";
        check("ck_size_", "octet_length(" + column + ") <= " + std::to_string(width));
        return false;
      case JetType::kLongBinary: out += "bytea"; return false;
      case JetType::kDateTime:
        out += "timestamp(0)";
        check("ck_type_", DateRangeCheck(column));
        return false;
      // The domain tells the backend to read the field's -1 and 0 as True and False.
      case JetType::kYesNo: out += "yesno NOT NULL DEFAULT 0"; return false;
      case JetType::kCounter:
        out += "integer GENERATED BY DEFAULT AS IDENTITY";
        if (key) {
          out += " PRIMARY KEY";
          return true;
        }
        return false;
    }
    return false;
  }

  // An identity numbers from any seed in any step, down as well as up, over
  // the whole range of a Long.
  std::string_view CounterRefusal(bool, int32_t, int32_t) const override { return {}; }

  bool NumberedCounter(std::string_view /*table*/, std::string_view /*name*/, bool key,
                       int32_t seed, int32_t step, std::string& out,
                       std::vector<std::string>& /*after*/) const override {
    out += "integer GENERATED BY DEFAULT AS IDENTITY (START WITH " + std::to_string(seed) +
           " INCREMENT BY " + std::to_string(step) + " MINVALUE -2147483648 MAXVALUE 2147483647)";
    if (key) out += " PRIMARY KEY";
    return key;
  }

  // The parts of a statement read one snapshot of the database.
  bool WritesReadOneSnapshot() const override { return true; }

  void Operator(BinaryOp op, const Operands& operands, std::string& out) const override {
    switch (op) {
      case BinaryOp::kDiv:
        // Jet's / always divides exactly; PostgreSQL's truncates two integers.
        OfNumbers("(", " / ", operands, out);
        return;
      case BinaryOp::kAdd:
      case BinaryOp::kSub:
      case BinaryOp::kMul:
        // A date and a number of days, two dates or two texts: jet_add and
        // jet_sub read their operands' types; whole numbers go on past a
        // Long. A chain longer than any such arithmetic is of numbers, read
        // from the left by jet_chain over an array of its terms, which
        // nests no deeper however long it is.
        if (operands.size() > kLongestFolded) {
          out += op == BinaryOp::kAdd   ? "tessaly_jet.jet_chain('+', VARIADIC ARRAY["
                 : op == BinaryOp::kSub ? "tessaly_jet.jet_chain('-', VARIADIC ARRAY["
                                        : "tessaly_jet.jet_chain('*', VARIADIC ARRAY[";
          for (size_t i = 0; i < operands.size(); ++i) {
            if (i != 0) out += ", ";
            operands.WriteArgument(i, out);
          }
          out += "])";
          return;
        }
        Folded(op == BinaryOp::kAdd   ? "tessaly_jet.jet_add("
               : op == BinaryOp::kSub ? "tessaly_jet.jet_sub("
                                      : "tessaly_jet.jet_mul(",
               operands, operands.size(), out);
        return;
      case BinaryOp::kIntDiv: OfNumbers("tessaly_jet.jet_intdiv(", ", ", operands, out); return;
      case BinaryOp::kMod: OfNumbers("tessaly_jet.jet_mod(", ", ", operands, out); return;
      case BinaryOp::kPow: OfNumbers("tessaly_jet.jet_pow(", ", ", operands, out); return;
      default: break;
    }
    Dialect::Operator(op, operands, out);
  }

 private:
  static constexpr size_t kLongestFolded = 64;

  // Format(value, pattern) with a pattern written in the statement that
  // to_char can write: the call takes to_char's pattern as well, and its
  // overload for a date is to_char itself, which the planner inlines; a
  // text or a number goes to jet_format as always.
  bool WrittenDateFormat(const Operands& args, std::string& out) const {
    const std::string* pattern = args.size() == 2 ? args.TextValue(1) : nullptr;
    const auto native = pattern != nullptr ? NativeDatePattern(*pattern) : std::nullopt;
    if (!native) return false;
    out += "tessaly_jet.jet_format(";
    out += std::to_string(static_cast<int>(region()));
    out += ", ";
    args.WriteArgument(0, out);
    out += ", ";
    args.WriteArgument(1, out);
    out += ", ";
    TextLiteral(*native, out);
    out += ')';
    return true;
  }

  // open a between b ), the two operands read as Jet reads a number wherever
  // it takes one: a text that spells one (else 13), a date its serial.
  static void OfNumbers(const char* open, const char* between, const Operands& operands,
                        std::string& out) {
    out += open;
    for (size_t i = 0; i < 2; ++i) {
      if (i != 0) out += between;
      out += "tessaly_jet.jet_number(";
      operands.WriteArgument(i, out);
      out += ')';
    }
    out += ')';
  }

  // function(function(a, b), c) ... over operands [0, end), read from the left.
  static void Folded(const char* function, const Operands& operands, size_t end,
                     std::string& out) {
    if (end == 1) {
      operands.WriteArgument(0, out);
      return;
    }
    out += function;
    Folded(function, operands, end - 1, out);
    out += ", ";
    operands.WriteArgument(end - 1, out);
    out += ')';
  }

  // A statistic of the group's values as numbers (a date is its serial
  // number); of a single value the sample's is Null, as Jet's is.
  static void Statistic(const char* aggregate, const Operands& args, std::string& out) {
    out += aggregate;
    out += "(tessaly_jet.jet_number(";
    args.WriteArgument(0, out);
    out += "))";
  }

  // An operand that must be a condition: Jet takes a number as one (true
  // when not zero), PostgreSQL only a truth value; jet_truth takes both.
  static void Condition(const Operands& operands, size_t index, std::string& out) {
    out += "tessaly_jet.jet_truth(";
    operands.WriteArgument(index, out);
    out += ')';
  }

 private:
  NameSpellings* names_;
};

}  // namespace

const jet::Dialect& PgDialect() {
  static const Pg dialect;
  return dialect;
}

std::unique_ptr<jet::Dialect> PgDialect(NameSpellings& names, rules::Region region) {
  return std::make_unique<Pg>(&names, region);
}

std::string_view CatalogSpelling(std::string_view name, NameSpellings* names) {
  const std::string* spelled = KnownSpelling(rules::LoweredAscii(name), names);
  return spelled != nullptr ? std::string_view(*spelled) : name;
}

}  // namespace tessaly::db::postgres
