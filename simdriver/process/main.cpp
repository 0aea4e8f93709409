// tovix8sim: the simulated kernel driver as a process (serve mode) and the
// client of its control interface (ctl mode). docs/TOOLS.md describes both.
#include <cstdio>
#include <string>

#include "simdriver/process/SimControlServer.h"
#include "simdriver/process/SimHost.h"
#include "simdriver/process/SimText.h"

namespace {

// Exit codes of ctl mode.
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitUnreachable = 3;

std::string quoteIfNeeded(const std::string& word) {
  if (!word.empty() && word.find_first_of(" \t\"\\") == std::string::npos) return word;
  return simQuote(word);
}

int control(const SimCommandLine& cl) {
  const std::u16string pipe = cl.pipe.empty() ? std::u16string(SIM_DEFAULT_PIPE) : cl.pipe;
  std::string line;
  for (const std::string& w : cl.command) line += (line.empty() ? "" : " ") + quoteIfNeeded(w);
  uint32_t error = 0;
  const SimControlAnswer answer = simSendControlCommand(pipe.c_str(), line, 10000, &error);
  std::fputs(answer.text.c_str(), answer.status == SIM_CONTROL_OK ? stdout : stderr);
  std::fflush(stdout);
  if (error) return kExitUnreachable;
  if (answer.status == SIM_CONTROL_OK) return 0;
  return answer.status == SIM_CONTROL_BAD_USAGE ? kExitUsage : kExitFailed;
}

int serve(const SimCommandLine& cl) {
  SimHostOptions options;
  std::string error;
  if (!cl.configFile.empty() && !simLoadHostConfig(cl.configFile, options, error)) {
    std::fprintf(stderr, "tovix8sim: %s\n", error.c_str());
    return kExitUsage;
  }
  if (!cl.pipe.empty()) options.pipe = cl.pipe;
  if (cl.devices >= 0) simSetDeviceCount(options.driver, static_cast<size_t>(cl.devices));
  SimHost host(options);
  if (host.start(error) != 0) {
    std::fprintf(stderr, "tovix8sim: %s\n", error.c_str());
    return kExitFailed;
  }
  std::printf("tovix8sim: serving %s with %zu device(s); stop with: tovix8sim ctl --pipe %s stop\n",
              simToUtf8(host.pipePath(), WN_PIPE_NAME_CHARS).c_str(), options.driver.devices.size(),
              simToUtf8(host.pipePath(), WN_PIPE_NAME_CHARS).c_str());
  std::fflush(stdout);
  host.waitForStop();
  host.stop();
  std::printf("tovix8sim: stopped\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  SimCommandLine cl;
  std::string error;
  if (!simParseCommandLine(argc, argv, cl, error)) {
    std::fprintf(stderr, "tovix8sim: %s\n%s", error.c_str(), simUsage());
    return kExitUsage;
  }
  if (cl.mode == SimCommandLine::Mode::Help) {
    std::fputs(simUsage(), stdout);
    return 0;
  }
  return cl.mode == SimCommandLine::Mode::Control ? control(cl) : serve(cl);
}
