#include "tools/tovix8ctl/CtlCommandLine.h"

#include <vector>

namespace {

bool number(const std::string& text, uint32_t& out) {
  if (text.empty() || text.size() > 10) return false;
  uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<uint64_t>(c - '0');
  }
  if (v > 0xFFFFFFFFull) return false;
  out = static_cast<uint32_t>(v);
  return true;
}

}  // namespace

const char* ctlUsage() {
  return "usage: tovix8ctl [--pipe NAME] [--timeout MS] COMMAND [ARGS]\n"
         "commands:\n"
         "  status                      driver version, stream state, rate, buffers, devices, counters\n"
         "  set-rate HZ                 change the sample rate (through the service)\n"
         "  set-buffers S A             streaming buffer size 0..5 and ASIO buffer size 0..3\n"
         "  select-device SERIAL|all    stream with one device or with all\n"
         "  policy on|off               on: sample rate changes are forbidden\n"
         "  counters                    the driver's error counters\n"
         "  watch [SECONDS]             print every notification until interrupted or for SECONDS\n"
         "exit codes: 0 done, 1 the request failed, 2 usage, 3 no driver\n";
}

bool ctlParseCommandLine(int argc, const char* const* argv, CtlCommandLine& out, std::string& error) {
  out = CtlCommandLine();
  std::vector<std::string> words;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (words.empty() && (a == "--pipe" || a == "--timeout")) {
      if (i + 1 >= argc) {
        error = a + " needs a value";
        return false;
      }
      const std::string v = argv[++i];
      if (a == "--pipe") {
        if (v.empty()) {
          error = "--pipe needs a name";
          return false;
        }
        out.pipe = v;
      } else if (!number(v, out.timeoutMs) || out.timeoutMs == 0) {
        error = "--timeout needs milliseconds above 0";
        return false;
      }
      continue;
    }
    words.push_back(a);
  }
  if (words.empty()) {
    error = "no command";
    return false;
  }
  const std::string& cmd = words[0];
  const size_t n = words.size() - 1;
  auto wrongArgs = [&](const char* form) {
    error = std::string("usage: tovix8ctl ") + form;
    return false;
  };
  if (cmd == "help" || cmd == "--help" || cmd == "-h") {
    out.command = CtlCommandLine::Command::Help;
  } else if (cmd == "status" || cmd == "counters") {
    if (n != 0) return wrongArgs(cmd == "status" ? "status" : "counters");
    out.command = cmd == "status" ? CtlCommandLine::Command::Status : CtlCommandLine::Command::Counters;
  } else if (cmd == "set-rate") {
    if (n != 1 || !number(words[1], out.rate) || out.rate == 0) return wrongArgs("set-rate HZ");
    out.command = CtlCommandLine::Command::SetRate;
  } else if (cmd == "set-buffers") {
    if (n != 2 || !number(words[1], out.streamingBuffer) || !number(words[2], out.asioBuffer))
      return wrongArgs("set-buffers STREAMING ASIO");
    out.command = CtlCommandLine::Command::SetBuffers;
  } else if (cmd == "select-device") {
    if (n != 1 || words[1].empty()) return wrongArgs("select-device SERIAL|all");
    out.command = CtlCommandLine::Command::SelectDevice;
    out.allDevices = words[1] == "all";
    if (!out.allDevices) out.serial = words[1];
  } else if (cmd == "policy") {
    if (n != 1 || (words[1] != "on" && words[1] != "off")) return wrongArgs("policy on|off");
    out.command = CtlCommandLine::Command::Policy;
    out.policyOn = words[1] == "on";
  } else if (cmd == "watch") {
    if (n > 1 || (n == 1 && (!number(words[1], out.watchSeconds) || out.watchSeconds == 0)))
      return wrongArgs("watch [SECONDS]");
    out.command = CtlCommandLine::Command::Watch;
  } else {
    error = "unknown command '" + cmd + "'";
    return false;
  }
  return true;
}
