// The class table of the in-process server: one ClassEntry per COM class it
// serves. This server has exactly one, the ASIO driver object "ASIODRV".
//
// Lifetime: static, constant. Threading: read-only.
//
//   for (int i = 0; i < g_asioClassCount; ++i)
//     if (*g_asioClassTable[i].clsid == rclsid) ...
#pragma once

#include "platform/WnCom.h"

class CUnknown;

// Creates the object for an outer unknown (may be null). Returns its
// non-delegating unknown (as CUnknown) or null when allocation failed; may
// store a failure in *hr.
using AsioCreateFunction = CUnknown* (*)(WnIUnknown* outer, WnHResult* hr);
// Called with true at process attach and false at detach.
using AsioClassInitFunction = void (*)(bool loading, const WnGuid* clsid);

struct ClassEntry {
  const char16_t* name;
  const WnGuid* clsid;
  AsioCreateFunction create;
  AsioClassInitFunction init;  // null: nothing is called
};

extern const ClassEntry g_asioClassTable[];
extern const int g_asioClassCount;
