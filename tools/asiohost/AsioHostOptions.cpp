#include "tools/asiohost/AsioHostOptions.h"

#include <cstdlib>

namespace {

bool unsignedNumber(const std::string& text, uint64_t limit, uint64_t& out) {
  if (text.empty() || text.size() > 19) return false;
  uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<uint64_t>(c - '0');
  }
  if (v > limit) return false;
  out = v;
  return true;
}

// A positive decimal number of seconds ("10", "0.5").
bool seconds(const std::string& text, double& out) {
  if (text.empty() || text.size() > 12) return false;
  bool dot = false;
  for (char c : text) {
    if (c == '.' && !dot) {
      dot = true;
      continue;
    }
    if (c < '0' || c > '9') return false;
  }
  const double v = std::strtod(text.c_str(), nullptr);
  if (!(v > 0.0) || v > 86400.0) return false;
  out = v;
  return true;
}

bool onOff(const std::string& text, bool& out) {
  if (text == "on") return out = true, true;
  if (text == "off") return out = false, true;
  return false;
}

}  // namespace

const char* asioHostUsage() {
  return "usage: asiohost [--buffer FRAMES] [--rate HZ] [--seconds S] [--switches N] [--timeinfo on|off]\n"
         "                [--delay-us N] [--loopback on|off] [--report FILE] [--inprocess]\n"
         "  --buffer FRAMES    frames per buffer half (default: the driver's preferred size)\n"
         "  --rate HZ          sample rate to set before streaming (default: keep the current one)\n"
         "  --seconds S        how long to stream (default 10)\n"
         "  --switches N       stop once N buffer switches were delivered (default: no limit)\n"
         "  --timeinfo on|off  ask for bufferSwitchTimeInfo (default on)\n"
         "  --delay-us N       busy delay inside every buffer switch (a slow host)\n"
         "  --loopback on|off  check that the outputs come back on the inputs (default on)\n"
         "  --report FILE      also write the report to FILE\n"
         "  --inprocess        run the simulated driver and the service inside this program\n"
         "exit codes: 0 all checks passed, 1 a check failed, 2 usage, 3 no driver\n";
}

bool asioHostParseCommandLine(int argc, const char* const* argv, AsioHostOptions& out, std::string& error) {
  out = AsioHostOptions();
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      out.help = true;
      continue;
    }
    if (a == "--inprocess") {
      out.inProcess = true;
      continue;
    }
    const bool takesValue = a == "--buffer" || a == "--rate" || a == "--seconds" || a == "--switches" ||
                            a == "--timeinfo" || a == "--delay-us" || a == "--loopback" || a == "--report";
    if (!takesValue) {
      error = "unknown option '" + a + "'";
      return false;
    }
    if (i + 1 >= argc) {
      error = a + " needs a value";
      return false;
    }
    const std::string v = argv[++i];
    uint64_t n = 0;
    bool ok = true;
    if (a == "--buffer") {
      ok = unsignedNumber(v, 65536, n) && n > 0;
      out.bufferFrames = static_cast<uint32_t>(n);
    } else if (a == "--rate") {
      ok = unsignedNumber(v, 0xFFFFFFFFu, n) && n > 0;
      out.rate = static_cast<uint32_t>(n);
    } else if (a == "--seconds") {
      ok = seconds(v, out.seconds);
    } else if (a == "--switches") {
      ok = unsignedNumber(v, 1000000000u, n) && n > 0;
      out.switchLimit = n;
    } else if (a == "--timeinfo") {
      ok = onOff(v, out.timeInfo);
    } else if (a == "--delay-us") {
      ok = unsignedNumber(v, 10000000u, n);
      out.delayMicros = static_cast<uint32_t>(n);
    } else if (a == "--loopback") {
      ok = onOff(v, out.loopback);
    } else {
      ok = !v.empty();
      out.reportFile = v;
    }
    if (!ok) {
      error = "bad value '" + v + "' for " + a;
      return false;
    }
  }
  return true;
}
