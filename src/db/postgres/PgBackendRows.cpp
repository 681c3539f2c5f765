#include "db/postgres/PgBackendRows.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "db/Rules.h"

namespace tessaly::db::postgres {
namespace {

// Bytes of the values of indexed columns a row may hold: an index entry has
// room for about 2,700 (a third of a page), and a row past it fails.
constexpr size_t kIndexRoom = 2000;
// A value far past any a row of attendance holds (the server takes 1 GB) is
// left to the server to judge.
constexpr size_t kLargest = size_t{1} << 26;

// Reads a name in double quotes (its quotes doubled inside) at the start of
// text, which it passes.
std::optional<std::string> QuotedName(std::string_view& text) {
  if (text.empty() || text[0] != '"') return std::nullopt;
  // Mostly a name without a quote inside: taken whole.
  if (const size_t close = text.find('"', 1);
      close != std::string_view::npos && (close + 1 == text.size() || text[close + 1] != '"')) {
    std::string name(text.substr(1, close - 1));
    text.remove_prefix(close + 1);
    return name;
  }
  std::string name;
  for (size_t i = 1; i < text.size(); ++i) {
    if (text[i] != '"') {
      name += text[i];
    } else if (i + 1 < text.size() && text[i + 1] == '"') {
      name += '"';
      ++i;
    } else {
      text.remove_prefix(i + 1);
      return name;
    }
  }
  return std::nullopt;
}

bool Skip(std::string_view& text, std::string_view word) {
  if (!text.starts_with(word)) return false;
  text.remove_prefix(word.size());
  return true;
}

bool WholeNumber(std::string_view text, int64_t* value) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

// The decimal digits of a whole number's size (none for 0).
int Digits(uint64_t n) {
  int digits = 0;
  for (; n != 0; n /= 10) ++digits;
  return digits;
}

uint64_t Magnitude(int64_t n) {
  return n < 0 ? uint64_t{0} - static_cast<uint64_t>(n) : static_cast<uint64_t>(n);
}

}  // namespace

std::optional<std::string_view> InsertTarget(std::string_view sql) {
  if (!Skip(sql, "INSERT INTO ")) return std::nullopt;
  const std::string_view rest = sql;
  if (!QuotedName(sql)) return std::nullopt;
  return rest.substr(0, rest.size() - sql.size());
}

namespace {

// A one-row insert of values alone; negated (-$1, a negative literal) when
// signs allows.
std::optional<RowInsert> ReadInsert(std::string_view sql, bool signs) {
  RowInsert insert;
  const std::optional<std::string_view> table = InsertTarget(sql);
  if (!table) return std::nullopt;
  insert.table = *table;
  sql.remove_prefix(static_cast<size_t>(table->data() + table->size() - sql.data()));
  if (!Skip(sql, " (")) return std::nullopt;
  do {
    std::optional<std::string> column = QuotedName(sql);
    if (!column) return std::nullopt;
    insert.columns.push_back(std::move(*column));
  } while (Skip(sql, ", "));
  if (!Skip(sql, ") VALUES (")) return std::nullopt;
  do {
    if (Skip(sql, "NULL")) {
      insert.values.push_back(0);
      continue;
    }
    if (signs) Skip(sql, "-");
    if (!Skip(sql, "$")) return std::nullopt;
    int number = 0;
    const auto [end, ec] = std::from_chars(sql.data(), sql.data() + sql.size(), number);
    if (ec != std::errc() || number < 1) return std::nullopt;
    sql.remove_prefix(static_cast<size_t>(end - sql.data()));
    insert.values.push_back(number);
  } while (Skip(sql, ", "));
  if (sql != ")" || insert.values.size() != insert.columns.size()) return std::nullopt;
  return insert;
}

}  // namespace

std::optional<RowInsert> ReadRowInsert(std::string_view sql) { return ReadInsert(sql, false); }

bool InsertsValuesAlone(std::string_view sql) { return ReadInsert(sql, true).has_value(); }

int64_t Utf8Characters(std::string_view text) {
  int64_t characters = 0;
  size_t i = 0;
  // Most texts of attendance rows are ASCII: eight bytes at a time while
  // none has its high bit.
  for (uint64_t eight = 0; i + 8 <= text.size(); i += 8, characters += 8) {
    std::memcpy(&eight, text.data() + i, 8);
    if ((eight & 0x8080808080808080ULL) != 0) break;
  }
  for (; i < text.size(); ++characters) {
    const auto c = static_cast<unsigned char>(text[i]);
    size_t length = 0;
    uint32_t code = 0, least = 0;
    if (c < 0x80) {
      ++i;
      continue;
    }
    if (c >= 0xC2 && c <= 0xDF) {
      length = 2, code = c & 0x1F, least = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
      length = 3, code = c & 0x0F, least = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
      length = 4, code = c & 0x07, least = 0x10000;
    } else {
      return -1;
    }
    if (i + length > text.size()) return -1;
    for (size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return -1;
      code = code << 6 | (next & 0x3F);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return -1;
    i += length;
  }
  return characters;
}

RowRules::RowRules(const TableFacts& facts) : unique_(facts.unique) {
  if (!facts.plain) return;
  for (const TableFacts::Column& c : facts.columns) {
    // A column computed from others could fail; the row then needs its
    // savepoint whatever it holds.
    if (c.generated) return;
    const auto [at, added] = columns_.try_emplace(c.name);
    Column& column = at->second;
    if (added) column.number = columns_.size() - 1;
    const std::string_view type = c.type;
    const int32_t modifier = c.modifier;
    if (type == "text" || type == "citext") {
      column.holds = Holds::kText;
    } else if (type == "varchar" || type == "bpchar") {
      column.holds = Holds::kText;
      if (modifier >= 4) column.width = modifier - 4;
    } else if (type == "int2" || type == "int4" || type == "int8") {
      column.holds = Holds::kInteger;
      column.low = type == "int2"   ? std::numeric_limits<int16_t>::min()
                   : type == "int4" ? std::numeric_limits<int32_t>::min()
                                    : std::numeric_limits<int64_t>::min();
      column.high = type == "int2"   ? std::numeric_limits<int16_t>::max()
                    : type == "int4" ? std::numeric_limits<int32_t>::max()
                                     : std::numeric_limits<int64_t>::max();
    } else if (type == "float4") {
      column.holds = Holds::kReal4;
    } else if (type == "float8") {
      column.holds = Holds::kReal8;
    } else if (type == "numeric") {
      column.holds = Holds::kNumeric;
      if (modifier >= 4) {
        column.precision = ((modifier - 4) >> 16) & 0xFFFF;
        column.scale = (((modifier - 4) & 0x7FF) ^ 1024) - 1024;
        if (column.scale < 0 || column.scale > column.precision) column.holds = Holds::kOther;
      }
    } else if (type == "timestamp" || type == "timestamptz" || type == "date") {
      column.holds = Holds::kDate;
    } else if (type == "bytea") {
      column.holds = Holds::kBytes;
    }
    // The engine's own domains: Yes/No, any 16-bit number, and Byte, 0 to 255.
    if (c.domain == "tinyint" && c.domain_checks == "ck_range_byte") {
      column.low = 0;
      column.high = 255;
    } else if (!c.domain.empty() && !(c.domain == "yesno" && c.domain_checks.empty())) {
      column.holds = Holds::kOther;
    }
    column.nullable = !c.not_null;
    column.insertable = c.insertable;
    column.indexed = c.indexed;
    // Left out, a column takes its default: a number's 0 (a Yes/No field's
    // No), a counter's next number, or Null.
    const bool number = column.holds == Holds::kInteger || column.holds == Holds::kReal4 ||
                        column.holds == Holds::kReal8 || column.holds == Holds::kNumeric;
    column.omittable =
        c.identity || (c.default_text.empty() ? column.nullable
                                              : number && c.default_text == "0" &&
                                                    column.low <= 0 && column.high >= 0);
  }
  // The checks the engine writes for a field, recognised by name and
  // definition; any other could refuse a row for reasons of its own.
  for (const TableFacts::Check& check : facts.checks) {
    const auto found = columns_.find(check.column);
    if (check.column.empty() || found == columns_.end()) return;
    Column& column = found->second;
    const TableFacts::Column* described = nullptr;
    for (const TableFacts::Column& c : facts.columns) {
      if (c.name == check.column) described = &c;
    }
    const std::string& q = described->quoted;
    std::string_view definition = check.definition;
    int64_t bound = 0;
    auto bounded = [&](std::string_view before, std::string_view after) {
      if (!definition.starts_with(before) || !definition.ends_with(after)) return false;
      return WholeNumber(
          definition.substr(before.size(), definition.size() - before.size() - after.size()),
          &bound);
    };
    if (check.name == "ck_size_" + check.column &&
        (bounded("CHECK ((length((" + q + ")::text) <= ", "))") ||
         bounded("CHECK ((length(" + q + ") <= ", "))") ||
         bounded("CHECK ((octet_length(" + q + ") <= ", "))"))) {
      column.width = column.width < 0 ? bound : std::min(column.width, bound);
    } else if (check.name == "ck_type_" + check.column && column.holds == Holds::kDate &&
               definition == "CHECK (((" + q +
                                 " >= '0100-01-01 00:00:00'::timestamp without time zone) AND (" +
                                 q + " < '10000-01-01 00:00:00'::timestamp without time zone)))") {
      column.dated = true;
    } else if (check.name == "ck_range_" + check.column && column.holds == Holds::kInteger) {
      // CHECK (((q >= low) AND (q <= high))), as BETWEEN reads back.
      const std::string from = "CHECK (((" + q + " >= ";
      const std::string to = ") AND (" + q + " <= ";
      const size_t middle = definition.find(to);
      int64_t low = 0, high = 0;
      if (!definition.starts_with(from) || !definition.ends_with(")))") ||
          middle == std::string_view::npos ||
          !WholeNumber(definition.substr(from.size(), middle - from.size()), &low) ||
          !WholeNumber(
              definition.substr(middle + to.size(), definition.size() - middle - to.size() - 3),
              &high)) {
        return;
      }
      column.low = std::max(column.low, low);
      column.high = std::min(column.high, high);
    } else {
      return;
    }
  }
  usable_ = true;
}

bool RowRules::Fits(const Column& column, const Parameter& value) {
  using K = Parameter::Kind;
  switch (column.holds) {
    case Holds::kText: {
      // A text holding character 0 is refused before it is sent.
      if (value.kind != K::kText || value.text.size() > kLargest ||
          value.text.find('\0') != std::string::npos) {
        return false;
      }
      const int64_t characters = Utf8Characters(value.text);
      return characters >= 0 && (column.width < 0 || characters <= column.width);
    }
    case Holds::kBytes:
      return value.kind == K::kBytes && value.text.size() <= kLargest &&
             (column.width < 0 || static_cast<int64_t>(value.text.size()) <= column.width);
    case Holds::kInteger:
      if (value.kind == K::kInteger)
        return value.integer >= column.low && value.integer <= column.high;
      if (value.kind == K::kReal) {
        // The server rounds half to even, as rint does.
        const double whole = std::rint(value.real);
        return std::isfinite(whole) && whole >= static_cast<double>(column.low) &&
               whole <= static_cast<double>(column.high) && std::fabs(whole) < 9.0e18;
      }
      if (value.kind == K::kText) {
        // A text beside a number column is read as a number: only plain digits
        // are judged here.
        int64_t n = 0;
        std::string_view digits = value.text;
        if (digits.starts_with('-')) digits.remove_prefix(1);
        return digits.size() <= 18 && rules::IsDigits(digits) && WholeNumber(value.text, &n) &&
               n >= column.low && n <= column.high;
      }
      return false;
    case Holds::kReal4:
      if (value.kind == K::kInteger || value.kind == K::kCurrency) return true;
      if (value.kind == K::kReal) {
        // Too large for a Single, or too small to be any but 0, is refused.
        const float single = static_cast<float>(value.real);
        return !(std::isinf(single) && !std::isinf(value.real)) &&
               !(single == 0 && value.real != 0);
      }
      return false;
    case Holds::kReal8:
      return value.kind == K::kInteger || value.kind == K::kReal || value.kind == K::kCurrency ||
             value.kind == K::kDecimal;
    case Holds::kNumeric: {
      if (column.precision == 0) {
        return value.kind == K::kInteger || value.kind == K::kCurrency || value.kind == K::kDecimal;
      }
      // Whole digits beyond precision - scale overflow; decimals beyond the
      // scale are rounded, which may carry into one more whole digit.
      const int whole_room = column.precision - column.scale;
      int whole = 0, decimals = 0;
      if (value.kind == K::kInteger) {
        whole = Digits(Magnitude(value.integer));
      } else if (value.kind == K::kCurrency) {
        const uint64_t scaled = Magnitude(value.integer);
        whole = Digits(scaled / 10000);
        for (uint64_t fraction = scaled % 10000, places = 4; fraction != 0;
             fraction /= 10, --places) {
          if (fraction % 10 != 0) {
            decimals = static_cast<int>(places);
            break;
          }
        }
      } else if (value.kind == K::kDecimal) {
        std::string_view digits = value.text;
        if (digits.starts_with('-')) digits.remove_prefix(1);
        const size_t point = digits.find('.');
        std::string_view integral = digits.substr(0, point);
        while (integral.starts_with('0')) integral.remove_prefix(1);
        whole = static_cast<int>(integral.size());
        if (point != std::string_view::npos) decimals = static_cast<int>(digits.size() - point - 1);
      } else {
        return false;
      }
      return whole < whole_room || (whole == whole_room && decimals <= column.scale);
    }
    case Holds::kDate:
      return value.kind == K::kDate &&
             (!column.dated || (value.date.year >= 100 && value.date.year <= 9999));
    case Holds::kOther: return false;
  }
  return false;
}

RowRules::Plan RowRules::PlanOf(const RowInsert& insert) const {
  Plan plan;
  if (!usable_) return plan;
  // By the columns' numbers: a flag each, not a map's node each.
  std::vector<bool> seen(columns_.size());
  for (size_t i = 0; i < insert.columns.size(); ++i) {
    const auto found = columns_.find(insert.columns[i]);
    if (found == columns_.end() || seen[found->second.number]) return plan;
    seen[found->second.number] = true;
    const Column& column = found->second;
    if (!column.insertable) return plan;
    if (insert.values[i] == 0) {
      if (!column.nullable) return plan;
      continue;
    }
    plan.values.emplace_back(insert.values[i], column);
  }
  if (insert.columns.size() < columns_.size()) {
    for (const auto& [name, column] : columns_) {
      if (!column.omittable && !seen[column.number]) return plan;
    }
  }
  plan.usable = true;
  return plan;
}

bool RowRules::Admits(const Plan& plan, std::span<const Parameter> parameters) const {
  if (!plan.usable) return false;
  size_t indexed_bytes = 0;
  for (const auto& [number, column] : plan.values) {
    if (static_cast<size_t>(number) > parameters.size()) return false;
    const Parameter& value = parameters[static_cast<size_t>(number) - 1];
    if (!Fits(column, value)) return false;
    if (column.indexed &&
        (value.kind == Parameter::Kind::kText || value.kind == Parameter::Kind::kBytes)) {
      indexed_bytes += value.text.size();
    }
  }
  return indexed_bytes <= kIndexRoom;
}

}  // namespace tessaly::db::postgres
