// The simulated-driver device-event feed on Win32 and the service handler
// wrapper (WnSimulatedDriver.h).
//
// While the process holds device-notification registrations made with the
// opt-in set, one feed thread of its own connects to "<pipe>-events" (again
// every second while the simulator is not there), reads the records and
// delivers each to the registrations of its class: WM_DEVICECHANGE sent to a
// window (SendMessageTimeoutW, so the broadcast header lives in this process
// for the whole call, as the system's own delivery does), or the handler of a
// service status handle called with SERVICE_CONTROL_DEVICEEVENT. The thread
// ends by itself when the last registration goes. The feed's state lives for
// the whole process and is never destroyed, so a thread that is still
// winding down at exit touches nothing freed.
#include <windows.h>
#include <dbt.h>

#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "platform/WnDeviceNotification.h"
#include "platform/WnPipe.h"
#include "platform/WnSimulatedDriver.h"
#include "platform/win32/WnSimulatedDeviceEvents.h"

namespace {

constexpr DWORD kReconnectMs = 1000;
constexpr UINT kSendTimeoutMs = 5000;
constexpr uint32_t kConnectTimeoutMs = 1000;

struct Registration {
  void* notifyHandle;
  int kind;
  void* recipient;
  WnGuid classGuid;
};

struct ServiceHandler {
  void* statusHandle;
  WnServiceHandlerProc proc;
  void* context;
};

struct Feed {
  std::mutex lock;
  std::vector<Registration> registrations;
  std::vector<ServiceHandler> handlers;
  char16_t eventsPipe[WN_PIPE_NAME_CHARS] = {};
  bool threadRunning = false;
  WnPipe* current = nullptr;  // the connection the thread reads, published under lock
  HANDLE wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  // Held while a service handler is called, so that an unregistration can
  // wait for a call in progress. Recursive: a handler may unregister.
  std::recursive_mutex serviceDelivery;
};

Feed& feed() {
  static Feed* f = new Feed;  // never destroyed (see above)
  return *f;
}

// The broadcast header with the interface's name, as the system builds it.
struct Broadcast {
  DWORD words[WN_DEVICE_EVENT_NAME_CHARS / 2 + 16];
};

void buildHeader(const WnDeviceEventRecord& r, Broadcast& out) {
  std::memset(&out, 0, sizeof out);
  auto* h = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(&out);
  size_t chars = 0;
  while (r.name[chars]) ++chars;
  h->dbcc_size = static_cast<DWORD>(offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) + (chars + 1) * sizeof(wchar_t));
  h->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  h->dbcc_reserved = 0;
  std::memcpy(&h->dbcc_classguid, &r.classGuid, sizeof(GUID));
  std::memcpy(h->dbcc_name, r.name, (chars + 1) * sizeof(wchar_t));
}
static_assert(sizeof(Broadcast) >= offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) + WN_DEVICE_EVENT_NAME_CHARS * 2);

void deliver(const WnDeviceEventRecord& r) {
  Feed& f = feed();
  Broadcast header;
  buildHeader(r, header);
  std::vector<Registration> targets;
  {
    std::lock_guard<std::mutex> g(f.lock);
    for (const Registration& reg : f.registrations)
      if (reg.classGuid == r.classGuid) targets.push_back(reg);
  }
  for (const Registration& reg : targets) {
    if (reg.kind == 0) {
      DWORD_PTR result = 0;
      SendMessageTimeoutW(static_cast<HWND>(reg.recipient), WM_DEVICECHANGE, r.eventType,
                          reinterpret_cast<LPARAM>(&header), SMTO_NORMAL | SMTO_ABORTIFHUNG, kSendTimeoutMs, &result);
      continue;
    }
    std::lock_guard<std::recursive_mutex> delivering(f.serviceDelivery);
    WnServiceHandlerProc proc = nullptr;
    void* context = nullptr;
    {
      std::lock_guard<std::mutex> g(f.lock);
      bool stillRegistered = false;
      for (const Registration& now : f.registrations) stillRegistered = stillRegistered || now.notifyHandle == reg.notifyHandle;
      for (const ServiceHandler& h : f.handlers)
        if (stillRegistered && h.statusHandle == reg.recipient) {
          proc = h.proc;
          context = h.context;
        }
    }
    if (proc) proc(SERVICE_CONTROL_DEVICEEVENT, r.eventType, &header, context);
  }
}

DWORD WINAPI feedThread(void*) {
  Feed& f = feed();
  for (;;) {
    char16_t path[WN_PIPE_NAME_CHARS];
    {
      std::lock_guard<std::mutex> g(f.lock);
      if (f.registrations.empty()) {
        f.threadRunning = false;
        return 0;
      }
      std::memcpy(path, f.eventsPipe, sizeof path);
    }
    WnPipe pipe;
    if (pipe.connect(path, kConnectTimeoutMs) != 0) {
      WaitForSingleObject(f.wake, kReconnectMs);
      continue;
    }
    {
      std::lock_guard<std::mutex> g(f.lock);
      if (f.registrations.empty()) continue;  // re-checked (and the thread ends) at the top
      f.current = &pipe;
    }
    for (;;) {
      WnDeviceEventRecord record;
      if (pipe.read(&record, sizeof record) != 0) break;
      if (!wnIsValidDeviceEventRecord(record)) break;  // out of step: reconnect
      deliver(record);
    }
    std::lock_guard<std::mutex> g(f.lock);
    f.current = nullptr;
  }
}

}  // namespace

namespace wn::detail {

void simulatedEventsRegistered(int kind, void* recipient, const WnGuid& classGuid, void* notifyHandle) {
  char16_t pipe[WN_PIPE_NAME_CHARS];
  if (wnSimulatedDriverPipe(pipe) != 0) return;
  Feed& f = feed();
  std::lock_guard<std::mutex> g(f.lock);
  try {
    f.registrations.push_back(Registration{notifyHandle, kind, recipient, classGuid});
  } catch (...) {
    return;  // the real registration stands; the simulated events are lost
  }
  if (f.threadRunning) return;
  if (!wnDerivedPipePath(pipe, WN_SIMULATED_EVENTS_SUFFIX, f.eventsPipe)) return;
  HANDLE t = CreateThread(nullptr, 0, feedThread, nullptr, 0, nullptr);
  if (!t) return;
  CloseHandle(t);
  f.threadRunning = true;
}

void simulatedEventsUnregistered(void* notifyHandle) {
  Feed& f = feed();
  bool wasService = false;
  {
    std::lock_guard<std::mutex> g(f.lock);
    for (auto it = f.registrations.begin(); it != f.registrations.end(); ++it) {
      if (it->notifyHandle != notifyHandle) continue;
      wasService = it->kind == 1;
      f.registrations.erase(it);
      break;
    }
    if (f.registrations.empty()) {
      if (f.current) f.current->abort();
      SetEvent(f.wake);
    }
  }
  // Wait for a handler call that started before the removal.
  if (wasService) std::lock_guard<std::recursive_mutex> waitForCall(f.serviceDelivery);
}

}  // namespace wn::detail

uint32_t wnRegisterServiceCtrlHandlerEx(const char16_t* serviceName, WnServiceHandlerProc handler, void* context,
                                        WnServiceStatusHandle& statusHandle) {
  statusHandle = nullptr;
  if (!handler) return ERROR_INVALID_PARAMETER;
  SERVICE_STATUS_HANDLE h = RegisterServiceCtrlHandlerExW(reinterpret_cast<const wchar_t*>(serviceName),
                                                          reinterpret_cast<LPHANDLER_FUNCTION_EX>(handler), context);
  if (!h) {
    DWORD e = GetLastError();
    return e ? e : uint32_t{ERROR_INVALID_HANDLE};
  }
  Feed& f = feed();
  {
    std::lock_guard<std::mutex> g(f.lock);
    try {
      bool replaced = false;
      for (ServiceHandler& s : f.handlers)
        if (s.statusHandle == h) {
          s.proc = handler;
          s.context = context;
          replaced = true;
        }
      if (!replaced) f.handlers.push_back(ServiceHandler{h, handler, context});
    } catch (...) {
      // The service runs; it only misses simulated device events.
    }
  }
  statusHandle = h;
  return 0;
}
