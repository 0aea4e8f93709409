// The two gain conversions between the mixer's hundredths of a decibel and
// the endpoint volume's 16.16 decibels.
#include <gtest/gtest.h>

#include <cstdint>

#include "service/GainConversion.h"

namespace {

struct FixedCase {
  int32_t fixed;
  int16_t hundredths;
};

TEST(GainConversion, FixedToHundredths) {
  const FixedCase cases[] = {
      {INT32_MIN, -9000},             // minus infinity
      {100 << 16, 9000},              // +100 dB is limited to +90 dB
      {-(100 << 16), -9000},          // so is -100 dB
      {0x00060000, 600},              // +6 dB
      {-(6 << 16), -600},
      {0, 0},
      {0x00008000, 50},               // +0.5 dB
      {655, 0},                       // 0.0099.. dB rounds toward zero
      {-655, 0},
      {656, 1},
      {-656, -1},
      {90 << 16, 9000},
      {(90 << 16) + 1, 9000},
      {INT32_MAX, 9000},
      {INT32_MIN + 1, -9000},         // not minus infinity, but far below the range
  };
  for (const FixedCase& c : cases) EXPECT_EQ(c.hundredths, dravikFixedToHundredths(c.fixed)) << c.fixed;
}

TEST(GainConversion, HundredthsToFixed) {
  const FixedCase cases[] = {
      {-3932160, -6000},
      {0x00060000, 600},
      {0, 0},
      {655, 1},       // 65536 / 100 rounds toward zero
      {-655, -1},
      {-9000 * 65536 / 100, -9000},
      {INT16_MAX * 65536 / 100, INT16_MAX},
      {INT16_MIN * 65536 / 100, INT16_MIN},
  };
  for (const FixedCase& c : cases) EXPECT_EQ(c.fixed, dravikHundredthsToFixed(c.hundredths)) << c.hundredths;
}

}  // namespace
