// tovix8ctl: a small command-line client of the driver interface library
// (docs/TOOLS.md).
#include <cstdio>
#include <string>

#include "tools/tovix8ctl/CtlCommandLine.h"
#include "tools/tovix8ctl/CtlCommands.h"

namespace {

class StdOutput : public CtlOutput {
public:
  void out(const std::string& text) override {
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
  }
  void err(const std::string& text) override {
    std::fputs(text.c_str(), stderr);
    std::fflush(stderr);
  }
};

}  // namespace

int main(int argc, char** argv) {
  CtlCommandLine cl;
  std::string error;
  StdOutput output;
  if (!ctlParseCommandLine(argc, argv, cl, error)) {
    output.err("tovix8ctl: " + error + "\n" + ctlUsage());
    return CTL_EXIT_USAGE;
  }
  CtlRunner runner(output);
  return runner.run(cl);
}
