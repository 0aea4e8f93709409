// The command line of tovix8svc: the switches, their exact texts and exit
// codes, shared by the Win32 program and the native console build. Only the
// first argument is looked at, compared exactly and case-sensitively;
// further arguments are ignored.
//
// ServiceCommandHost is what a platform does for each switch (the Win32
// host talks to the service control manager; the native host has none and
// says so). runServiceCommandLine prints the switch's line and returns the
// process exit code.
//
// Threading: called once by the program's main thread.
//
//   Win32CommandHost host;
//   return runServiceCommandLine(argc, argv, host, console, TOVIX8_SERVICE_NAME, TOVIX8_SERVICE_DISPLAY_NAME);
#pragma once

#include <cstdint>

#include "service/ServiceOutput.h"

enum class ServiceSwitch {
  None,  // no argument
  Install,
  Uninstall,
  Start,
  Stop,
  Help,     // -h and -?
  Console,
  Service,  // what install registers; not in the help text
  Unknown,
};

// The switch named by arg (null: None).
ServiceSwitch serviceSwitchOf(const char16_t* arg);

inline constexpr char16_t TOVIX8_TEXT_NO_ARGUMENTS[] = u"No arguments given, use -h.\n";
inline constexpr char16_t TOVIX8_TEXT_UNKNOWN_ARGUMENT[] = u"Unknown argument %s, use -h.\n";
inline constexpr char16_t TOVIX8_TEXT_INSTALLED[] = u"Service installed successfully.\n";
inline constexpr char16_t TOVIX8_TEXT_INSTALL_FAILED[] = u"Error installing service.\n";
inline constexpr char16_t TOVIX8_TEXT_UNINSTALLED[] = u"Service uninstalled successfully.\n";
inline constexpr char16_t TOVIX8_TEXT_UNINSTALL_FAILED[] = u"Error uninstalling service.\n";
inline constexpr char16_t TOVIX8_TEXT_STARTED[] = u"Service started successfully.\n";
inline constexpr char16_t TOVIX8_TEXT_START_FAILED[] = u"Error starting service.\n";
inline constexpr char16_t TOVIX8_TEXT_STOPPED[] = u"Service stopped successfully.\n";
inline constexpr char16_t TOVIX8_TEXT_STOP_FAILED[] = u"Error stopping service.\n";
inline constexpr char16_t TOVIX8_TEXT_HELP[] =
    u"\n%s V%d.%02d\n%s Service\n\nSupported command line options:\n"
    u" -install    Install the service.\n"
    u" -uninstall  Uninstall the service.\n"
    u" -start      Start the service.\n"
    u" -stop       Stop the service.\n"
    u" -console    Start service in console mode.\n"
    u" -h, -?      Print this help message.\n\n";
// The native build has no service control manager to talk to.
inline constexpr char16_t TOVIX8_TEXT_NO_SCM[] =
    u"%s is not available: this platform has no service control manager (use -console).\n";

class ServiceCommandHost {
public:
  virtual ~ServiceCommandHost() = default;
  virtual bool hasServiceControlManager() const = 0;
  // 0 or the operating-system error code.
  virtual uint32_t install() = 0;
  virtual uint32_t uninstall() = 0;
  virtual uint32_t start() = 0;
  virtual uint32_t stop() = 0;
  // Console mode and service mode; true when the run succeeded.
  virtual bool runConsole() = 0;
  virtual bool runService() = 0;
};

// argv[0] is the program; argv[1], when present, the switch. Returns the
// exit code: 1 for no or an unknown argument, the error code of install,
// uninstall, start and stop, 0 for help, 0 or -1 for the two runs, 1 for a
// switch that needs a service control manager on a platform without one.
int runServiceCommandLine(int argc, const char16_t* const* argv, ServiceCommandHost& host, ServiceOutput& out,
                          const char16_t* serviceName, const char16_t* displayName);
