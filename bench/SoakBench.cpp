// bench_soak: a long stream through the driver object against the
// simulated driver's real-time switch clock, with the host checks of
// asiohost on every switch: missed switches (the driver's ASIO error
// counter), late callbacks and the dispatch latency, held against a target
// of missed switches per 10,000. Exit code 0 only when the target was met
// and the host checks passed (1 otherwise, 2 usage, 3 no driver).
//
//   bench_soak [--seconds S] [--buffer FRAMES] [--rate HZ] [--target PER_10000]
#include <cstdio>

#include "bench/BenchArgs.h"
#include "tools/asiohost/AsioHostSession.h"
#include "tools/asiohost/AsioInProcessRig.h"

int main(int argc, char** argv) {
  BenchArgs args;
  if (!args.parse(argc, argv, {"seconds", "buffer", "rate", "target"})) {
    std::fprintf(stderr,
                 "bench_soak: %s\nusage: bench_soak [--seconds S] [--buffer FRAMES] [--rate HZ] [--target PER_10000]\n",
                 args.error().c_str());
    return 2;
  }
  AsioHostOptions options;
  options.seconds = args.number("seconds", 10);
  options.bufferFrames = static_cast<uint32_t>(args.number("buffer", 64));
  options.rate = static_cast<uint32_t>(args.number("rate", 48000));
  const double target = args.number("target", 0);

  AsioHostReport report;
  {
    AsioInProcessRig rig;
    std::string error;
    IASIO* asio = rig.start(error) == 0 ? rig.createDriver(error) : nullptr;
    if (!asio) {
      std::fprintf(stderr, "bench_soak: %s\n", error.c_str());
      return 3;
    }
    {
      AsioHostSession session(*asio, options, &rig.signals());
      report = session.run();
    }
    asio->Release();
  }
  if (!report.streamed || !report.missedKnown) {
    std::fprintf(stderr, "bench_soak: no usable run\n%s", asioHostFormatReport(report).c_str());
    return 1;
  }
  const double perTenThousand =
      report.switches ? 10000.0 * static_cast<double>(report.missed) / static_cast<double>(report.switches) : 0;
  const bool met = target == 0 ? report.missed == 0 : perTenThousand < target;
  std::printf("soak %u frames at %u Hz for %.1f s\n", report.bufferUsed, options.rate, report.secondsStreamed);
  std::printf("  switches delivered %llu of %llu due (%.2f%%)\n", static_cast<unsigned long long>(report.switches),
              static_cast<unsigned long long>(report.switchesDue),
              report.switchesDue ? 100.0 * static_cast<double>(report.switches) / static_cast<double>(report.switchesDue)
                                 : 0.0);
  std::printf("  missed switches %llu (%.2f per 10,000)\n", static_cast<unsigned long long>(report.missed),
              perTenThousand);
  std::printf("  late callbacks %llu\n", static_cast<unsigned long long>(report.late));
  std::printf("  dispatch latency p50 %s us, p99 %s us, p99.9 %s us, max %s us\n", asioMicros(report.dispatch.p50).c_str(),
              asioMicros(report.dispatch.p99).c_str(), asioMicros(report.dispatch.p999).c_str(),
              asioMicros(report.dispatch.max).c_str());
  std::printf("  host checks %s\n", report.passed ? "passed" : "FAILED");
  for (const std::string& f : report.failedChecks) std::printf("    %s\n", f.c_str());
  if (target == 0)
    std::printf("  target: no missed switch: %s\n", met ? "met" : "NOT met");
  else
    std::printf("  target: fewer than %g missed per 10,000: %s\n", target, met ? "met" : "NOT met");
  return met && report.passed ? 0 : 1;
}
