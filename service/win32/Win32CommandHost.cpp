#include "Win32CommandHost.h"

#include <windows.h>

#include <cwchar>

#include "WnModulePath.h"
#include "WnServiceCtrl.h"
#include "platform/WnRegistryKey.h"
#include "service/ServiceProcess.h"
#include "service/ServiceRegistration.h"
#include "service/WideFormat.h"

namespace {

BOOL WINAPI consoleControlHandler(DWORD event) {
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
    ServiceProcess::stopAll();
    return TRUE;
  }
  return FALSE;
}

}  // namespace

void Win32ConsoleOutput::print(const char16_t* text) {
  wprintf(L"%ls", wnWide(text));
  fflush(stdout);
}

uint32_t Win32CommandHost::writeEventSource(const char16_t* modulePath) {
  char16_t keyName[TOVIX8_EVENT_SOURCE_KEY_CHARS];
  wideFormat(keyName, TOVIX8_EVENT_SOURCE_KEY_CHARS, TOVIX8_EVENT_SOURCE_KEY_FORMAT, TOVIX8_EVENT_LOG_NAME,
             service_.serviceName());
  WnRegistryKey key;
  if (uint32_t error = key.create(wnHkeyLocalMachine(), keyName, WN_KEY_READ | WN_KEY_WRITE)) return error;
  if (uint32_t error = key.writeString(TOVIX8_EVENT_MESSAGE_FILE_VALUE, modulePath, WN_REG_EXPAND_SZ)) return error;
  return key.writeDword(TOVIX8_EVENT_TYPES_SUPPORTED_VALUE, TOVIX8_EVENT_TYPES_SUPPORTED);
}

uint32_t Win32CommandHost::install() {
  WnModulePath module;
  if (uint32_t error = module.read()) return error;
  char16_t imagePath[TOVIX8_IMAGE_PATH_CHARS];
  if (!formatServiceImagePath(imagePath, TOVIX8_IMAGE_PATH_CHARS, module.full())) return ERROR_INSUFFICIENT_BUFFER;

  WnServiceCtrlMgr manager;
  if (uint32_t error = manager.open()) return error;
  WnServiceCtrl svc;
  if (uint32_t error = svc.create(manager, service_.serviceName(), service_.displayName(), SERVICE_ALL_ACCESS,
                                  TOVIX8_SERVICE_TYPE, TOVIX8_SERVICE_START_TYPE, TOVIX8_SERVICE_ERROR_CONTROL,
                                  imagePath, TOVIX8_SERVICE_LOAD_ORDER_GROUP, nullptr, TOVIX8_SERVICE_DEPENDENCIES,
                                  nullptr, nullptr))
    return error;

  SERVICE_DESCRIPTIONW description{};
  description.lpDescription = const_cast<wchar_t*>(wnWide(service_.description()));
  ChangeServiceConfig2W(svc.get(), SERVICE_CONFIG_DESCRIPTION, &description);  // a failure is ignored

  return writeEventSource(module.full());
}

uint32_t Win32CommandHost::uninstall() {
  WnServiceCtrlMgr manager;
  if (uint32_t error = manager.open()) return error;
  WnServiceCtrl svc;
  if (uint32_t error = svc.open(manager, service_.serviceName(), DELETE)) return error;
  if (!DeleteService(svc.get())) return GetLastError();

  char16_t keyName[TOVIX8_EVENT_SOURCE_KEY_CHARS];
  wideFormat(keyName, TOVIX8_EVENT_SOURCE_KEY_CHARS, TOVIX8_EVENT_LOG_KEY_FORMAT, TOVIX8_EVENT_LOG_NAME);
  WnRegistryKey key;
  if (key.openExisting(wnHkeyLocalMachine(), keyName, WN_KEY_WRITE) == 0) key.deleteSubKey(service_.serviceName());
  return 0;
}

uint32_t Win32CommandHost::start() {
  WnServiceCtrlMgr manager;
  if (uint32_t error = manager.open()) return error;
  WnServiceCtrl svc;
  if (uint32_t error = svc.open(manager, service_.serviceName(), SERVICE_START)) return error;
  return StartServiceW(svc.get(), 0, nullptr) ? 0 : GetLastError();
}

uint32_t Win32CommandHost::stop() {
  WnServiceCtrlMgr manager;
  if (uint32_t error = manager.open()) return error;
  WnServiceCtrl svc;
  if (uint32_t error = svc.open(manager, service_.serviceName(), SERVICE_STOP | SERVICE_QUERY_STATUS)) return error;
  SERVICE_STATUS status{};
  if (!ControlService(svc.get(), SERVICE_CONTROL_STOP, &status)) return GetLastError();
  for (uint32_t poll = 0; poll < TOVIX8_STOP_POLLS; ++poll) {
    if (!QueryServiceStatus(svc.get(), &status)) return GetLastError();
    if (status.dwCurrentState == SERVICE_STOPPED) return 0;
    Sleep(TOVIX8_STOP_POLL_MS);
  }
  return ERROR_TIMEOUT;
}

bool Win32CommandHost::runConsole() {
  service_.setOutput(&out_);
  ServiceProcess::add(&service_);
  ServiceProcess::setConsoleMode(true);
  if (!SetConsoleCtrlHandler(consoleControlHandler, TRUE)) return false;
  return ServiceProcess::runConsoleThreads();
}

bool Win32CommandHost::runService() {
  ServiceProcess::add(&service_);
  SERVICE_TABLE_ENTRYW table[ServiceProcess::kMaxServices + 1] = {};
  const size_t n = ServiceProcess::count();
  for (size_t i = 0; i < n; ++i) {
    ServiceBase* s = ServiceProcess::at(i);
    table[i].lpServiceName = const_cast<wchar_t*>(wnWide(s->serviceName()));
    table[i].lpServiceProc = reinterpret_cast<LPSERVICE_MAIN_FUNCTIONW>(s->serviceMainEntry());
  }
  return StartServiceCtrlDispatcherW(table) != 0;
}
