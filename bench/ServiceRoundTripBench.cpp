// bench_service_rtt: the round trip of a request through the device
// control service, from the client's post to the reply in its hands. The
// request is 11002 (read a device's WDM configuration), which the service
// answers without touching the stream. In process (default): the simulated
// driver and the service's server loop on a thread of this program, the
// client on the main thread. --external: the driver the process finds (the
// simulator's pipe when the administrator opted in) and the service running
// as its own process.
//
//   bench_service_rtt [--requests N] [--external]
#include <cstdio>
#include <memory>

#include "bench/BenchArgs.h"
#include "driverapi/DravikClient.h"
#include "driverapi/DravikIoctl.h"
#include "platform/WnTime.h"
#include "tools/asiohost/AsioInProcessRig.h"
#include "tools/asiohost/AsioLatencySamples.h"

int main(int argc, char** argv) {
  BenchArgs args;
  if (!args.parse(argc, argv, {"requests"}, {"external"})) {
    std::fprintf(stderr, "bench_service_rtt: %s\nusage: bench_service_rtt [--requests N] [--external]\n",
                 args.error().c_str());
    return 2;
  }
  const size_t requests = static_cast<size_t>(args.number("requests", 2000));
  const bool external = args.flag("external");

  std::unique_ptr<AsioInProcessRig> rig;
  std::string error;
  if (!external) {
    rig = std::make_unique<AsioInProcessRig>();
    if (rig->start(error) != 0) {
      std::fprintf(stderr, "bench_service_rtt: %s\n", error.c_str());
      return 3;
    }
  }
  AsioLatencySamples samples(requests);
  uint64_t failures = 0;
  DravikStatus firstFailure = 0;
  {
    DravikCplClient client;
    if (DravikStatus s = client.connectAs(DRAVIK_DEVICE_NAME, DRAVIK_INITIATOR_CPL_DEVICES)) {
      std::fprintf(stderr, "bench_service_rtt: cannot connect to the driver: %s\n", DravikStatusName(s));
      return 3;
    }
    DravikDeviceList list{};
    if (client.getDeviceList(list) != 0 || list.count == 0) {
      std::fprintf(stderr, "bench_service_rtt: the driver lists no device\n");
      return 3;
    }
    const DravikDeviceRecord& device = list.devices[0];
    for (size_t i = 0; i < requests; ++i) {
      uint32_t render = 0, capture = 0;
      const uint64_t start = wnMonotonicNanos();
      const DravikStatus s = client.getDeviceConfig(device.deviceId0, device.deviceId1, render, capture);
      const uint64_t end = wnMonotonicNanos();
      if (s != 0) {
        if (!failures++) firstFailure = s;
        continue;
      }
      samples.add(end - start);
    }
    client.disconnect();
  }
  if (rig) rig->stop();

  const AsioLatencySummary s = samples.summary();
  std::printf("service round trip (%s), request 11002, %zu requests, %llu failed%s%s\n",
              external ? "cross-process: driver and service in their own processes" : "in process", requests,
              static_cast<unsigned long long>(failures), failures ? ", first: " : "",
              failures ? DravikStatusName(firstFailure) : "");
  std::printf("  p50 %s us, p99 %s us, p99.9 %s us, max %s us, mean %s us\n", asioMicros(s.p50).c_str(),
              asioMicros(s.p99).c_str(), asioMicros(s.p999).c_str(), asioMicros(s.max).c_str(),
              asioMicros(s.mean).c_str());
  return failures ? 1 : 0;
}
