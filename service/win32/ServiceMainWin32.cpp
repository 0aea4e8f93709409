// tovix8svc on Windows: the command line, and the service main that the
// service control manager calls.
#include <windows.h>

#include "Win32CommandHost.h"
#include "Win32ServiceRuntime.h"
#include "service/ServiceIdentity.h"
#include "service/ServiceProcess.h"

namespace {

// Its arguments are ignored.
void WINAPI tovix8ServiceMain(DWORD, LPWSTR*) {
  Win32ServiceRuntime runtime;
  dravikServiceInstance().serviceMain(runtime);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  DravikService& service = dravikServiceInstance();
  service.setServiceMainEntry(reinterpret_cast<WnServiceMainEntry>(&tovix8ServiceMain));
  Win32ConsoleOutput out;
  Win32CommandHost host(service, out);
  return runServiceCommandLine(argc, reinterpret_cast<const char16_t* const*>(argv), host, out, service.serviceName(),
                               service.displayName());
}
