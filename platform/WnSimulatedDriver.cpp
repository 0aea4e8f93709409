// The portable part of the simulated-driver opt-in: reading the value and
// the device-event record.
#include "platform/WnSimulatedDriver.h"

#include <cstring>

#include "platform/WnDeviceNotification.h"
#include "platform/WnRegistryKey.h"

uint32_t wnSimulatedDriverPipe(char16_t (&out)[WN_PIPE_NAME_CHARS]) {
  out[0] = 0;
  WnRegistryKey key;
  if (uint32_t err = key.openExisting(wnHkeyLocalMachine(), WN_SIMULATED_DRIVER_KEY, WN_KEY_READ)) return err;
  char16_t text[WN_PIPE_NAME_CHARS] = {};
  uint32_t size = sizeof text - sizeof(char16_t);  // keeps a terminator in any case
  uint32_t type = WN_REG_NONE;
  const uint32_t err = key.readRaw(WN_SIMULATED_DRIVER_VALUE, text, size, &type);
  if (err == WN_ERROR_MORE_DATA) return WN_ERROR_BAD_FORMAT;
  if (err) return err;
  if (type != WN_REG_SZ || size < sizeof(char16_t) || size % sizeof(char16_t) != 0) return WN_ERROR_BAD_FORMAT;
  text[size / sizeof(char16_t)] = 0;
  if (!text[0] || !wnFormatPipePath(text, out)) {
    out[0] = 0;
    return WN_ERROR_BAD_FORMAT;
  }
  return 0;
}

bool wnDerivedPipePath(const char16_t* pipe, const char16_t* suffix, char16_t (&out)[WN_PIPE_NAME_CHARS]) {
  if (!wnFormatPipePath(pipe, out)) return false;
  size_t n = 0;
  while (out[n]) ++n;
  for (const char16_t* p = suffix; p && *p; ++p) {
    if (n + 1 >= WN_PIPE_NAME_CHARS) {
      out[0] = 0;
      return false;
    }
    out[n++] = *p;
  }
  out[n] = 0;
  return true;
}

WnDeviceEventRecord wnMakeDeviceEventRecord(uint32_t eventType, const WnGuid& classGuid, const char16_t* name) {
  WnDeviceEventRecord r;
  std::memset(&r, 0, sizeof r);
  r.magic = WN_DEVICE_EVENT_MAGIC;
  r.size = sizeof r;
  r.eventType = eventType;
  r.classGuid = classGuid;
  for (size_t i = 0; name && name[i] && i + 1 < WN_DEVICE_EVENT_NAME_CHARS; ++i) r.name[i] = name[i];
  return r;
}

bool wnIsValidDeviceEventRecord(const WnDeviceEventRecord& r) {
  if (r.magic != WN_DEVICE_EVENT_MAGIC || r.size != sizeof r) return false;
  if (r.eventType != WN_DBT_DEVICEARRIVAL && r.eventType != WN_DBT_DEVICEREMOVECOMPLETE) return false;
  for (char16_t c : r.name)
    if (c == 0) return true;
  return false;
}
