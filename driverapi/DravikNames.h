// Copying of the wide names the driver objects keep (driver name, device
// name): at most capacity - 1 characters, always terminated.
#pragma once

#include <cstddef>

inline void dravikCopyName(char16_t* out, size_t capacity, const char16_t* name) {
  size_t n = 0;
  for (; name && name[n] && n + 1 < capacity; ++n) out[n] = name[n];
  out[n] = 0;
}
