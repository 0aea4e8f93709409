// The names tovix8ctl prints for the driver's notification codes
// 3001..3060 (DRAVIK_NOTIFY_* without the prefix).
//
// Threading: pure functions over a constant table.
//
//   ctlNotificationName(3011)  // "SAMPLE_RATE_CHANGED"
#pragma once

#include <cstdint>

// The name, or "UNKNOWN" for a code outside the table.
const char* ctlNotificationName(uint32_t code);
