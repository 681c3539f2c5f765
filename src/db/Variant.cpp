// The field value: its text form and the runtime's checked conversions.
#include "tessaly/db/Variant.h"

#include <charconv>
#include <string>

#include "db/NumberText.h"
#include "db/Rules.h"
#include "tessaly/Error.h"
#include "tessaly/db/Vb.h"

namespace tessaly::db {
namespace {

[[noreturn]] void Raise(int32_t number) { throw Error::Runtime(number); }

template <typename Int>
std::string IntegerText(Int value) {
  char buf[16];
  return std::string(buf, std::to_chars(buf, buf + sizeof buf, value).ptr);
}

std::string_view TrimBlanks(std::string_view text) {
  auto is_blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
  return text;
}

// The runtime's string-to-number coercion: 13 when the text is no number.
double NumberOfText(std::string_view text) {
  double value;
  if (!vb::internal::ParseNumberText(text, &value)) Raise(errnum::kRuntimeTypeMismatch);
  return value;
}

}  // namespace

Variant Variant::Null() {
  Variant v;
  v.value_ = NullTag{};
  return v;
}

VarType Variant::Type() const {
  // In the order of the alternatives of Value.
  static constexpr VarType kTypes[] = {
      VarType::kEmpty, VarType::kNull,   VarType::kBoolean, VarType::kByte, VarType::kInteger,
      VarType::kLong,  VarType::kSingle, VarType::kDouble,  VarType::kDate, VarType::kString,
  };
  static_assert(std::size(kTypes) == std::variant_size_v<Value>);
  return kTypes[value_.index()];
}

std::string Variant::ToText() const {
  switch (value_.index()) {
    case 0:  // Empty
    case 1:  // Null
      return std::string();
    case 2: return std::get<bool>(value_) ? "True" : "False";
    case 3: return IntegerText(std::get<uint8_t>(value_));
    case 4: return IntegerText(std::get<int16_t>(value_));
    case 5: return IntegerText(std::get<int32_t>(value_));
    case 6: return vb::SingleText(std::get<float>(value_));
    case 7: return vb::DoubleText(std::get<double>(value_));
    case 8: return std::get<Date>(value_).ToText();
    default: return std::get<std::string>(value_);
  }
}

double Variant::NumericValueOfText() const {
  // Val(ToText()) without building the text: loading a row runs this for every
  // numeric column, so each kind takes the shortest way to the same number.
  switch (value_.index()) {
    case 0:  // Empty
    case 1:  // Null
    case 2:  // "True" and "False" start with no number
      return 0;
    case 3: return std::get<uint8_t>(value_);
    case 4: return std::get<int16_t>(value_);
    case 5: return std::get<int32_t>(value_);
    case 6: return vb::internal::SingleTextValue(std::get<float>(value_));
    case 7: return vb::internal::DoubleTextValue(std::get<double>(value_));
    case 8: {
      // The text starts with the year ("2004-01-15 09:00:00"), or with the hour
      // when it is a time alone on day 0 ("09:00:00").
      const Date& d = std::get<Date>(value_);
      bool day_zero = d.year == 1899 && d.month == 12 && d.day == 30;
      return day_zero ? d.hour : d.year;
    }
    default: return vb::Val(std::get<std::string>(value_));
  }
}

double Variant::ToDouble() const {
  switch (value_.index()) {
    case 0: return 0;
    case 1: Raise(errnum::kInvalidUseOfNull);
    case 2: return std::get<bool>(value_) ? -1 : 0;
    case 3: return std::get<uint8_t>(value_);
    case 4: return std::get<int16_t>(value_);
    case 5: return std::get<int32_t>(value_);
    case 6: return std::get<float>(value_);  // widened: CDbl(CSng(0.1)) shows its binary noise
    case 7: return std::get<double>(value_);
    case 8: return std::get<Date>(value_).ToSerial();
    default: return NumberOfText(std::get<std::string>(value_));
  }
}

bool Variant::ToBoolean() const {
  if (const std::string* s = AsString()) {
    std::string_view text = TrimBlanks(*s);
    if (rules::EqualsNoCase(text, "TRUE")) return true;
    if (rules::EqualsNoCase(text, "FALSE")) return false;
    return NumberOfText(text) != 0;
  }
  if (const bool* b = std::get_if<bool>(&value_)) return *b;
  return ToDouble() != 0;
}

uint8_t Variant::ToByte() const {
  if (const uint8_t* b = std::get_if<uint8_t>(&value_)) return *b;
  return vb::CByte(ToDouble());
}

int16_t Variant::ToInteger() const {
  if (const int16_t* i = std::get_if<int16_t>(&value_)) return *i;
  return vb::CInt(ToDouble());
}

int32_t Variant::ToLong() const {
  if (const int32_t* i = std::get_if<int32_t>(&value_)) return *i;
  return vb::CLng(ToDouble());
}

float Variant::ToSingle() const {
  if (const float* f = std::get_if<float>(&value_)) return *f;
  return vb::CSng(ToDouble());
}

Date Variant::ToDate() const {
  if (const Date* d = AsDate()) return *d;
  if (const std::string* s = AsString()) {
    if (auto d = Date::ParseLiteral(*s)) return *d;
    if (auto d = Date::ParseStored(*s)) return *d;
    Raise(errnum::kRuntimeTypeMismatch);
  }
  // Empty is day 0; a number is a serial date, and one outside the runtime's
  // range of dates overflows.
  auto d = Date::FromSerial(ToDouble());
  if (!d) Raise(errnum::kOverflow);
  return *d;
}

std::string Variant::ToString() const {
  if (IsNull()) Raise(errnum::kInvalidUseOfNull);
  return ToText();
}

}  // namespace tessaly::db
