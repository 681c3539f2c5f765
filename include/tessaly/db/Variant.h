// The value of a field, as the old runtime's Variant held it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

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
  kBoolean = 11,
  kByte = 17,
};

// A tagged value: Empty, Null, Boolean, Byte, Integer (16-bit), Long (32-bit),
// Single, Double, Date or String (UTF-8). Conversions are explicit; each one
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

  VarType Type() const;
  bool IsNull() const { return std::holds_alternative<NullTag>(value_); }
  bool IsEmpty() const { return std::holds_alternative<std::monostate>(value_); }

  // The value's text as the runtime wrote it when joining it to a text: Null
  // and Empty give "", Boolean "True"/"False", Single up to 7 and Double up to
  // 15 significant digits ("7.5", "8", "1E+15"), a Date in the text form of
  // Date::ToText.
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

  // Direct access for callers that checked Type(); nullptr when the variant
  // holds another kind.
  const std::string* AsString() const { return std::get_if<std::string>(&value_); }
  const Date* AsDate() const { return std::get_if<Date>(&value_); }

  friend bool operator==(const Variant&, const Variant&) = default;

 private:
  struct NullTag {
    friend bool operator==(NullTag, NullTag) = default;
  };
  using Value = std::variant<std::monostate, NullTag, bool, uint8_t, int16_t, int32_t, float,
                             double, Date, std::string>;
  Value value_;
};

}  // namespace tessaly::db
