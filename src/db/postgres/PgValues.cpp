#include "db/postgres/PgValues.h"

#include <bit>
#include <charconv>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "db/JetErrors.h"
#include "db/Rules.h"
#include "tessaly/Error.h"
#include "tessaly/db/Date.h"

namespace tessaly::db::postgres {

using internal::Cell;

namespace {

// PostgreSQL's binary forms are big-endian.
char* PutBigEndian(char* out, uint32_t value) {
  if constexpr (std::endian::native == std::endian::little) value = __builtin_bswap32(value);
  std::memcpy(out, &value, sizeof value);
  return out + sizeof value;
}
char* PutBigEndian(char* out, uint64_t value) {
  if constexpr (std::endian::native == std::endian::little) value = __builtin_bswap64(value);
  std::memcpy(out, &value, sizeof value);
  return out + sizeof value;
}

char* PutText(char* out, std::string_view text) {
  std::memcpy(out, text.data(), text.size());
  out += text.size();
  *out = '\0';
  return out + 1;
}

// A timestamp's binary form: microseconds since 2000-01-01 00:00:00.
constexpr int64_t kDaysTo2000 = 10957;  // from 1970-01-01
int64_t TimestampMicroseconds(const Date& d) {
  const int64_t days = rules::DaysFromCivil(d.year, d.month, d.day) - kDaysTo2000;
  const int64_t seconds = days * 86400 + d.hour * 3600 + d.minute * 60 + d.second;
  return seconds * 1000000;
}

// The bytes a parameter's value takes in the piece (at most).
size_t RoomOf(const Parameter& p) {
  switch (p.kind) {
    case Parameter::Kind::kText:
    case Parameter::Kind::kBytes: return 0;      // sent from the parameter itself
    case Parameter::Kind::kCurrency: return 24;  // "-922337203685477.5808" and its 0
    case Parameter::Kind::kDecimal: return p.text.size() + 1;
    default: return 8;
  }
}

}  // namespace

Bound::Bound(std::span<const Parameter> parameters) {
  count_ = static_cast<int>(parameters.size());
  if (parameters.empty()) return;
  const size_t n = parameters.size();
  size_t room = n * (sizeof(const char*) + sizeof(Oid) + 2 * sizeof(int));
  for (const Parameter& p : parameters) room += RoomOf(p);
  char* piece = inline_;
  if (room > sizeof inline_) {
    heap_ = std::make_unique<char[]>(room);
    piece = heap_.get();
  }
  values_ = reinterpret_cast<const char**>(piece);
  types_ = reinterpret_cast<Oid*>(piece + n * sizeof(const char*));
  lengths_ = reinterpret_cast<int*>(types_ + n);
  formats_ = lengths_ + n;
  char* out = reinterpret_cast<char*>(formats_ + n);
  // Numbers and dates go in the server's binary forms, which it takes as
  // they are where a text would be parsed (a timestamp's most of all); the
  // value is the same either way. A text or bytes parameter is sent from
  // itself.
  for (size_t i = 0; i < n; ++i) {
    const Parameter& p = parameters[i];
    char* const start = out;
    values_[i] = start;
    formats_[i] = 1;
    switch (p.kind) {
      case Parameter::Kind::kInteger:
        if (p.integer >= INT32_MIN && p.integer <= INT32_MAX) {
          out = PutBigEndian(out, static_cast<uint32_t>(static_cast<int32_t>(p.integer)));
          types_[i] = kInt4Oid;
        } else {
          out = PutBigEndian(out, static_cast<uint64_t>(p.integer));
          types_[i] = kInt8Oid;
        }
        break;
      case Parameter::Kind::kReal:
        out = PutBigEndian(out, std::bit_cast<uint64_t>(p.real));
        types_[i] = kFloat8Oid;
        break;
      case Parameter::Kind::kDate:
        out = PutBigEndian(out, static_cast<uint64_t>(TimestampMicroseconds(p.date)));
        types_[i] = kTimestampOid;
        break;
      case Parameter::Kind::kText:
        // Sent as a C string, a text would end at its first character 0.
        if (p.text.find('\0') != std::string::npos) throw jeterr::CharacterZero();
        values_[i] = p.text.c_str();
        types_[i] = 0;
        formats_[i] = 0;
        break;
      case Parameter::Kind::kCurrency:
        out = PutText(out, Currency{p.integer}.ToText());
        types_[i] = kNumericOid;
        formats_[i] = 0;
        break;
      case Parameter::Kind::kDecimal:
        out = PutText(out, p.text);
        types_[i] = kNumericOid;
        formats_[i] = 0;
        break;
      case Parameter::Kind::kBytes:
        // bytea's binary form is the bytes themselves.
        values_[i] = p.text.data();
        lengths_[i] = static_cast<int>(p.text.size());
        types_[i] = kByteaOid;
        continue;
    }
    lengths_[i] = static_cast<int>(out - start);  // read for the binary forms alone
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
  return PQsendQueryParams(conn, sql, bound.size(), bound.types(), bound.values(), bound.lengths(),
                           bound.formats(), 0) == 1;
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
