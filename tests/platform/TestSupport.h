// Helpers for the platform tests that differ between the backends: a window
// that records its messages, delivery of a device-change message to a
// window, and running this test executable again as a child process.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/WnDeviceNotification.h"
#include "platform/WnTypes.h"

namespace wntest {

struct RecordedMessage {
  uint32_t message;
  uintptr_t wParam;
  intptr_t lParam;
  bool hasHeader;
  WnDeviceInterfaceBroadcast header;  // copied when message is WN_WM_DEVICECHANGE
};

// A window owned by the creating thread. Win32: a message-only window whose
// queue waitFor pumps. POSIX: a WnMessageTarget that records posts.
class RecordingWindow {
public:
  RecordingWindow();
  ~RecordingWindow();
  RecordingWindow(const RecordingWindow&) = delete;
  RecordingWindow& operator=(const RecordingWindow&) = delete;

  WnWindow window() const;
  // Pumps (Win32) or waits until at least n messages of that code arrived;
  // false on time-out.
  bool waitFor(uint32_t message, size_t n, uint32_t timeoutMs);
  // Pumps for the given time without waiting for anything (Win32).
  void pump(uint32_t ms);
  size_t count(uint32_t message) const;
  std::vector<RecordedMessage> messages() const;

  struct Impl;

private:
  Impl* impl_;
};

// Sends a device-change message to a window as the system would deliver it
// (SendMessageW on Win32; wnPostMessage on POSIX, whose targets copy the
// header). Returns 0 or the error code.
uint32_t deliverDeviceChange(WnWindow window, uint32_t eventType, const void* header);

// Runs this test executable as a child process with the environment variable
// TOVIX8_TEST_CHILD set to action; the child's static initialisers see it
// (childAction). Returns the child's exit code, or -1 when it could not run.
int runSelfAsChild(const std::string& action);
// The action this process was started for, or empty.
std::string childAction();

// A name unique to this process and call, for named objects and test keys.
std::u16string uniqueName(const char* prefix);

}  // namespace wntest
