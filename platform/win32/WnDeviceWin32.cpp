// Device notifications and the notificator's hidden window on Win32:
// RegisterDeviceNotificationW and a real window class of the notificator's
// own, whose procedure forwards to WnPnPNotificator::handleMessage.
#include <windows.h>
#include <dbt.h>

#include "platform/WnDeviceNotification.h"
#include "platform/WnMessageTarget.h"
#include "platform/detail/WnBackend.h"
#include "platform/win32/WnSimulatedDeviceEvents.h"

static_assert(sizeof(WnDeviceInterfaceBroadcast) == sizeof(DEV_BROADCAST_DEVICEINTERFACE_W));
static_assert(WN_WM_DEVICECHANGE == WM_DEVICECHANGE && WN_WM_CLOSE == WM_CLOSE && WN_WM_DESTROY == WM_DESTROY);
static_assert(WN_DBT_DEVICEARRIVAL == DBT_DEVICEARRIVAL && WN_DBT_DEVICEREMOVECOMPLETE == DBT_DEVICEREMOVECOMPLETE);
static_assert(WN_DBT_DEVTYP_DEVICEINTERFACE == DBT_DEVTYP_DEVICEINTERFACE && WN_DBT_DEVTYP_VOLUME == DBT_DEVTYP_VOLUME);

namespace {

uint32_t lastErrorOr(uint32_t fallback) {
  DWORD e = GetLastError();
  return e ? e : fallback;
}

// Looks the notificator up in the window's user data; the default procedure
// while none is attached (during creation).
LRESULT CALLBACK notificatorWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<WnPnPNotificator*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return DefWindowProcW(hwnd, msg, wParam, lParam);
  return self->handleMessage(hwnd, msg, wParam, lParam);
}

}  // namespace

uint32_t WnPnPNotificator::run() {
  wn::detail::formatWithIds(className_, "PnPNotificatorWndCls_");
  wn::detail::formatWithIds(windowName_, "PnPNotificator_HiddenWindow_");
  const auto* cls = reinterpret_cast<const wchar_t*>(className_);
  const auto* title = reinterpret_cast<const wchar_t*>(windowName_);
  HINSTANCE instance = static_cast<HINSTANCE>(instance_);

  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = notificatorWndProc;
  wc.hInstance = instance;
  wc.lpszClassName = cls;
  HWND hwnd = nullptr;
  if (!RegisterClassExW(&wc)) {
    startResult_ = lastErrorOr(ERROR_CLASS_ALREADY_EXISTS);
  } else {
    hwnd = CreateWindowExW(0, cls, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                           CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
    if (!hwnd) {
      // Without a display (Wine on a headless machine) a top-level window
      // cannot be created; a message-only window receives the registered
      // device notifications as well.
      const DWORD topLevelError = GetLastError();
      hwnd = CreateWindowExW(0, cls, title, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
      if (!hwnd) SetLastError(topLevelError);
    }
    if (!hwnd) {
      startResult_ = lastErrorOr(ERROR_INVALID_WINDOW_HANDLE);
      UnregisterClassW(cls, instance);
    } else {
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
      window_ = hwnd;
      startResult_ = 0;
    }
  }
  readyEvent_.set();
  if (startResult_ != 0) return 0;

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  window_ = nullptr;
  UnregisterClassW(cls, instance);
  return 0;
}

uint32_t wnRaiseDeviceInterfaceEvent(const WnGuid&, uint32_t) { return WN_ERROR_NOT_SUPPORTED; }

uint32_t wnPostMessage(WnWindow window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (!window) return WN_ERROR_INVALID_HANDLE;
  return PostMessageW(static_cast<HWND>(window), message, wParam, lParam) ? 0 : lastErrorOr(ERROR_INVALID_HANDLE);
}

namespace wn::detail {

uint32_t registerDeviceNotification(int kind, void* recipient, const WnDeviceInterfaceBroadcast& filter,
                                    void** notifyHandle) {
  DEV_BROADCAST_DEVICEINTERFACE_W f;
  static_assert(sizeof f == sizeof filter);
  CopyMemory(&f, &filter, sizeof f);
  const DWORD flags = kind == 0 ? DEVICE_NOTIFY_WINDOW_HANDLE : DEVICE_NOTIFY_SERVICE_HANDLE;
  HDEVNOTIFY h = RegisterDeviceNotificationW(recipient, &f, flags);
  *notifyHandle = h;
  if (h) simulatedEventsRegistered(kind, recipient, filter.classGuid, h);  // the simulated driver's feed, if opted in
  return h ? 0 : lastErrorOr(ERROR_INVALID_HANDLE);
}

void unregisterDeviceNotification(void* notifyHandle) {
  if (notifyHandle) simulatedEventsUnregistered(notifyHandle);
  if (notifyHandle) UnregisterDeviceNotification(static_cast<HDEVNOTIFY>(notifyHandle));
}

intptr_t defWindowProc(WnWindow window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return DefWindowProcW(static_cast<HWND>(window), message, wParam, lParam);
}

void postQuitMessage(int exitCode) { PostQuitMessage(exitCode); }

void destroyNotificatorBackend(void*) {}

}  // namespace wn::detail
