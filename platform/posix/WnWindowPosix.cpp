// Window messages on POSIX: a WnWindow is a WnMessageTarget*.
#include "platform/WnMessageTarget.h"

uint32_t wnPostMessage(WnWindow window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (!window) return WN_ERROR_INVALID_HANDLE;
  static_cast<WnMessageTarget*>(window)->post(message, wParam, lParam);
  return 0;
}
