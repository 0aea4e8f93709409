// tovix8svc on a POSIX system: the command line with console mode against
// the in-process simulated driver.
#include <string>
#include <vector>

#include "service/ServiceCommandLine.h"
#include "service/ServiceIdentity.h"
#include "service/WideFormat.h"
#include "service/posix/PosixCommandHost.h"
#include "service/posix/PosixConsoleOutput.h"

int main(int argc, char** argv) {
  std::vector<std::u16string> args;
  for (int i = 0; i < argc; ++i) args.push_back(utf8ToWide(argv[i]));
  std::vector<const char16_t*> argv16;
  for (const std::u16string& a : args) argv16.push_back(a.c_str());

  PosixConsoleOutput out;
  PosixCommandHost host(out);
  return runServiceCommandLine(argc, argv16.data(), host, out, TOVIX8_SERVICE_NAME, TOVIX8_SERVICE_DISPLAY_NAME);
}
