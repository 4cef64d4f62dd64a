#include "layer/NumberText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace {

using layer::FormatReal;
using layer::TextToInteger;
using layer::TextToReal;

struct IntegerCase {
  std::string text;
  std::int32_t value;
};

TEST(TextToInteger, AcceptsDecimalAndHexadecimalForms) {
  // clang-format off
  const IntegerCase cases[] = {
      {"0", 0}, {"  42", 42}, {"	7", 7}, {" 	 8", 8}, {"+5", 5}, {"-5", -5}, {"-0", 0},
      {"2147483647", 2147483647}, {"-2147483648", std::numeric_limits<std::int32_t>::min()},
      {"0000000000012", 12}, {"$10", 16}, {"x1f", 31}, {"X1F", 31}, {"  $a", 10},
      {"0x7FFFFFFF", 2147483647}, {"0X80000000", std::numeric_limits<std::int32_t>::min()},
      {"$FFFFFFFF", -1}, {"$00000000FF", 255},
      {" 300", 300}, {"  30", 30}, {" 20", 20}, {"  1", 1}};  // the relief program's presets
  // clang-format on
  for (const auto& [text, expected] : cases) {
    std::int32_t value = 99, code = 99;
    TextToInteger(text, value, code);
    EXPECT_EQ(code, 0) << '"' << text << '"';
    EXPECT_EQ(value, expected) << '"' << text << '"';
  }
}

struct RejectCase {
  std::string text;
  std::int32_t code;
};

TEST(TextToInteger, RejectsWithThePositionWhereConversionStops) {
  // clang-format off
  const RejectCase cases[] = {
      {"", 1}, {"   ", 4}, {"-", 2}, {"+", 2}, {"$", 2}, {"0x", 3}, {"12 ", 3}, {"1 2", 2},
      {"1,5", 2}, {"1.5", 2}, {"1e3", 2}, {"12a", 3}, {"abc", 1}, {"  -  1", 4}, {"00x10", 3},
      {"&17", 1}, {"-$10", 2}, {"+x1", 2}, {"$-1", 2}, {"0x-1", 3}, {"$1g", 3}, {"0x1 ", 4},
      {"1\n", 2}, {std::string("1\0", 2), 2},
      {"\xb2", 1},  // a Latin-1 superscript two is no digit
      // Out of range: the digit that leaves the range.
      {"2147483648", 10}, {"-2147483649", 11}, {"99999999999", 10}, {"$100000000", 10},
      {"0x123456789", 11}};
  // clang-format on
  for (const auto& [text, expected] : cases) {
    std::int32_t value = 99, code = 0;
    TextToInteger(text, value, code);
    EXPECT_EQ(code, expected) << '"' << text << '"';
  }
}

struct RealCase {
  std::string text;
  double value;
};

TEST(TextToReal, AcceptsSignsPointsAndExponents) {
  // clang-format off
  const RealCase cases[] = {
      {"0", 0.0}, {"2.5", 2.5}, {"   2.00", 2.0}, {"   5.00", 5.0}, {"  300", 300.0},
      {"-1.5", -1.5}, {"+1.5", 1.5}, {"	3", 3.0}, {"5.", 5.0}, {".5", 0.5}, {"-.5", -0.5},
      {"1e3", 1000.0}, {"1E+3", 1000.0}, {"2.5e-1", 0.25}, {"5.e1", 50.0}, {"0.1", 0.1},
      {"1.7976931348623157e308", std::numeric_limits<double>::max()},
      {"4.9406564584124654e-324", std::numeric_limits<double>::denorm_min()},
      {"1e-999", 0.0},  // underflow is a finite, correctly rounded 0
      {"000000000000000000000000000001", 1.0}};
  // clang-format on
  for (const auto& [text, expected] : cases) {
    double value = 99;
    std::int32_t code = 99;
    TextToReal(text, value, code);
    EXPECT_EQ(code, 0) << '"' << text << '"';
    EXPECT_EQ(value, expected) << '"' << text << '"';
  }
}

TEST(TextToReal, RejectsWithThePositionWhereConversionStops) {
  std::string tooLarge(310, '0');  // 1e309, in digits
  tooLarge[0] = '1';
  // clang-format off
  const RejectCase cases[] = {
      {"", 1}, {"  ", 3}, {".", 2}, {"-", 2}, {"1e", 3}, {"1e+", 4}, {"1ex", 3}, {"1,5", 2},
      {"2.5 ", 4}, {"inf", 1}, {"nan", 1}, {"0x10", 2}, {"1..2", 3}, {".e1", 2}, {"1e1.5", 4},
      {"1 e1", 2}, {"$1", 1}, {"+-1", 2}, {"1d3", 2}, {"--1", 2},
      // Overflow: at the exponent, or at the first digit when there is none.
      {"1e999", 2}, {"-1e999", 3}, {" 1.5e400", 5}, {tooLarge, 1}};
  // clang-format on
  for (const auto& [text, expected] : cases) {
    double value = 99;
    std::int32_t code = 0;
    TextToReal(text, value, code);
    EXPECT_EQ(code, expected) << '"' << text << '"';
  }
}

TEST(TextToReal, NegativeZeroKeepsItsSign) {
  double value = 1;
  std::int32_t code = 1;
  TextToReal("-0.0", value, code);
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(std::signbit(value));
}

struct FormatCase {
  double value, format;
  std::string text;
};

TEST(FormatReal, RightAlignsInTheFieldTheFormatGives) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  // clang-format off
  const FormatCase cases[] = {
      {300, 4.0, " 300"}, {20, 3.0, " 20"}, {2.0, 3.2, "   2.00"}, {5.0, 3.2, "   5.00"},
      {1, 3.0, "  1"}, {2.5, 3.0, "  2"}, {3.5, 3.0, "  4"}, {-2.5, 0.0, "-2"}, {-0.4, 2.0, " 0"},
      {2.0, 4.3, "    2.000"}, {1.0, 0.96, "1.0000000000"},
      {0.125, 0.2, "0.12"}, {0.375, 0.2, "0.38"}, {2.675, 0.2, "2.67"},  // the binary value
      {123456, 2.0, "123456"}, {-1234.5678, 1.1, "-1234.6"},              // never cut
      {2, -3.0, "2"}, {2, -3.3, "2"}, {7, nan, "7"},
      {1e300, 0.0, "1e+300"}, {nan, 4.0, " NaN"}, {inf, 4.0, " Inf"}, {-inf, 0.0, "-Inf"}};
  // clang-format on
  for (const auto& [value, format, text] : cases) {
    EXPECT_EQ(FormatReal(value, format), text) << value << " in " << format;
  }
}

TEST(FormatReal, NeverReturnsMoreThan255Characters) {
  const double inf = std::numeric_limits<double>::infinity();
  const double max = std::numeric_limits<double>::max();
  const struct {
    double value, format;
  } cases[] = {{1, 1e9}, {1, inf}, {1, 250.9}, {-max, 0.9}, {max, 300.0}, {-max, 0.0}};
  for (const auto& [value, format] : cases) {
    const std::string text = FormatReal(value, format);
    EXPECT_LE(text.size(), 255u) << value << " in " << format;
    EXPECT_NE(text.back(), ' ');
  }
  std::string widest(255, ' ');
  widest.back() = '1';
  EXPECT_EQ(FormatReal(1, 1e9), widest);
}

TEST(FormatReal, HugeValuesStillReadBackExactly) {
  for (const double value : {std::numeric_limits<double>::max(), -1e250, 3e245}) {
    for (const double format : {0.0, 0.2, 0.9, 20.5}) {
      double back = 0;
      std::int32_t code = 1;
      TextToReal(FormatReal(value, format), back, code);
      EXPECT_EQ(code, 0);
      EXPECT_EQ(back, value) << value << " in " << format;
    }
  }
}

TEST(FormatReal, PresetsOfTheReliefProgramReadBackUnchanged) {
  for (const auto& [value, format] : {std::pair{300, 4.0}, {30, 4.0}, {20, 3.0}, {1, 3.0}}) {
    std::int32_t back = 0, code = 1;
    TextToInteger(FormatReal(value, format), back, code);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(back, value);
  }
  for (const double value : {2.0, 5.0}) {
    double back = 0;
    std::int32_t code = 1;
    TextToReal(FormatReal(value, 3.2), back, code);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(back, value);
  }
}

}  // namespace
