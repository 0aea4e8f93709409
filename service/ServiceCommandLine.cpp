#include "service/ServiceCommandLine.h"

#include <string>

#include "service/ServiceIdentity.h"
#include "service/WideFormat.h"

namespace {

struct SwitchName {
  const char16_t* text;
  ServiceSwitch value;
};

constexpr SwitchName kSwitches[] = {
    {u"-install", ServiceSwitch::Install}, {u"-uninstall", ServiceSwitch::Uninstall},
    {u"-start", ServiceSwitch::Start},     {u"-stop", ServiceSwitch::Stop},
    {u"-h", ServiceSwitch::Help},          {u"-?", ServiceSwitch::Help},
    {u"-console", ServiceSwitch::Console}, {u"-service", ServiceSwitch::Service},
};

// Prints format with the one text argument, however long it is.
void printWith(ServiceOutput& out, const char16_t* format, const char16_t* arg) {
  std::u16string text(wideFormat(nullptr, 0, format, arg) + 1, u'\0');
  wideFormat(text.data(), text.size(), format, arg);
  out.print(text.c_str());
}

int result(ServiceOutput& out, uint32_t error, const char16_t* success, const char16_t* failure) {
  out.print(error == 0 ? success : failure);
  return static_cast<int>(error);
}

}  // namespace

ServiceSwitch serviceSwitchOf(const char16_t* arg) {
  if (!arg) return ServiceSwitch::None;
  for (const SwitchName& s : kSwitches)
    if (wideEquals(arg, s.text)) return s.value;
  return ServiceSwitch::Unknown;
}

int runServiceCommandLine(int argc, const char16_t* const* argv, ServiceCommandHost& host, ServiceOutput& out,
                          const char16_t* serviceName, const char16_t* displayName) {
  const char16_t* arg = argc > 1 ? argv[1] : nullptr;
  const ServiceSwitch sw = serviceSwitchOf(arg);

  const bool needsScm = sw == ServiceSwitch::Install || sw == ServiceSwitch::Uninstall ||
                        sw == ServiceSwitch::Start || sw == ServiceSwitch::Stop || sw == ServiceSwitch::Service;
  if (needsScm && !host.hasServiceControlManager()) {
    printWith(out, TOVIX8_TEXT_NO_SCM, arg);
    return 1;
  }

  switch (sw) {
    case ServiceSwitch::None:
      out.print(TOVIX8_TEXT_NO_ARGUMENTS);
      return 1;
    case ServiceSwitch::Install:
      host.stop();
      host.uninstall();
      return result(out, host.install(), TOVIX8_TEXT_INSTALLED, TOVIX8_TEXT_INSTALL_FAILED);
    case ServiceSwitch::Uninstall:
      host.stop();
      return result(out, host.uninstall(), TOVIX8_TEXT_UNINSTALLED, TOVIX8_TEXT_UNINSTALL_FAILED);
    case ServiceSwitch::Start:
      return result(out, host.start(), TOVIX8_TEXT_STARTED, TOVIX8_TEXT_START_FAILED);
    case ServiceSwitch::Stop:
      return result(out, host.stop(), TOVIX8_TEXT_STOPPED, TOVIX8_TEXT_STOP_FAILED);
    case ServiceSwitch::Help: {
      char16_t text[1024];
      wideFormat(text, 1024, TOVIX8_TEXT_HELP, serviceName, static_cast<int>(TOVIX8_VERSION_MAJOR),
                 static_cast<int>(TOVIX8_VERSION_MINOR), displayName);
      out.print(text);
      return 0;
    }
    case ServiceSwitch::Console:
      return host.runConsole() ? 0 : -1;
    case ServiceSwitch::Service:
      return host.runService() ? 0 : -1;
    case ServiceSwitch::Unknown:
    default:
      printWith(out, TOVIX8_TEXT_UNKNOWN_ARGUMENT, arg);
      return 1;
  }
}
