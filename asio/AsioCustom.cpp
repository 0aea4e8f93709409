#include "asio/AsioCustom.h"

#include "asio/AsioModuleServices.h"
#include "asio/AsioProduct.h"
#include "asio/AsioText.h"
#include "driverapi/DravikIoctl.h"

const char16_t* AsioCustom::driverName() { return kAsioDriverDisplayName; }

const char16_t* AsioCustom::deviceName() { return DRAVIK_DEVICE_NAME; }

void asioControlPanelCommandLine(const char16_t* folder, char16_t* out, uint32_t capacity) {
  asioCopy(out, capacity, u"\"");
  asioAppend(out, capacity, folder);
  asioAppend(out, capacity, kAsioControlPanelProgram);
  asioAppend(out, capacity, u"\" ");
  asioAppend(out, capacity, kAsioControlPanelArgument);
}

int32_t AsioCustom::openControlPanel(WnInstance /*instance*/, const char16_t* folder) {
  char16_t commandLine[kAsioCommandLineChars];
  asioControlPanelCommandLine(folder, commandLine, kAsioCommandLineChars);
  asioModuleServices().startProcess(commandLine);  // not waited for; a failure is not reported
  return 0;
}
