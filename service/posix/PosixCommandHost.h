// PosixCommandHost: the switches of tovix8svc on a system without a service
// control manager. Only console mode runs: it serves the in-process
// simulated driver (one default device), and SIGINT or SIGTERM play the part
// of Ctrl+C and Ctrl+Break (the stop request of every service). The switches
// that need a service control manager are refused by the command line
// before they reach this host.
//
// Lifetime: one per program run, on main's stack. The simulated driver it
// installs lives until process end and outlives the service object.
// Threading: the command line calls it on the main thread; a signal thread
// of its own waits for the stop signals while console mode runs.
//
//   PosixCommandHost host(out);
//   return runServiceCommandLine(argc, argv, host, out, TOVIX8_SERVICE_NAME, TOVIX8_SERVICE_DISPLAY_NAME);
#pragma once

#include "service/ServiceCommandLine.h"

class PosixCommandHost : public ServiceCommandHost {
public:
  explicit PosixCommandHost(ServiceOutput& out) : out_(out) {}

  bool hasServiceControlManager() const override { return false; }
  uint32_t install() override;
  uint32_t uninstall() override;
  uint32_t start() override;
  uint32_t stop() override;
  bool runConsole() override;
  bool runService() override { return false; }

private:
  ServiceOutput& out_;
};
