#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "support/support.h"

namespace zelk {
namespace {

class NumberFormat : public ::testing::Test {
 protected:
  void SetUp() override { SetNumberSeparators(",", "."); }
  void TearDown() override { SetNumberSeparators(",", "."); }
};

TEST_F(NumberFormat, WholeNumbersGroupInThreesExactlyAcrossTheWholeRange) {
  EXPECT_EQ(FormatWholeNumber(0), "0");
  EXPECT_EQ(FormatWholeNumber(999), "999");
  EXPECT_EQ(FormatWholeNumber(1000), "1,000");
  EXPECT_EQ(FormatWholeNumber(-1234), "-1,234");
  EXPECT_EQ(FormatWholeNumber(-999), "-999");
  EXPECT_EQ(FormatWholeNumber(1234567), "1,234,567");
  EXPECT_EQ(FormatWholeNumber(100000), "100,000");
  EXPECT_EQ(FormatWholeNumber(std::numeric_limits<std::int64_t>::max()),
            "9,223,372,036,854,775,807");
  EXPECT_EQ(FormatWholeNumber(std::numeric_limits<std::int64_t>::min()),
            "-9,223,372,036,854,775,808");
  // Values near the top that a double cannot hold exactly.
  EXPECT_EQ(FormatWholeNumber(9007199254740993), "9,007,199,254,740,993");
}

TEST_F(NumberFormat, RoundingIsHalfAwayFromZero) {
  EXPECT_EQ(RoundToDecimals(2.5L, 0), 3.0L);
  EXPECT_EQ(RoundToDecimals(-2.5L, 0), -3.0L);
  EXPECT_EQ(RoundToDecimals(0.125L, 2), 0.13L);
  EXPECT_EQ(RoundToDecimals(-0.125L, 2), -0.13L);
  EXPECT_EQ(RoundToDecimals(2.4999L, 0), 2.0L);
  EXPECT_EQ(RoundToDecimals(1234.5L, -2), 1200.0L);
  EXPECT_EQ(FormatDecimals(1.875L, 2), "1.88");
  EXPECT_EQ(FormatDecimals(-1.875L, 2), "-1.88");
  EXPECT_EQ(FormatDecimals(6, 2), "6");
  EXPECT_EQ(FormatDecimals(0.5L, 2), "0.5");
  EXPECT_EQ(FormatDecimals(0.375L, 2), "0.38");
  EXPECT_EQ(FormatDecimals(0.001L, 2), "0");
}

TEST_F(NumberFormat, GeneralFormatDropsTrailingZerosAndSwitchesToExponentAtTheEdges) {
  EXPECT_EQ(FormatGeneral(0), "0");
  EXPECT_EQ(FormatGeneral(-0.0L), "0");
  EXPECT_EQ(FormatGeneral(1.5L), "1.5");
  EXPECT_EQ(FormatGeneral(100), "100");
  EXPECT_EQ(FormatGeneral(-12.25L), "-12.25");
  EXPECT_EQ(FormatGeneral(1.0L / 3), "0.333333333333333");
  EXPECT_EQ(FormatGeneral(0.00001L), "0.00001");
  EXPECT_EQ(FormatGeneral(0.000001L), "1E-6");
  EXPECT_EQ(FormatGeneral(1.5e-7L), "1.5E-7");
  EXPECT_EQ(FormatGeneral(999999999999999.0L), "999999999999999");
  EXPECT_EQ(FormatGeneral(1e15L), "1E15");
  EXPECT_EQ(FormatGeneral(-2.5e20L), "-2.5E20");
  // Rounding to 15 digits carries into a new leading digit.
  EXPECT_EQ(FormatGeneral(9.9999999999999999L), "10");
}

TEST_F(NumberFormat, OtherSeparatorsAreUsedAsGiven) {
  SetNumberSeparators(".", ",");
  EXPECT_EQ(FormatWholeNumber(-1234567), "-1.234.567");
  EXPECT_EQ(FormatDecimals(1.875L, 2), "1,88");
  EXPECT_EQ(FormatGeneral(1.5e-7L), "1,5E-7");
  // A separator of several bytes: the narrow no-break space in UTF-8.
  SetNumberSeparators("\xE2\x80\xAF", ",");
  EXPECT_EQ(FormatWholeNumber(2048),
            "2\xE2\x80\xAF"
            "048");
  SetNumberSeparators("'", ".");
  EXPECT_EQ(FormatWholeNumber(1000000), "1'000'000");
}

TEST(NumberHelpers, FractionalPartAndMinimum) {
  EXPECT_EQ(FractionalPart(2.25L), 0.25L);
  EXPECT_EQ(FractionalPart(-2.25L), 0.75L);
  EXPECT_EQ(FractionalPart(7), 0.0L);
  EXPECT_EQ(MinInt64(-5, 3), -5);
  EXPECT_EQ(MinInt64(std::numeric_limits<std::int64_t>::min(), 0),
            std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(MinInt64(4000000000LL, 3000000000LL), 3000000000LL);
}

}  // namespace
}  // namespace zelk
