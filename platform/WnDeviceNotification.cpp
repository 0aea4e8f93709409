// WnDeviceNotificationList and the portable part of WnPnPNotificator (start,
// stop, registration and the window procedure); the hidden window itself and
// its message loop are the backend's (run).
#include "platform/WnDeviceNotification.h"

#include <cstdio>

#include "platform/WnMessageTarget.h"
#include "platform/WnWait.h"
#include "platform/detail/WnBackend.h"

namespace detail = wn::detail;

// ---- WnDeviceNotificationList ----

struct WnDeviceNotificationList::Registration {
  WnGuid classGuid;
  void* notifyHandle;
  Registration* prev;
  Registration* next;
};

namespace {

constexpr int kWindowRecipient = 0;
constexpr int kServiceRecipient = 1;

WnDeviceInterfaceBroadcast makeFilter(const WnGuid& classGuid) {
  WnDeviceInterfaceBroadcast f{};
  f.size = sizeof f;
  f.deviceType = WN_DBT_DEVTYP_DEVICEINTERFACE;
  f.reserved = 0;
  f.classGuid = classGuid;
  return f;
}

}  // namespace

namespace wn::detail {
void formatWithIds(char16_t (&out)[80], const char* prefix) {
  char buf[80];
  std::snprintf(buf, sizeof buf, "%s%u_%u", prefix, static_cast<unsigned>(wnCurrentProcessId()),
                static_cast<unsigned>(wnCurrentThreadId()));
  size_t i = 0;
  for (; buf[i] && i < 79; ++i) out[i] = static_cast<char16_t>(static_cast<unsigned char>(buf[i]));
  out[i] = 0;
}
}  // namespace wn::detail

WnDeviceNotificationList::WnDeviceNotificationList() = default;

WnDeviceNotificationList::~WnDeviceNotificationList() { removeAll(); }

uint32_t WnDeviceNotificationList::addForWindow(WnWindow window, const WnGuid& classGuid) {
  if (!window) return WN_ERROR_INVALID_HANDLE;
  void* h = nullptr;
  if (uint32_t err = detail::registerDeviceNotification(kWindowRecipient, window, makeFilter(classGuid), &h)) return err;
  WnLockGuard guard(lock_);
  auto* r = new Registration{classGuid, h, tail_, nullptr};
  (tail_ ? tail_->next : head_) = r;
  tail_ = r;
  return 0;
}

uint32_t WnDeviceNotificationList::addForService(WnServiceStatusHandle status, const WnGuid& classGuid) {
  if (!status) return WN_ERROR_INVALID_HANDLE;
  void* h = nullptr;
  if (uint32_t err = detail::registerDeviceNotification(kServiceRecipient, status, makeFilter(classGuid), &h))
    return err;
  WnLockGuard guard(lock_);
  auto* r = new Registration{classGuid, h, tail_, nullptr};
  (tail_ ? tail_->next : head_) = r;
  tail_ = r;
  return 0;
}

void WnDeviceNotificationList::removeAll() {
  WnLockGuard guard(lock_);
  Registration* r = head_;
  head_ = tail_ = nullptr;
  while (r) {
    Registration* next = r->next;
    detail::unregisterDeviceNotification(r->notifyHandle);  // failures ignored
    delete r;
    r = next;
  }
}

size_t WnDeviceNotificationList::count() const {
  WnLockGuard guard(lock_);
  size_t n = 0;
  for (Registration* r = head_; r; r = r->next) ++n;
  return n;
}

// ---- WnPnPNotificator ----

WnPnPNotificator::WnPnPNotificator() = default;

WnPnPNotificator::~WnPnPNotificator() {
  stop(WN_INFINITE);
  detail::destroyNotificatorBackend(backend_);
  backend_ = nullptr;
}

uint32_t WnPnPNotificator::start(WnPnPNotificatorCallbackInterface* callback, WnInstance instance) {
  if (!callback) return WN_ERROR_INVALID_PARAMETER;
  if (!instance) instance = detail::moduleInstance();
  WnLockGuard guard(lock_);
  if (running_) return WN_ERROR_ALREADY_INITIALIZED;
  callback_ = callback;
  instance_ = instance;
  if (uint32_t err = readyEvent_.create(true, false)) return err;
  startResult_ = 0;
  if (uint32_t err = thread_.start(this, 0, 0)) return err;
  if (wnWaitForSingle(readyEvent_.get(), 10000) != WN_WAIT_OBJECT_0) return WN_ERROR_TIMEOUT;
  if (startResult_ == 0) {
    running_ = true;
    return 0;
  }
  thread_.wait(WN_INFINITE);
  return startResult_;
}

uint32_t WnPnPNotificator::registerInterface(const WnGuid& classGuid) {
  WnLockGuard guard(lock_);
  WnWindow w = window_;
  if (running_ && w) return registrations_.addForWindow(w, classGuid);
  return WN_ERROR_INVALID_DATA;
}

uint32_t WnPnPNotificator::stop(uint32_t timeoutMs) {
  WnLockGuard guard(lock_);
  uint32_t result = 0;
  if (running_) {
    if (WnWindow w = window_) wnPostMessage(w, WN_WM_CLOSE, 0, 0);
    result = thread_.wait(timeoutMs);
    if (result == 0) {
      running_ = false;
      instance_ = nullptr;
      callback_ = nullptr;
    }
  }
  registrations_.removeAll();
  return result;
}

intptr_t WnPnPNotificator::handleMessage(WnWindow window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  switch (message) {
    case WN_WM_DESTROY:
      detail::postQuitMessage(0);
      return 0;
    case WN_WM_DEVICECHANGE: {
      const auto* header = reinterpret_cast<const WnDeviceInterfaceBroadcast*>(lParam);
      const bool arrivalOrRemoval = wParam == WN_DBT_DEVICEARRIVAL || wParam == WN_DBT_DEVICEREMOVECOMPLETE;
      if (arrivalOrRemoval && header && header->deviceType == WN_DBT_DEVTYP_DEVICEINTERFACE && callback_)
        callback_->onDeviceChange(static_cast<uint32_t>(wParam), header);
      return 0;
    }
    default:
      return detail::defWindowProc(window, message, wParam, lParam);
  }
}
