#include "service/GainConversion.h"

#include "driverapi/DravikMixerRecords.h"

int32_t dravikHundredthsToFixed(int32_t hundredths) {
  return static_cast<int32_t>(static_cast<int64_t>(hundredths) * 65536 / 100);
}

int16_t dravikFixedToHundredths(int32_t fixed) {
  if (fixed == DRAVIK_ENDPOINT_GAIN_MINUS_INFINITY) return static_cast<int16_t>(DRAVIK_GAIN_MIN_HUNDREDTHS);
  int64_t value = static_cast<int64_t>(fixed) * 100 / 65536;
  if (value < DRAVIK_GAIN_MIN_HUNDREDTHS) value = DRAVIK_GAIN_MIN_HUNDREDTHS;
  if (value > DRAVIK_GAIN_MAX_HUNDREDTHS) value = DRAVIK_GAIN_MAX_HUNDREDTHS;
  return static_cast<int16_t>(value);
}
