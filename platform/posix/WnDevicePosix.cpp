// Device-interface notifications on POSIX: a process-wide table of
// registrations that wnRaiseDeviceInterfaceEvent posts to, and the
// notificator's hidden "window" (a message queue its thread dispatches).

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <list>
#include <mutex>

#include "platform/WnDeviceNotification.h"
#include "platform/WnMessageTarget.h"
#include "platform/WnWait.h"
#include "platform/detail/WnBackend.h"

namespace {

// ---- registrations ----

struct PosixRegistration {
  void* recipient;  // WnMessageTarget*
  WnGuid classGuid;
};

struct RegistrationTable {
  // Held while posting, so that once unregistration returned no post to the
  // recipient is in progress any more.
  std::mutex m;
  std::list<PosixRegistration> entries;
};

RegistrationTable& table() {
  static auto* t = new RegistrationTable;
  return *t;
}

// ---- the hidden window ----

class HiddenWindow;
thread_local HiddenWindow* t_loop = nullptr;  // the window whose loop runs on this thread

class HiddenWindow : public WnMessageTarget {
public:
  struct Message {
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
    bool hasHeader;
    WnDeviceInterfaceBroadcast header;
  };

  explicit HiddenWindow(WnPnPNotificator* owner) : owner_(owner) {}

  WnWindow handle() { return static_cast<WnMessageTarget*>(this); }

  // Called by the loop's thread before it runs the loop.
  void reset(uint32_t loopThread) {
    std::lock_guard<std::mutex> lk(m_);
    queue_.clear();
    destroyed_ = false;
    quit_ = false;
    loopThread_ = loopThread;
  }

  void post(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
    Message msg{message, wParam, lParam, false, {}};
    if (message == WN_WM_DEVICECHANGE && lParam) {
      // The header is valid during this call only: keep a copy of as much of
      // it as it says it has (a volume header is shorter, for example).
      const auto* src = reinterpret_cast<const unsigned char*>(lParam);
      uint32_t size = 0;
      std::memcpy(&size, src, sizeof size);
      std::memcpy(&msg.header, src, std::min<size_t>(std::max<size_t>(size, 12), sizeof msg.header));
      msg.hasHeader = true;
    }
    std::lock_guard<std::mutex> lk(m_);
    if (destroyed_) return;  // as posting to a destroyed window
    queue_.push_back(msg);
    cv_.notify_one();
  }

  void postQuit() {
    std::lock_guard<std::mutex> lk(m_);
    quit_ = true;
    cv_.notify_one();
  }

  // GetMessage: the next message, false once the quit message is due.
  bool get(Message* out) {
    std::unique_lock<std::mutex> lk(m_);
    cv_.wait(lk, [&] { return !queue_.empty() || quit_; });
    if (queue_.empty()) return false;
    *out = queue_.front();
    queue_.pop_front();
    return true;
  }

  // DestroyWindow: no further messages, then the destroy message. As on
  // Win32, only the window's own thread may destroy it.
  void destroy() {
    {
      std::lock_guard<std::mutex> lk(m_);
      if (destroyed_ || wnCurrentThreadId() != loopThread_) return;
      destroyed_ = true;
      queue_.clear();
    }
    owner_->handleMessage(handle(), WN_WM_DESTROY, 0, 0);
  }

private:
  WnPnPNotificator* owner_;
  std::mutex m_;
  std::condition_variable cv_;
  std::deque<Message> queue_;
  bool destroyed_ = false;
  bool quit_ = false;
  uint32_t loopThread_ = 0;
};

}  // namespace

uint32_t WnPnPNotificator::run() {
  wn::detail::formatWithIds(className_, "PnPNotificatorWndCls_");
  wn::detail::formatWithIds(windowName_, "PnPNotificator_HiddenWindow_");
  if (!backend_) backend_ = new HiddenWindow(this);
  auto* win = static_cast<HiddenWindow*>(backend_);
  win->reset(wnCurrentThreadId());
  window_ = win->handle();
  startResult_ = 0;
  readyEvent_.set();

  t_loop = win;
  HiddenWindow::Message msg;
  while (win->get(&msg)) {
    intptr_t lParam = msg.hasHeader ? reinterpret_cast<intptr_t>(&msg.header) : msg.lParam;
    handleMessage(win->handle(), msg.message, msg.wParam, lParam);
  }
  t_loop = nullptr;
  window_ = nullptr;
  return 0;
}

uint32_t wnRaiseDeviceInterfaceEvent(const WnGuid& classGuid, uint32_t eventType) {
  WnDeviceInterfaceBroadcast header{};
  header.size = sizeof header;
  header.deviceType = WN_DBT_DEVTYP_DEVICEINTERFACE;
  header.classGuid = classGuid;
  RegistrationTable& t = table();
  std::lock_guard<std::mutex> lk(t.m);
  for (const PosixRegistration& r : t.entries) {
    if (r.classGuid == classGuid)
      wnPostMessage(r.recipient, WN_WM_DEVICECHANGE, eventType, reinterpret_cast<intptr_t>(&header));
  }
  return 0;
}

namespace wn::detail {

uint32_t registerDeviceNotification(int, void* recipient, const WnDeviceInterfaceBroadcast& filter,
                                    void** notifyHandle) {
  *notifyHandle = nullptr;
  if (!recipient) return WN_ERROR_INVALID_HANDLE;
  if (filter.deviceType != WN_DBT_DEVTYP_DEVICEINTERFACE || filter.size < sizeof filter)
    return WN_ERROR_INVALID_DATA;
  RegistrationTable& t = table();
  std::lock_guard<std::mutex> lk(t.m);
  t.entries.push_back(PosixRegistration{recipient, filter.classGuid});
  *notifyHandle = &t.entries.back();
  return 0;
}

void unregisterDeviceNotification(void* notifyHandle) {
  RegistrationTable& t = table();
  std::lock_guard<std::mutex> lk(t.m);
  for (auto it = t.entries.begin(); it != t.entries.end(); ++it) {
    if (&*it == notifyHandle) {
      t.entries.erase(it);
      return;
    }
  }
}

intptr_t defWindowProc(WnWindow window, uint32_t message, uintptr_t, intptr_t) {
  if (message == WN_WM_CLOSE && window) {
    auto* target = static_cast<WnMessageTarget*>(window);
    if (auto* win = dynamic_cast<HiddenWindow*>(target)) win->destroy();
  }
  return 0;
}

void postQuitMessage(int) {
  if (t_loop) t_loop->postQuit();
}

WnInstance moduleInstance() {
  static char token;
  return &token;
}

void destroyNotificatorBackend(void* backend) { delete static_cast<HiddenWindow*>(backend); }

}  // namespace wn::detail
