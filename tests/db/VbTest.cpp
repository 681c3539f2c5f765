#include "tessaly/db/Vb.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "support/TestDb.h"
#include "tessaly/Error.h"

namespace tessaly::vb {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr int kOvf = errnum::kOverflow;

// The error number a call raises, or 0.
int32_t ErrorOf(const std::function<void()>& f) { return tessaly::testing::Caught(f).number(); }

// Blanks, tabs and line feeds anywhere are dropped first (a CR stops the
// scan); the scan ends at the first character that continues no number; a
// dangling exponent ends the number; 16-bit &H/&O literals are signed.
TEST(Val, ReadsTheLeadingNumber) {
  const std::pair<const char*, double> kCases[] = {{"", 0},
                                                   {" 2 45 7", 2457},
                                                   {"\t1\n2", 12},
                                                   {"1\r2", 1},
                                                   {"- 5", -5},
                                                   {"24 and 57", 24},
                                                   {"1,000", 1},
                                                   {"$5", 0},
                                                   {"+-5", 0},
                                                   {"-.5", -0.5},
                                                   {"1.2.3", 1.2},
                                                   {"1 e 3", 1000},
                                                   {"1D-2", 0.01},
                                                   {"12e", 12},
                                                   {"12e+", 12},
                                                   {"1e-400", 0},
                                                   {"1000e-310", 1e-307},
                                                   {"&HFFFF", -1},
                                                   {"&hff", 255},
                                                   {"&H8000", -32768},
                                                   {"&H F", 15},
                                                   {"&H10000", 65536},
                                                   {"&HFFFFFFFF", -1},
                                                   {"&HFFFF&", 65535},
                                                   {"&o177777", -1},
                                                   {"&O8", 0},
                                                   {"&X1", 0},
                                                   {"50%", 50},
                                                   {"-32768%", -32768},
                                                   {"1.5!", 1.5},
                                                   {"2.5@abc", 2.5}};
  for (auto [text, want] : kCases) EXPECT_EQ(Val(text), want) << '"' << text << '"';
  EXPECT_FALSE(std::signbit(Val("-0")));

  // "1.79769313486232E+308" is the 15-digit text of the largest Double.
  const std::pair<const char*, int> kErrors[] = {
      {"-1e400", kOvf},      {"0.1e310", kOvf},  {"1.79769313486232E+308", kOvf},
      {"&H100000000", kOvf}, {"&H10000%", kOvf}, {"32768%", kOvf},
      {"50.5%", 13},         {"1e3&", 13}};
  for (auto [text, error] : kErrors) {
    EXPECT_EQ(ErrorOf([&] { Val(text); }), error) << '"' << text << '"';
  }
}

TEST(RoundHalfEven, TiesGoToTheEvenNeighbour) {
  const std::pair<double, double> kCases[] = {{0.5, 0},
                                              {1.5, 2},
                                              {2.5, 2},
                                              {-0.5, 0},
                                              {-1.5, -2},
                                              {-2.5, -2},
                                              {-2.6, -3},
                                              {0.49999999999999994, 0},
                                              {4503599627370495.5, 4503599627370496}};
  for (auto [value, want] : kCases) {
    EXPECT_EQ(RoundHalfEven(value), want) << value;
    EXPECT_FALSE(std::signbit(RoundHalfEven(value)) && want == 0) << value;
  }
}

TEST(WholeConversions, RoundThenCheckTheRange) {
  struct Case {
    char fn;  // 'I' CInt, 'B' CByte, 'L' CLng
    double value;
    double want;  // NaN: error 6
  };
  const Case kCases[] = {{'I', 32767.4, 32767},
                         {'I', 32767.5, kNaN},
                         {'I', -32768.5, -32768},
                         {'I', -32768.51, kNaN},
                         {'I', kNaN, kNaN},
                         {'B', -0.5, 0},
                         {'B', -0.51, kNaN},
                         {'B', 255.5, kNaN},
                         {'B', kInf, kNaN},
                         {'L', 2147483647.5, kNaN},
                         {'L', -2147483648.5, -2147483648.0},
                         {'L', 2147483646.5, 2147483646}};
  for (const Case& c : kCases) {
    double got = 0;
    int32_t error = ErrorOf([&] {
      got = c.fn == 'I' ? CInt(c.value) : c.fn == 'B' ? CByte(c.value) : CLng(c.value);
    });
    EXPECT_EQ(error, std::isnan(c.want) ? kOvf : 0) << c.fn << " " << c.value;
    if (!std::isnan(c.want)) {
      EXPECT_EQ(got, c.want) << c.fn << " " << c.value;
    }
  }
}

TEST(WholeConversions, CSngOverflowsPastTheLargestSingle) {
  EXPECT_EQ(CSng(0.1), 0.1f);
  EXPECT_EQ(CSng(-std::nextafter(0x1.ffffffp127, 0.0)), -FLT_MAX);  // still rounds down
  for (double value : {0x1.ffffffp127, -1e39, kInf, kNaN}) {
    EXPECT_EQ(ErrorOf([&] { CSng(value); }), kOvf) << value;
  }
}

// 999999999999999.5 rounds to 15 digits past the switch point; the Single
// 7.3 prints from its own 7 digits, not from the widened 7.30000019073486.
TEST(NumberText, FifteenAndSevenDigits) {
  const std::pair<double, const char*> kDoubles[] = {
      {-0.0, "0"},
      {-2.5, "-2.5"},
      {0.1 + 0.2, "0.3"},
      {2.0 / 3, "0.666666666666667"},
      {999999999999999.4, "999999999999999"},
      {999999999999999.5, "1E+15"},
      {-1234567890123456, "-1.23456789012346E+15"},
      {std::nextafter(0.0001, 0.0), "0.0001"},
      {0.000015, "1.5E-05"},
      {1e100, "1E+100"},
      {DBL_MAX, "1.79769313486232E+308"},
      {static_cast<double>(0.1f), "0.100000001490116"}};
  for (auto [value, want] : kDoubles) EXPECT_EQ(DoubleText(value), want) << value;
  const std::pair<float, const char*> kSingles[] = {{7.3f, "7.3"},
                                                    {1.0f / 3, "0.3333333"},
                                                    {9999999.0f, "9999999"},
                                                    {1e7f, "1E+07"},
                                                    {12345678.0f, "1.234568E+07"},
                                                    {0.00001f, "1E-05"},
                                                    {FLT_MAX, "3.402823E+38"}};
  for (auto [value, want] : kSingles) EXPECT_EQ(SingleText(value), want) << value;
  EXPECT_EQ(static_cast<float>(Val(SingleText(7.3f))), 7.3f);
}

// Between 10^-4 and 10^7 a Single's text is C's seven-digit %g, with its
// trailing zeros dropped: the few-decimal values a record holds (written a
// short way) and every other Single there alike.
TEST(NumberText, SinglesOfFewDecimalsAsEveryOther) {
  std::vector<float> values;
  for (int n = 1; n <= 300000; n += 7) {
    for (float scale : {1e-4F, 1e-2F, 0.5F, 1.0F, 25.0F})
      values.push_back(static_cast<float>(n) * scale);
  }
  std::mt19937 random(11);
  for (int i = 0; i < 100000; ++i) {
    values.push_back(std::uniform_real_distribution<float>(1e-4F, 1e7F)(random));
    values.push_back(static_cast<float>(random() % 100000000) / 10000.0F);
  }
  for (float v : {0.0001F, 9999999.0F, 9999999.5F, 0.00015F, 1234.5678F, 0.1F, 7.5F, 8.0F}) {
    values.push_back(v);
  }
  int checked = 0;
  for (const float v : values) {
    if (!(v >= 1e-4F && v < 1e7F)) continue;
    for (const float signed_value : {v, -v}) {
      char expected[32];
      std::snprintf(expected, sizeof expected, "%.7g", static_cast<double>(signed_value));
      std::string want = expected;
      if (const size_t e = want.find('e'); e != std::string::npos) {
        want = (want.substr(0, e) + "E" + want.substr(e + 1));  // 9999999.5 rounds up to 1e+07
      }
      ASSERT_EQ(SingleText(signed_value), want) << signed_value;
      ++checked;
    }
  }
  EXPECT_GT(checked, 400000);
}

}  // namespace
}  // namespace tessaly::vb
