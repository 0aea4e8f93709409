// ServiceProcess: the process-wide state of the service program: the list
// of services this process runs (it only ever holds the one DravikService),
// the console-mode flag, console mode's thread per service, and the one
// DravikService object of the program.
//
// Lifetime: static; the list holds plain pointers to objects that live for
// the whole process.
// Threading: services are added by the main thread before any handler or
// thread that reads the list exists; stopAll may then run on the console
// handler's thread.
//
//   ServiceProcess::add(&dravikServiceInstance());
//   ServiceProcess::setConsoleMode(true);
//   bool ok = ServiceProcess::runConsoleThreads();   // after the console handler is in place
#pragma once

#include <cstddef>

#include "service/DravikService.h"
#include "service/ServiceBase.h"

class ServiceProcess {
public:
  static constexpr size_t kMaxServices = 4;

  // False when the list is full.
  static bool add(ServiceBase* service);
  static size_t count();
  static ServiceBase* at(size_t index);
  // Empties the list (tests).
  static void clear();

  static void setConsoleMode(bool on);
  static bool consoleMode();

  // One thread per listed service runs its runConsole; waits for every
  // thread without a time limit. False when a thread could not be started
  // (the others are still waited for). The threads' exit codes are not
  // examined.
  static bool runConsoleThreads();
  // The stop request of every listed service (the console handler's action
  // for Ctrl+C and Ctrl+Break).
  static void stopAll();
};

// The program's one service object (constructed on first use, destroyed at
// process end).
DravikService& dravikServiceInstance();
