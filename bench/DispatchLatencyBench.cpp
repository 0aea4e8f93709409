// bench_dispatch: how long a buffer switch takes from the simulated
// driver's switch signal to the entry of the host's buffer-switch callback,
// next to the bare wake latency of a platform event between two threads,
// both measured in this run.
//
//   bench_dispatch [--seconds S] [--buffer FRAMES] [--rate HZ]
#include <cstdio>

#include "bench/BenchArgs.h"
#include "bench/EventWakeProbe.h"
#include "tools/asiohost/AsioHostSession.h"
#include "tools/asiohost/AsioInProcessRig.h"

namespace {

void row(const char* name, const AsioLatencySummary& s) {
  std::printf("%-28s %8zu %9s %9s %9s %9s\n", name, s.count, asioMicros(s.p50).c_str(), asioMicros(s.p99).c_str(),
              asioMicros(s.p999).c_str(), asioMicros(s.max).c_str());
}

double ratio(uint64_t a, uint64_t b) { return b ? static_cast<double>(a) / static_cast<double>(b) : 0.0; }

}  // namespace

int main(int argc, char** argv) {
  BenchArgs args;
  if (!args.parse(argc, argv, {"seconds", "buffer", "rate"})) {
    std::fprintf(stderr, "bench_dispatch: %s\nusage: bench_dispatch [--seconds S] [--buffer FRAMES] [--rate HZ]\n",
                 args.error().c_str());
    return 2;
  }
  AsioHostOptions options;
  options.seconds = args.number("seconds", 5);
  options.bufferFrames = static_cast<uint32_t>(args.number("buffer", 64));
  options.rate = static_cast<uint32_t>(args.number("rate", 48000));

  AsioHostReport report;
  {
    AsioInProcessRig rig;
    std::string error;
    IASIO* asio = rig.start(error) == 0 ? rig.createDriver(error) : nullptr;
    if (!asio) {
      std::fprintf(stderr, "bench_dispatch: %s\n", error.c_str());
      return 3;
    }
    {
      AsioHostSession session(*asio, options, &rig.signals());
      report = session.run();
    }
    asio->Release();
  }
  if (!report.streamed || report.dispatch.count == 0) {
    std::fprintf(stderr, "bench_dispatch: the driver did not stream\n%s", asioHostFormatReport(report).c_str());
    return 1;
  }

  EventWakeProbe probe;
  const AsioLatencySummary bare = probe.measure(report.dispatch.count, report.periodNanos).summary();

  std::printf("dispatch latency, %u frames at %u Hz, %.1f s (%llu switches, %llu missed, %llu late)\n",
              report.bufferUsed, options.rate, report.secondsStreamed,
              static_cast<unsigned long long>(report.switches), static_cast<unsigned long long>(report.missed),
              static_cast<unsigned long long>(report.late));
  std::printf("%-28s %8s %9s %9s %9s %9s   (microseconds)\n", "", "samples", "p50", "p99", "p99.9", "max");
  row("switch signal -> callback", report.dispatch);
  row("bare event wake", bare);
  std::printf("%-28s %8s %9.2f %9.2f %9.2f %9.2f\n", "ratio", "", ratio(report.dispatch.p50, bare.p50),
              ratio(report.dispatch.p99, bare.p99), ratio(report.dispatch.p999, bare.p999),
              ratio(report.dispatch.max, bare.max));
  return 0;
}
