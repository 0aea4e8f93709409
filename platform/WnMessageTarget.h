// Window messages, portably. On Win32 a WnWindow is an HWND and wnPostMessage
// is PostMessageW. On POSIX a WnWindow is a WnMessageTarget* and wnPostMessage
// calls its post() (from any thread; the target queues the message for its
// own thread).
#pragma once

#include "platform/WnTypes.h"

constexpr uint32_t WN_WM_APP = 0x8000;
constexpr uint32_t WN_WM_DEVICECHANGE = 0x0219;

class WnMessageTarget {
public:
  virtual ~WnMessageTarget() = default;
  virtual void post(uint32_t message, uintptr_t wParam, intptr_t lParam) = 0;
};

// 0 or the error code (WN_ERROR_INVALID_HANDLE for a null window).
uint32_t wnPostMessage(WnWindow window, uint32_t message, uintptr_t wParam, intptr_t lParam);
