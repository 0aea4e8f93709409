// A helper program of the cross-process tests: a second or third process
// that uses the simulated driver through the opt-in, as the programs of the
// package do.
//   tools_sim_helper service          the stand-in service, until ended
//   tools_sim_helper request RATE MS  one sample rate request; the exit code
//                                     is 0 on success, 1 on any failure
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ToolsTestSupport.h"
#include "driverapi/DravikClient.h"
#include "driverapi/DravikIoctl.h"
#include "platform/WnWait.h"

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "service") == 0) {
    tooltest::StandInService service;
    const DravikStatus s = service.start();
    std::printf("service start: 0x%08X\n", s);
    std::fflush(stdout);
    if (s) return 1;
    for (;;) wnSleep(1000);  // until the test ends the process
  }
  if (argc >= 4 && std::strcmp(argv[1], "request") == 0) {
    DravikCplClient client;
    if (client.connectAs(DRAVIK_DEVICE_NAME, DRAVIK_INITIATOR_CPL_DEVICES) != 0) return 1;
    const DravikStatus s = client.setSampleRate(static_cast<uint32_t>(std::atoi(argv[2])),
                                                static_cast<uint32_t>(std::atoi(argv[3])));
    return s == 0 ? 0 : 1;
  }
  std::fprintf(stderr, "usage: tools_sim_helper service | request RATE MS\n");
  return 2;
}
