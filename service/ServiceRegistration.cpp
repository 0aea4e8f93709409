#include "service/ServiceRegistration.h"

#include "service/WideFormat.h"

bool formatServiceImagePath(char16_t* out, size_t capacity, const char16_t* modulePath) {
  const size_t length = wideFormat(out, capacity, u"\"%s\" %s", modulePath, TOVIX8_SERVICE_SWITCH);
  if (length + 1 > capacity) {
    if (out && capacity > 0) out[0] = 0;
    return false;
  }
  return true;
}
