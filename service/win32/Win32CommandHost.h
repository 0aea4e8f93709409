// Win32CommandHost: what tovix8svc's switches do on Windows. install,
// uninstall, start and stop talk to the service control manager and write
// or remove the event source; the console run installs the console control
// handler (Ctrl+C and Ctrl+Break make the stop request of every service)
// and runs one console thread per service; the service run hands the
// services to StartServiceCtrlDispatcherW. Win32ConsoleOutput prints with
// the wide printf.
//
// Lifetime: one per program run, on main's stack. Threading: main thread;
// the console handler runs on a thread of the system.
//
//   Win32ConsoleOutput out;
//   Win32CommandHost host(dravikServiceInstance(), out);
//   return runServiceCommandLine(argc, argv, host, out, ...);
#pragma once

#include "service/DravikService.h"
#include "service/ServiceCommandLine.h"
#include "service/ServiceOutput.h"

class Win32ConsoleOutput : public ServiceOutput {
public:
  void print(const char16_t* text) override;
};

class Win32CommandHost : public ServiceCommandHost {
public:
  Win32CommandHost(DravikService& service, ServiceOutput& out) : service_(service), out_(out) {}

  bool hasServiceControlManager() const override { return true; }
  uint32_t install() override;
  uint32_t uninstall() override;
  uint32_t start() override;
  uint32_t stop() override;
  bool runConsole() override;
  bool runService() override;

private:
  uint32_t writeEventSource(const char16_t* modulePath);

  DravikService& service_;
  ServiceOutput& out_;
};
