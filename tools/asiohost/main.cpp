// asiohost: an ASIO host harness. It creates the "Tovix8 ASIO" driver as a
// host does (through the registry and COM, or with --inprocess beside the
// simulated driver and the device control service in this process), streams
// through it with every channel while checking what hosts rely on, and
// prints a report. docs/PERFORMANCE.md and the demo use it.
#include <cstdio>
#include <memory>
#include <string>

#include "asio/AsioProduct.h"
#include "tools/asiohost/AsioComDriverLoader.h"
#include "tools/asiohost/AsioHostOptions.h"
#include "tools/asiohost/AsioHostSession.h"
#include "tools/asiohost/AsioInProcessRig.h"

namespace {

constexpr int kExitPassed = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitNoDriver = 3;

}  // namespace

int main(int argc, char** argv) {
  AsioHostOptions options;
  std::string error;
  if (!asioHostParseCommandLine(argc, argv, options, error)) {
    std::fprintf(stderr, "asiohost: %s\n%s", error.c_str(), asioHostUsage());
    return kExitUsage;
  }
  if (options.help) {
    std::fputs(asioHostUsage(), stdout);
    return kExitPassed;
  }

  std::unique_ptr<AsioInProcessRig> rig;
  AsioComDriverLoader loader;
  IASIO* asio = nullptr;
  const AsioSignalSource* signals = nullptr;
  if (options.inProcess) {
    rig = std::make_unique<AsioInProcessRig>();
    if (rig->start(error) == 0) asio = rig->createDriver(error);
    if (asio) signals = &rig->signals();
  } else {
    asio = loader.load(kAsioRegistryKeyName, error);
  }
  if (!asio) {
    std::fprintf(stderr, "asiohost: %s\n", error.c_str());
    return kExitNoDriver;
  }

  AsioHostReport report;
  {
    AsioHostSession session(*asio, options, signals);
    // Scripts that act while the host streams wait for this line.
    session.onStarted = [](uint32_t runs) {
      std::fprintf(stderr, "asiohost: streaming (run %u)\n", runs);
      std::fflush(stderr);
    };
    report = session.run();
  }
  if (options.inProcess)
    asio->Release();
  else
    loader.release();
  if (rig) rig->stop();

  const std::string text = asioHostFormatReport(report);
  std::fputs(text.c_str(), stdout);
  std::fflush(stdout);
  if (!options.reportFile.empty()) {
    if (FILE* f = std::fopen(options.reportFile.c_str(), "wb")) {
      std::fwrite(text.data(), 1, text.size(), f);
      std::fclose(f);
    } else {
      std::fprintf(stderr, "asiohost: cannot write %s\n", options.reportFile.c_str());
      return kExitFailed;
    }
  }
  if (report.noDriver) return kExitNoDriver;
  return report.passed ? kExitPassed : kExitFailed;
}
