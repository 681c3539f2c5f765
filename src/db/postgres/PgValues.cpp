#include "db/postgres/PgValues.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>

#include "db/JetErrors.h"
#include "db/Rules.h"
#include "tessaly/Error.h"
#include "tessaly/db/Date.h"

namespace tessaly::db::postgres {

using internal::Cell;

namespace {

// A Double as a text the server reads back as the same Double. Most values
// a statement writes have a few decimals (7.5, 0.25): such a value is the
// whole number it makes times a power of ten, written with its point, and
// is read back exactly when that division gives the value again (both
// numbers are exact Doubles, and a division rounds once). Any other takes
// the shortest text that reads back, which costs several times as much.
void AppendReal(std::string& out, double value) {
  static constexpr double kPowers[] = {1, 10, 100, 1e3, 1e4, 1e5, 1e6};
  constexpr double kExact = 9007199254740992.0;  // 2^53: every whole number below is exact
  for (int places = 0; places < static_cast<int>(std::size(kPowers)); ++places) {
    const double scaled = std::nearbyint(value * kPowers[places]);
    if (!(std::fabs(scaled) < kExact)) break;
    if (scaled / kPowers[places] != value || (scaled == 0 && std::signbit(value))) continue;
    char digits[24];
    const auto whole = static_cast<int64_t>(scaled);
    char* end = std::to_chars(digits, digits + sizeof digits, whole < 0 ? -whole : whole).ptr;
    const auto count = static_cast<int>(end - digits);
    if (whole < 0) out += '-';
    if (count <= places)
      out.append("0.").append(static_cast<size_t>(places - count), '0').append(digits, end);
    else
      out.append(digits, static_cast<size_t>(count - places))
          .append(places > 0 ? "." : "")
          .append(end - places, end);
    return;
  }
  char buffer[32];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, ec == std::errc() ? end : buffer);
}

}  // namespace

Bound::Bound(std::span<const Parameter> parameters) {
  types.reserve(parameters.size());
  values.reserve(parameters.size());
  // Every written text goes into one buffer, made large enough first so that
  // it never moves: each value then points where its text starts. A number
  // or a date takes at most kWritten bytes; a text parameter is sent from
  // itself.
  constexpr size_t kWritten = 40;
  size_t room = 0;
  for (const Parameter& p : parameters) {
    room += p.kind == Parameter::Kind::kText      ? 0
            : p.kind == Parameter::Kind::kDecimal ? p.text.size() + 1
            : p.kind == Parameter::Kind::kBytes   ? 2 * p.text.size() + 3
                                                  : kWritten;
  }
  written.reserve(room);
  const char* const start = written.data();
  for (const Parameter& p : parameters) {
    const size_t at = written.size();
    switch (p.kind) {
      case Parameter::Kind::kInteger: {
        char buffer[24];
        const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, p.integer);
        written.append(buffer, end);
        types.push_back(p.integer >= INT32_MIN && p.integer <= INT32_MAX ? kInt4Oid : kInt8Oid);
        break;
      }
      case Parameter::Kind::kReal:
        AppendReal(written, p.real);
        types.push_back(kFloat8Oid);
        break;
      case Parameter::Kind::kText:
        // Sent as a C string, a text would end at its first character 0.
        if (p.text.find('\0') != std::string::npos) throw jeterr::CharacterZero();
        types.push_back(0);
        values.push_back(p.text.c_str());
        continue;
      case Parameter::Kind::kDate:
        written += p.date.ToStored();
        types.push_back(kTimestampOid);
        break;
      case Parameter::Kind::kCurrency:
        written += Currency{p.integer}.ToText();
        types.push_back(kNumericOid);
        break;
      case Parameter::Kind::kDecimal:
        written += p.text;
        types.push_back(kNumericOid);
        break;
      case Parameter::Kind::kBytes:
        written.append("\\x").append(Hex(p.text));
        types.push_back(kByteaOid);
        break;
    }
    written += '\0';  // none of these texts holds one
    values.push_back(written.data() + at);
  }
  if (written.data() == start) return;
  // Grown past its room after all: each written value is found again.
  const char* next = written.data();
  for (size_t i = 0; i < parameters.size(); ++i) {
    if (parameters[i].kind == Parameter::Kind::kText) continue;
    values[i] = next;
    next += std::strlen(next) + 1;
  }
}

std::string Hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 0xf];
  }
  return out;
}

namespace {

// The bytes bytea's hex form ("\x0a1b") spells; false when it is no such text.
bool Unhex(std::string_view text, std::string* out) {
  if (text.size() < 2 || text[0] != '\\' || text[1] != 'x' || text.size() % 2 != 0) return false;
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  out->clear();
  out->reserve(text.size() / 2 - 1);
  for (size_t i = 2; i < text.size(); i += 2) {
    const int high = digit(text[i]), low = digit(text[i + 1]);
    if (high < 0 || low < 0) return false;
    *out += static_cast<char>(high << 4 | low);
  }
  return true;
}

}  // namespace


bool SendParams(pg_conn* conn, const char* sql, const Bound& bound) {
  return PQsendQueryParams(conn, sql, bound.size(), bound.types.data(), bound.values.data(),
                           nullptr, nullptr, 0) == 1;
}

namespace {

// One field of a row value's text, (8,,t) or (,"a,""b",), from at,
// which it passes along with the comma or parenthesis after it. Empty is
// Null; a quoted field has its doubled quotes and backslashes undone.
std::optional<std::string_view> RowField(std::string_view row, size_t& at, std::string& scratch) {
  if (row[at] == ',' || row[at] == ')') {
    ++at;
    return std::nullopt;
  }
  if (row[at] != '"') {
    const size_t end = row.find_first_of(",)", at);
    const std::string_view field = row.substr(at, end - at);
    at = end + 1;
    return field;
  }
  scratch.clear();
  for (++at; at < row.size(); ++at) {
    const char c = row[at];
    if (c == '\\' || (c == '"' && at + 1 < row.size() && row[at + 1] == '"')) {
      scratch += row[++at];
    } else if (c == '"') {
      break;
    } else {
      scratch += c;
    }
  }
  at += 2;  // the closing quote and the comma or parenthesis
  return std::string_view(scratch);
}

}  // namespace

// IIf's value of a text beside a number, as the server's jet_variant writes it:
// (number, text, whole). A number that was whole reads as a Long where it
// fits, as the file database's whole numbers do; a text is copied into the
// store (a quoted one needs its quotes undone, so a row stream keeps one).
Cell VariantCell(std::string_view row, internal::CellStore* store) {
  Cell cell;
  std::string scratch;
  size_t at = 1;
  const std::optional<std::string_view> number = RowField(row, at, scratch);
  if (number) {
    const std::string digits(*number);
    const std::optional<std::string_view> text = RowField(row, at, scratch);
    const std::optional<std::string_view> whole = RowField(row, at, scratch);
    const double v = std::strtod(digits.c_str(), nullptr);
    if (whole && *whole == "t" && v >= INT32_MIN && v <= INT32_MAX) {
      cell.kind = VarType::kLong;
      cell.integer = static_cast<int64_t>(v);
    } else {
      cell.kind = VarType::kDouble;
      cell.real = v;
    }
    (void)text;
    return cell;
  }
  const std::optional<std::string_view> text = RowField(row, at, scratch);
  if (!text) {
    cell.kind = VarType::kNull;
    return cell;
  }
  cell.kind = VarType::kString;
  cell.length = static_cast<uint32_t>(text->size());
  cell.text = store->AddText(*text);
  return cell;
}

Cell ReadCell(const PGresult* result, int row, int column, PgBackend::Kind kind,
              internal::CellStore* store) {
  Cell cell;
  if (PQgetisnull(result, row, column)) {
    cell.kind = VarType::kNull;
    return cell;
  }
  const char* text = PQgetvalue(result, row, column);
  const auto length = static_cast<size_t>(PQgetlength(result, row, column));
  const char* end = text + length;
  using K = PgBackend::Kind;
  switch (kind) {
    case K::kByte:
    case K::kInteger:
    case K::kLong:
    case K::kWide: {
      int64_t v = 0;
      std::from_chars(text, end, v);
      cell.integer = v;
      cell.kind = kind == K::kByte      ? VarType::kByte
                  : kind == K::kInteger ? VarType::kInteger
                                        : VarType::kLong;
      if (kind == K::kWide && (v < INT32_MIN || v > INT32_MAX)) {
        cell.kind = VarType::kDouble;
        cell.real = static_cast<double>(v);
      }
      return cell;
    }
    case K::kSingle:
      cell.kind = VarType::kSingle;
      cell.single = std::strtof(text, nullptr);
      return cell;
    case K::kDouble:
      cell.kind = VarType::kDouble;
      cell.real = std::strtod(text, nullptr);
      return cell;
    case K::kBool:
      cell.kind = VarType::kBoolean;
      cell.integer = text[0] == 't' ? 1 : 0;
      return cell;
    case K::kYesNo:
      // Any number but 0 is Yes, as Jet read a field written by another program.
      cell.kind = VarType::kBoolean;
      cell.integer = text[0] == '0' ? 0 : 1;
      return cell;
    case K::kDate: {
      // ISO: "yyyy-mm-dd hh:mm:ss", with a zone after it for timestamptz.
      std::string_view stored(text, std::min<size_t>(length, 19));
      if (const std::optional<Date> date = Date::ParseStored(stored)) {
        cell.SetDate(*date);
        return cell;
      }
      break;
    }
    case K::kVariant: return VariantCell(std::string_view(text, length), store);
    case K::kCurrency:
      if (const std::optional<Decimal> value = Decimal::Parse(std::string_view(text, length))) {
        try {
          cell.integer = Variant(*value).ToCurrency().scaled;
          cell.kind = VarType::kCurrency;
          return cell;
        } catch (const Error&) {
        }
      }
      break;
    case K::kDecimal: {
      // numeric writes as many decimals as its scale: the trailing zeros go,
      // which leaves the canonical text at the start of the result's own.
      std::string_view digits(text, length);
      if (digits.find('.') != std::string_view::npos) {
        while (digits.back() == '0') digits.remove_suffix(1);
        if (digits.back() == '.') digits.remove_suffix(1);
      }
      const std::optional<Decimal> value = Decimal::Parse(digits);
      if (!value || value->Text() != digits) break;
      cell.kind = VarType::kDecimal;
      cell.length = static_cast<uint32_t>(digits.size());
      cell.text = store != nullptr ? store->AddText(digits) : digits.data();
      return cell;
    }
    case K::kBytes: {
      // The result holds bytea's hex form; its bytes go into the store
      // (which a streamed row has for them too).
      std::string bytes;
      if (store == nullptr || !Unhex(std::string_view(text, length), &bytes)) break;
      cell.kind = VarType::kBytes;
      cell.length = static_cast<uint32_t>(bytes.size());
      cell.text = store->AddText(bytes);
      return cell;
    }
    case K::kText: break;
  }
  cell.kind = VarType::kString;
  cell.length = static_cast<uint32_t>(length);
  const std::string_view value(text, length);
  cell.text = store != nullptr ? store->AddText(value) : (length == 0 ? nullptr : text);
  return cell;
}

void ColumnNames(const PGresult* result, internal::ResultData& out) {
  const int n = PQnfields(result);
  out.names.reserve(static_cast<size_t>(n));
  for (int c = 0; c < n; ++c) out.names.emplace_back(PQfname(result, c));
}

bool Defines(const PGresult* result) {
  const std::string_view status = PQcmdStatus(const_cast<PGresult*>(result));
  return status.starts_with("CREATE ") || status.starts_with("ALTER ") ||
         status.starts_with("DROP ") || status.starts_with("SELECT ");
}

bool WritesRows(const PGresult* result) {
  const std::string_view status = PQcmdStatus(const_cast<PGresult*>(result));
  return status.starts_with("INSERT ") || status.starts_with("UPDATE ") ||
         status.starts_with("DELETE ");
}

}  // namespace tessaly::db::postgres
