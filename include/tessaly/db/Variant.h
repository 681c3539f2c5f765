// The value of a field, as the old runtime's Variant held it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include <optional>

#include "tessaly/db/Date.h"

namespace tessaly::db {

enum class VarType : int32_t {
  kEmpty = 0,
  kNull = 1,
  kInteger = 2,  // 16-bit
  kLong = 3,     // 32-bit
  kSingle = 4,
  kDouble = 5,
  kDate = 7,
  kString = 8,
  kCurrency = 6,
  kBoolean = 11,
  kDecimal = 14,
  kByte = 17,
  kBytes = 8209,  // an array of Bytes (an OLE object's or a binary field's value)
};

// A Currency value as the runtime kept it: a whole number of ten-thousandths
// in 64 bits, so that money adds up without a Double's binary noise.
struct Currency {
  int64_t scaled = 0;
  // Its text: the whole part and up to four decimals, no trailing zeros
  // ("3.5", "-0.0001", "12").
  std::string ToText() const;
  friend bool operator==(Currency, Currency) = default;
};

// A Decimal value: a number of up to 28 significant digits with up to 28 of
// them after the point, kept exactly as its text. The text is canonical: an
// optional "-", the whole part without leading zeros ("0" when there is
// none), and a "." with the decimals only when one is not 0, so two Decimals
// are equal exactly when their texts are.
class Decimal {
 public:
  static constexpr int kMaxDigits = 28;
  Decimal() : text_("0") {}
  // The Decimal a text of digits with an optional sign, point and exponent
  // ("-12.50", "1E+20") writes; none when it is no such text or needs more
  // than 28 digits in all (before and after the point).
  static std::optional<Decimal> Parse(std::string_view text);
  const std::string& Text() const { return text_; }
  // The number of its significant digits ("0.0105" has 3).
  int Digits() const;
  friend bool operator==(const Decimal&, const Decimal&) = default;

 private:
  std::string text_;
};

// A tagged value: Empty, Null, Boolean, Byte, Integer (16-bit), Long (32-bit),
// Single, Double, Date or String (UTF-8); and the values of the fields only
// Access databases carry: Currency, Decimal and an array of Bytes. Conversions are explicit; each one
// follows the old runtime's rule and raises tessaly::Error with its numbers
// (6 Overflow, 13 Type mismatch, 94 Invalid use of Null).
class Variant {
 public:
  Variant() = default;  // Empty
  static Variant Null();
  explicit Variant(bool v) : value_(v) {}
  explicit Variant(uint8_t v) : value_(v) {}
  explicit Variant(int16_t v) : value_(v) {}
  explicit Variant(int32_t v) : value_(v) {}
  explicit Variant(float v) : value_(v) {}
  explicit Variant(double v) : value_(v) {}
  explicit Variant(Date v) : value_(v) {}
  explicit Variant(std::string v) : value_(std::move(v)) {}
  explicit Variant(std::string_view v) : value_(std::string(v)) {}
  explicit Variant(const char* v) : value_(std::string(v)) {}
  explicit Variant(Currency v) : value_(v) {}
  explicit Variant(Decimal v) : value_(std::move(v)) {}
  explicit Variant(std::vector<uint8_t> v) : value_(std::move(v)) {}

  VarType Type() const;
  bool IsNull() const { return std::holds_alternative<NullTag>(value_); }
  bool IsEmpty() const { return std::holds_alternative<std::monostate>(value_); }

  // The value's text as the runtime wrote it when joining it to a text: Null
  // and Empty give "", Boolean "True"/"False", Single up to 7 and Double up to
  // 15 significant digits ("7.5", "8", "1E+15"), a Date in the text form of
  // Date::ToText, a Currency up to 4 decimals, a Decimal all its digits, and
  // an array of Bytes read as the UTF-16 text its bytes spell.
  std::string ToText() const;

  // The numeric-text rule: the numeric value of ToText() as Val reads it (Null
  // and Empty give 0).
  double NumericValueOfText() const;

  // CBool, CByte, CInt, CLng, CSng, CDbl, CDate, CStr: Null raises 94, a text
  // that is no number raises 13, a value outside the target raises 6; whole
  // targets round halves to the even neighbour.
  bool ToBoolean() const;
  uint8_t ToByte() const;
  int16_t ToInteger() const;
  int32_t ToLong() const;
  float ToSingle() const;
  double ToDouble() const;
  Date ToDate() const;
  std::string ToString() const;  // CStr: like ToText, but Null raises 94
  // CCur and CDec: a number rounded (halves to even) to 4 decimals, and a
  // number to the Decimal of its text (a Double's 15 significant digits);
  // raise as the others do, and 13 for an array of Bytes.
  Currency ToCurrency() const;
  Decimal ToDecimal() const;

  // Direct access for callers that checked Type(); nullptr when the variant
  // holds another kind.
  const std::string* AsString() const { return std::get_if<std::string>(&value_); }
  const Date* AsDate() const { return std::get_if<Date>(&value_); }
  const Currency* AsCurrency() const { return std::get_if<Currency>(&value_); }
  const Decimal* AsDecimal() const { return std::get_if<Decimal>(&value_); }
  const std::vector<uint8_t>* AsBytes() const { return std::get_if<std::vector<uint8_t>>(&value_); }

  friend bool operator==(const Variant&, const Variant&) = default;

 private:
  struct NullTag {
    friend bool operator==(NullTag, NullTag) = default;
  };
  using Value = std::variant<std::monostate, NullTag, bool, uint8_t, int16_t, int32_t, float,
                             double, Date, std::string, Currency, Decimal, std::vector<uint8_t>>;
  Value value_;
};

}  // namespace tessaly::db
