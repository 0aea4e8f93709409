// The two gain scales the device controller converts between: the driver
// mixer's signed hundredths of a decibel and the WDM endpoint volume's 16.16
// fixed-point decibels.
//
// Pure functions; safe from any thread.
//
//   int32_t fixed = dravikHundredthsToFixed(-600);   // -6.00 dB in 16.16
//   int16_t back = dravikFixedToHundredths(fixed);   // -600
#pragma once

#include <cstdint>

// Gains below -90.00 dB and above +90.00 dB do not exist on the hardware.
constexpr int32_t DRAVIK_GAIN_MIN_HUNDREDTHS = -9000;
constexpr int32_t DRAVIK_GAIN_MAX_HUNDREDTHS = 9000;

// g x 65536 / 100, integer division rounding toward zero.
int32_t dravikHundredthsToFixed(int32_t hundredths);
// Minus infinity (0x80000000) gives -9000; otherwise g x 100 / 65536 with a
// 64-bit product, rounding toward zero, clamped to -9000 .. 9000.
int16_t dravikFixedToHundredths(int32_t fixed);
