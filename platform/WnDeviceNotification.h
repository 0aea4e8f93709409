// Device-interface notifications: WnDeviceNotificationList (the registrations
// of a window or a service), WnPnPNotificator (a hidden window on a thread of
// its own that receives them for a program without a window) and the
// callback interface it calls.
//
// On Win32 these are RegisterDeviceNotificationW registrations and a real
// hidden (never shown) overlapped window. On POSIX arrival and removal come
// from wnRaiseDeviceInterfaceEvent (the simulated driver calls it when a
// device is plugged or unplugged): every registration of the process for the
// class gets WN_WM_DEVICECHANGE posted to its WnMessageTarget (wParam = event
// type, lParam = the broadcast header, valid during the post call only, so a
// target copies it). The notificator's own target is a hidden "window" of the
// backend whose messages its thread dispatches to handleMessage. A service
// status handle given to addForService is, on POSIX, a WnMessageTarget* too.
//
// Threading: the list is guarded by its own lock. onDeviceChange runs on the
// notificator's thread, not on the thread that called start(); receivers hand
// the event over to their own thread (for example by setting an event).
#pragma once

#include <atomic>

#include "platform/WnMessageTarget.h"
#include "platform/WnSync.h"
#include "platform/WnThread.h"

constexpr uint32_t WN_DBT_DEVICEARRIVAL = 0x8000;
constexpr uint32_t WN_DBT_DEVICEREMOVECOMPLETE = 0x8004;
constexpr uint32_t WN_DBT_DEVTYP_VOLUME = 2;
constexpr uint32_t WN_DBT_DEVTYP_DEVICEINTERFACE = 5;

// The device-interface broadcast header (DEV_BROADCAST_DEVICEINTERFACE_W).
struct WnDeviceInterfaceBroadcast {
  uint32_t size;        // 32
  uint32_t deviceType;  // 5
  uint32_t reserved;
  WnGuid classGuid;
  char16_t name[2];     // empty name in filters
};
static_assert(sizeof(WnDeviceInterfaceBroadcast) == 32);

class WnDeviceNotificationList {
public:
  WnDeviceNotificationList();
  ~WnDeviceNotificationList();  // removeAll
  WnDeviceNotificationList(const WnDeviceNotificationList&) = delete;
  WnDeviceNotificationList& operator=(const WnDeviceNotificationList&) = delete;

  // Register device-interface notifications for the class, addressed to a
  // window or a service's control handler; 0, or the error (nothing kept).
  uint32_t addForWindow(WnWindow window, const WnGuid& classGuid);
  uint32_t addForService(WnServiceStatusHandle status, const WnGuid& classGuid);
  // Unregisters and deletes every registration (failures ignored).
  void removeAll();
  size_t count() const;

private:
  struct Registration;
  mutable WnRecursiveLock lock_;
  Registration* head_ = nullptr;
  Registration* tail_ = nullptr;
};

class WnPnPNotificatorCallbackInterface {
public:
  virtual ~WnPnPNotificatorCallbackInterface() = default;
  virtual void onDeviceChange(uint32_t eventType, const WnDeviceInterfaceBroadcast* header) = 0;
};

template <class T>
class WnPnPNotificatorCallbackForwarderT : public WnPnPNotificatorCallbackInterface {
public:
  using Function = void (T::*)(uint32_t, const WnDeviceInterfaceBroadcast*);
  WnPnPNotificatorCallbackForwarderT() = default;
  WnPnPNotificatorCallbackForwarderT(T* object, Function function) : object_(object), function_(function) {}
  void bind(T* object, Function function) {
    object_ = object;
    function_ = function;
  }
  void onDeviceChange(uint32_t eventType, const WnDeviceInterfaceBroadcast* header) override {
    (object_->*function_)(eventType, header);
  }

private:
  T* object_ = nullptr;
  Function function_ = nullptr;
};

class WnPnPNotificator : public WnThreadCallbackInterface {
public:
  WnPnPNotificator();
  ~WnPnPNotificator() override;  // stop without limit

  // Null callback: 87. Null instance: the program's own module. Running:
  // 1247. No ready signal within 10 s: 1460 (the thread is left running).
  // Window creation failure: its code (the thread is joined). On Win32 the
  // window is a hidden overlapped window; where no top-level window can be
  // created (Wine without a display) it falls back to a message-only window,
  // which receives the registered notifications all the same.
  uint32_t start(WnPnPNotificatorCallbackInterface* callback, WnInstance instance);
  // Running and window exists: addForWindow; else 13.
  uint32_t registerInterface(const WnGuid& classGuid);
  // Closes the window and waits for the thread up to timeoutMs; returns the
  // wait's result (0 when it ended). Always removes all registrations.
  uint32_t stop(uint32_t timeoutMs = WN_INFINITE);
  bool isRunning() const { return running_; }
  WnWindow window() const { return window_; }

  // The thread body: creates the hidden window, signals readyEvent and runs
  // the message loop until the window is closed.
  uint32_t run() override;
  // The window procedure: destroy posts the quit message; device-change
  // arrival (0x8000) and removal (0x8004) with a device-interface header
  // (type 5) call onDeviceChange and return 0; other device-change events
  // return 0 without a call; everything else goes to the default procedure.
  virtual intptr_t handleMessage(WnWindow window, uint32_t message, uintptr_t wParam, intptr_t lParam);

  // The class and window names this notificator's thread uses (set by the
  // thread before start returns; tests read them).
  const char16_t* className() const { return className_; }
  const char16_t* windowName() const { return windowName_; }

private:
  WnRecursiveLock lock_;
  std::atomic<bool> running_{false};
  WnInstance instance_ = nullptr;
  std::atomic<WnWindow> window_{nullptr};  // written by the notificator's thread
  WnPnPNotificatorCallbackInterface* callback_ = nullptr;
  WnThread thread_;
  WnEvent readyEvent_;
  uint32_t startResult_ = 0;
  WnDeviceNotificationList registrations_;
  char16_t className_[80] = {};
  char16_t windowName_[80] = {};
  void* backend_ = nullptr;  // backend state of the hidden window (POSIX)
};

// Delivers a device-interface event (WN_DBT_DEVICEARRIVAL or
// WN_DBT_DEVICEREMOVECOMPLETE) for classGuid to every registration of this
// process, as the operating system would. POSIX only; on Win32 returns
// WN_ERROR_NOT_SUPPORTED (real notifications come from the system).
uint32_t wnRaiseDeviceInterfaceEvent(const WnGuid& classGuid, uint32_t eventType);
