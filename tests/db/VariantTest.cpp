#include "tessaly/db/Variant.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "tessaly/Error.h"
#include "tessaly/db/Vb.h"

namespace tessaly::db {
namespace {

Variant V(int y, int mo, int d, int h = 0) {
  return Variant(Date{static_cast<int16_t>(y), static_cast<uint8_t>(mo), static_cast<uint8_t>(d),
                      static_cast<uint8_t>(h), 0, 0});
}
Variant I(int16_t v) { return Variant(v); }
Variant L(int32_t v) { return Variant(v); }
Variant B(uint8_t v) { return Variant(v); }
const Variant kNull = Variant::Null();

// A conversion's outcome as one comparable text: the value, or "error N".
template <typename F>
std::string Outcome(F&& f) {
  try {
    auto value = f();
    using T = decltype(value);
    if constexpr (std::is_same_v<T, Date>) {
      return value.ToStored();
    } else if constexpr (std::is_same_v<T, std::string>) {
      return '"' + value + '"';
    } else if constexpr (std::is_same_v<T, bool>) {
      return value ? "true" : "false";
    } else {
      std::ostringstream out;
      out.precision(17);
      out << static_cast<double>(value);
      return out.str();
    }
  } catch (const Error& e) {
    return "error " + std::to_string(e.number());
  }
}

struct Case {
  Variant value;
  const char* want;
};

// Null and Empty give "" (CStr refuses Null); a Single prints its own 7 digits.
TEST(Variant, KindsAndTextForms) {
  const std::tuple<Variant, VarType, const char*> kCases[] = {
      {Variant(), VarType::kEmpty, ""}, {kNull, VarType::kNull, ""},
      {Variant(true), VarType::kBoolean, "True"}, {B(255), VarType::kByte, "255"},
      {I(-32768), VarType::kInteger, "-32768"}, {L(-2147483647 - 1), VarType::kLong, "-2147483648"},
      {Variant(7.3f), VarType::kSingle, "7.3"}, {Variant(0.1 + 0.2), VarType::kDouble, "0.3"},
      {Variant(1e15), VarType::kDouble, "1E+15"},
      {V(2004, 1, 15, 9), VarType::kDate, "2004-01-15 09:00:00"},
      {V(1899, 12, 30, 9), VarType::kDate, "09:00:00"}, {Variant(" a "), VarType::kString, " a "},
      {Variant(Currency{35000}), VarType::kCurrency, "3.5"},
      {Variant(Currency{-1}), VarType::kCurrency, "-0.0001"},
      {Variant(Currency{INT64_MIN}), VarType::kCurrency, "-922337203685477.5808"},
      {Variant(*Decimal::Parse("-0012.3400")), VarType::kDecimal, "-12.34"},
      {Variant(std::vector<uint8_t>{'h', 0, 'i', 0, 0x2d, 0x4e}), VarType::kBytes, "hi中"}};
  for (const auto& [value, type, text] : kCases) {
    EXPECT_EQ(value.Type(), type) << text;
    EXPECT_EQ(value.ToText(), text);
    EXPECT_EQ(Outcome([&] { return value.ToString(); }),
              value.IsNull() ? std::string("error 94") : '"' + std::string(text) + '"');
  }
}

// Val of the text: True reads as 0, a Single as the Double nearest its 7-digit
// text, a date as its year (or its hour on day 0).
TEST(Variant, NumericValueOfTextIsValOfTheText) {
  const Case kCases[] = {
      {kNull, "0"}, {Variant(true), "0"}, {Variant(7.3f), "7.2999999999999998"},
      {Variant(0.1 + 0.2), "0.29999999999999999"},
      {Variant(1234567890123456.0), "1234567890123460"}, {Variant(DBL_MAX), "error 6"},
      {V(2004, 1, 15, 9), "2004"}, {V(1899, 12, 30, 9), "9"}, {Variant("12.5 kg"), "12.5"},
      {Variant(""), "0"}, {Variant("50.5%"), "error 13"}};
  for (const Case& c : kCases) {
    EXPECT_EQ(Outcome([&] { return c.value.NumericValueOfText(); }), c.want) << c.value.ToText();
  }

  // The shortcuts for numbers must give exactly what reading the text gives,
  // on both sides of the whole-number and 15/7-digit switch points, and for
  // exact ties at the 7th digit (1048576.5).
  std::vector<Variant> values;
  std::mt19937_64 rng(20040115);
  for (int i = 0; i < 4000; ++i) {
    uint64_t bits = rng();
    double d;
    float f;
    std::memcpy(&d, &bits, sizeof d);
    std::memcpy(&f, &bits, sizeof f);
    if (std::isfinite(d) && std::fabs(d) < 1e300) values.emplace_back(d);
    if (std::isfinite(f)) values.emplace_back(f);
    values.emplace_back(static_cast<double>(rng() % 100000000) / std::pow(10.0, rng() % 12));
    values.emplace_back(static_cast<float>(static_cast<int>(rng() % 20000001) - 10000000) /
                        static_cast<float>(1 << (rng() % 24)));
  }
  for (double d : {999999999999999.0, 1e15, 1e15 + 2, 999999999999999.5, -0.0})
    values.emplace_back(d);
  for (float f : {1048576.5f, 1234567.5f, -2097152.5f, 9999999.0f, 1e7f, 16777215.0f, 1e-6f,
                  9.99999e-7f, FLT_MAX}) {
    values.emplace_back(f);
  }
  for (const Variant& v : values) {
    ASSERT_EQ(v.NumericValueOfText(), vb::Val(v.ToText())) << v.ToText();
  }
}

// Strings read with "." as the decimal point and "," thousands; True is -1;
// dates by their serial number; ties round to even before the range check.
TEST(Variant, NumberConversions) {
  const Case kToInteger[] = {
      {Variant(), "0"}, {kNull, "error 94"}, {Variant(true), "-1"}, {Variant(3.5f), "4"},
      {Variant(32767.5), "error 6"}, {Variant("1,000"), "1000"}, {Variant(" 12 "), "12"},
      {Variant("-2.5"), "-2"}, {Variant("1e3"), "1000"}, {Variant("40000"), "error 6"},
      {Variant(""), "error 13"}, {Variant("1726 56th Ave NE"), "error 13"},
      {Variant("5%"), "error 13"}, {V(1900, 1, 1), "2"}, {L(40000), "error 6"}};
  for (const Case& c : kToInteger) {
    EXPECT_EQ(Outcome([&] { return c.value.ToInteger(); }), c.want) << c.value.ToText();
  }
  const Case kToByteLong[] = {
      {Variant(true), "error 6"}, {Variant(-0.5), "0"}, {Variant("256"), "error 6"},
      {I(-1), "error 6"}};
  for (const Case& c : kToByteLong) {
    EXPECT_EQ(Outcome([&] { return c.value.ToByte(); }), c.want) << c.value.ToText();
  }
  EXPECT_EQ(Outcome([] { return Variant("1,000,000").ToLong(); }), "1000000");
  EXPECT_EQ(Outcome([] { return V(2004, 1, 15, 12).ToLong(); }), "38002");
  EXPECT_EQ(Outcome([] { return Variant("1e400").ToLong(); }), "error 6");

  const Case kToDouble[] = {
      {Variant(), "0"}, {kNull, "error 94"}, {Variant(0.1f), "0.10000000149011612"},
      {Variant("1,000.5"), "1000.5"}, {Variant(" -1.5E-3 "), "-0.0015"}, {Variant("1."), "1"},
      {Variant("1e"), "error 13"}, {Variant("- 5"), "error 13"}, {Variant(",5"), "error 13"},
      {Variant(""), "error 13"}, {V(2004, 1, 15, 9), "38001.375"}};
  for (const Case& c : kToDouble) {
    EXPECT_EQ(Outcome([&] { return c.value.ToDouble(); }), c.want) << c.value.ToText();
  }
  EXPECT_EQ(Outcome([] { return Variant(1e39).ToSingle(); }), "error 6");
  EXPECT_EQ(Outcome([] { return kNull.ToSingle(); }), "error 94");
  // A Single goes to text and back unchanged.
  EXPECT_EQ(Variant(Variant(7.3f).ToText()).ToSingle(), 7.3f);
  EXPECT_EQ(static_cast<float>(Variant(7.3f).NumericValueOfText()), 7.3f);
}

TEST(Variant, BooleanAndDateConversions) {
  const Case kToBoolean[] = {{Variant(), "false"},         {kNull, "error 94"},
                             {Variant(" TRUE "), "true"},  {Variant("false"), "false"},
                             {Variant("-1"), "true"},      {Variant("0.0"), "false"},
                             {Variant("yes"), "error 13"}, {Variant(0.5), "true"}};
  for (const Case& c : kToBoolean) {
    EXPECT_EQ(Outcome([&] { return c.value.ToBoolean(); }), c.want) << c.value.ToText();
  }
  const Case kToDate[] = {
      {Variant(), "1899-12-30"}, {kNull, "error 94"}, {Variant("13/12/2004"), "2004-12-13"},
      {Variant("1/15/2004 9:00 PM"), "2004-01-15 21:00:00"},
      {Variant("09:00:00"), "1899-12-30 09:00:00"}, {Variant("2003-02-29"), "error 13"},
      {Variant(-1.25), "1899-12-29 06:00:00"}, {Variant(1e10), "error 6"},
      {Variant(true), "1899-12-29"}};
  for (const Case& c : kToDate) {
    EXPECT_EQ(Outcome([&] { return c.value.ToDate(); }), c.want) << c.value.ToText();
  }
}

// A Decimal's text is canonical, so equal numbers are equal Decimals; a
// text that needs more than 28 digits, or is no number, is none.
TEST(Variant, DecimalTexts) {
  const std::pair<const char*, const char*> kCases[] = {
      {"0", "0"},          {"-0.000", "0"},     {"+1.50", "1.5"},
      {".5", "0.5"},       {"1E+20", "100000000000000000000"},
      {"-1.25e-3", "-0.00125"},
      {"792281625142643375935439503.3", "792281625142643375935439503.3"},
      {"0.0000000000000000000000000001", "0.0000000000000000000000000001"},
      {"79228162514264337593543950335.1", nullptr},  // 30 digits
      {"0.00000000000000000000000000001", nullptr},  // 29 decimals
      {"1.2.3", nullptr}, {"", nullptr}, {"-", nullptr}, {"1e", nullptr}, {"12a", nullptr},
      {"1e999", nullptr}};
  for (const auto& [text, want] : kCases) {
    const std::optional<Decimal> d = Decimal::Parse(text);
    if (want == nullptr) {
      EXPECT_FALSE(d) << text;
    } else {
      ASSERT_TRUE(d) << text;
      EXPECT_EQ(d->Text(), want) << text;
    }
  }
  EXPECT_EQ(Decimal::Parse("-0.0105")->Digits(), 3);
  EXPECT_EQ(Decimal::Parse("1200")->Digits(), 4);
}

// CCur rounds halves to even at the fourth decimal, from a Decimal's digits
// exactly; CDec reads a Double as its 15-digit text; an array of Bytes is no
// number.
TEST(Variant, CurrencyDecimalAndBytesConversions) {
  auto ccur = [](const Variant& v) {
    return Outcome([&] { return v.ToCurrency().scaled; });
  };
  EXPECT_EQ(ccur(Variant(*Decimal::Parse("0.00005"))), "0");
  EXPECT_EQ(ccur(Variant(*Decimal::Parse("0.00015"))), "2");
  EXPECT_EQ(ccur(Variant(*Decimal::Parse("0.000050001"))), "1");
  EXPECT_EQ(ccur(Variant(*Decimal::Parse("-922337203685477.5808"))), "-9.2233720368547758e+18");
  EXPECT_EQ(ccur(Variant(*Decimal::Parse("922337203685477.5808"))), "error 6");
  EXPECT_EQ(ccur(Variant(2.5)), "25000");
  EXPECT_EQ(ccur(Variant("1e30")), "error 6");
  EXPECT_EQ(ccur(kNull), "error 94");
  EXPECT_EQ(Variant(*Decimal::Parse("922337203685477.5807")).ToCurrency(),
            (Currency{INT64_MAX}));

  EXPECT_EQ(Variant(0.1).ToDecimal().Text(), "0.1");
  EXPECT_EQ(Variant(1e15).ToDecimal().Text(), "1000000000000000");
  EXPECT_EQ(Variant(Currency{12345}).ToDecimal().Text(), "1.2345");
  EXPECT_EQ(Variant(" 12.50 ").ToDecimal().Text(), "12.5");
  EXPECT_EQ(Outcome([] { return Variant("x").ToDecimal().Text(); }), "error 13");
  EXPECT_EQ(Outcome([] { return Variant(1e300).ToDecimal().Text(); }), "error 6");

  EXPECT_EQ(Variant(Currency{35000}).ToDouble(), 3.5);
  EXPECT_EQ(Variant(Currency{25000}).ToLong(), 2);
  EXPECT_EQ(Variant(*Decimal::Parse("-7.5")).ToInteger(), -8);
  EXPECT_EQ(Variant(*Decimal::Parse("3.25")).NumericValueOfText(), 3.25);
  const Variant bytes(std::vector<uint8_t>{1, 2, 3});
  EXPECT_EQ(Outcome([&] { return bytes.ToDouble(); }), "error 13");
  EXPECT_EQ(Outcome([&] { return bytes.ToBoolean(); }), "error 13");
  EXPECT_EQ(Outcome([&] { return bytes.ToCurrency().scaled; }), "error 13");
}

}  // namespace
}  // namespace tessaly::db
