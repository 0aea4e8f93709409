#include "simdriver/process/SimHostConfig.h"

#include <fstream>
#include <set>
#include <sstream>

#include "simdriver/process/SimText.h"

namespace {

constexpr size_t kMaxDevices = 8;
constexpr size_t kMaxSerialChars = 19;
constexpr size_t kMaxNameChars = 41;

bool parseBool(const std::string& v, bool& out) {
  if (v == "yes" || v == "true" || v == "on" || v == "1") {
    out = true;
    return true;
  }
  if (v == "no" || v == "false" || v == "off" || v == "0") {
    out = false;
    return true;
  }
  return false;
}

bool parseRange(const std::string& v, uint32_t lo, uint32_t hi, uint32_t& out) {
  uint32_t n = 0;
  if (!simParseNumber(v, n) || n < lo || n > hi) return false;
  out = n;
  return true;
}

bool parseRates(const std::string& v, std::vector<uint32_t>& out) {
  std::vector<uint32_t> rates;
  std::stringstream in(v);
  std::string item;
  while (std::getline(in, item, ',')) {
    uint32_t r = 0;
    if (!simParseNumber(simTrim(item), r) || r == 0) return false;
    rates.push_back(r);
  }
  if (rates.empty() || rates.size() > DRAVIK_MAX_RATES) return false;
  out = rates;
  return true;
}

bool parseVersion(const std::string& v, DravikDriverInfo& info) {
  std::stringstream in(v);
  std::string part;
  uint32_t parts[3] = {};
  int n = 0;
  while (std::getline(in, part, '.')) {
    if (n == 3 || !simParseNumber(part, parts[n])) return false;
    ++n;
  }
  if (n != 3) return false;
  info.driverMajor = parts[0];
  info.driverMinor = parts[1];
  info.driverBuild = parts[2];
  return true;
}

std::u16string defaultSerial(size_t position) { return simFromUtf8(simFormat("T8-%04zu", position)); }

// One device.I.KEY setting; false with what is wrong.
bool setDeviceKey(SimDeviceConfig& d, const std::string& key, const std::string& value, std::string& what) {
  uint32_t n = 0;
  bool flag = false;
  if (key == "serial") {
    d.serial = simFromUtf8(value);
  } else if (key == "name") {
    d.name = simFromUtf8(value);
  } else if (key == "vid" || key == "pid") {
    if (!parseRange(value, 0, 0xFFFF, n)) {
      what = "expected a number 0..0xFFFF";
      return false;
    }
    (key == "vid" ? d.vendorId : d.productId) = static_cast<uint16_t>(n);
  } else if (key == "speed") {
    if (value != "high" && value != "full") {
      what = "expected high or full";
      return false;
    }
    d.highSpeed = value == "high";
  } else if (key == "echo" || key == "spdif" || key == "mixer" || key == "topology2") {
    if (!parseBool(value, flag)) {
      what = "expected yes or no";
      return false;
    }
    if (key == "echo") d.echoEffect = flag;
    if (key == "spdif") d.spdifInput = flag;
    if (key == "mixer") d.hasMixer = flag;
    if (key == "topology2") d.topologyType2 = flag;
  } else {
    what = "unknown device setting '" + key + "'";
    return false;
  }
  return true;
}

bool setKey(SimHostOptions& o, const std::string& key, const std::string& value, std::string& what) {
  SimDriverConfig& c = o.driver;
  uint32_t n = 0;
  if (key.rfind("device.", 0) == 0) {
    const size_t dot = key.find('.', 7);
    if (dot == std::string::npos) {
      what = "expected device.<1..8>.<setting>";
      return false;
    }
    uint32_t index = 0;
    if (!simParseNumber(key.substr(7, dot - 7), index) || index < 1 || index > kMaxDevices) {
      what = "device index must be 1..8";
      return false;
    }
    if (c.devices.size() < index) simSetDeviceCount(c, index);
    return setDeviceKey(c.devices[index - 1], key.substr(dot + 1), value, what);
  }
  if (key == "pipe") {
    if (value.empty()) {
      what = "empty pipe name";
      return false;
    }
    o.pipe = simFromUtf8(value);
  } else if (key == "devices") {
    if (!parseRange(value, 0, kMaxDevices, n)) {
      what = "expected a device count 0..8";
      return false;
    }
    simSetDeviceCount(c, n);
  } else if (key == "rates") {
    if (!parseRates(value, c.sampleRates)) {
      what = "expected 1 to 12 rates separated by commas";
      return false;
    }
  } else if (key == "rate") {
    if (!simParseNumber(value, n) || n == 0) {
      what = "expected a rate in Hz";
      return false;
    }
    c.sampleRate = n;
  } else if (key == "streaming-buffer") {
    if (!parseRange(value, 0, 5, c.streamingBufferSize)) {
      what = "expected 0..5";
      return false;
    }
  } else if (key == "asio-buffer") {
    if (!parseRange(value, 0, 3, c.asioBufferSize)) {
      what = "expected 0..3";
      return false;
    }
  } else if (key == "clock") {
    if (value != "realtime" && value != "manual") {
      what = "expected realtime or manual";
      return false;
    }
    c.clockMode = value == "manual" ? SimClockMode::Manual : SimClockMode::RealTime;
  } else if (key == "input") {
    if (value == "loopback") {
      c.inputSource.kind = SimInputSource::Kind::Loopback;
    } else if (value == "tone") {
      c.inputSource.kind = SimInputSource::Kind::Tone;
    } else if (value == "silence") {
      c.inputSource.kind = SimInputSource::Kind::Silence;
    } else {
      what = "expected loopback, tone or silence";
      return false;
    }
  } else if (key == "tone") {
    if (!parseRange(value, 1, 96000, c.inputSource.toneHz)) {
      what = "expected a frequency 1..96000";
      return false;
    }
  } else if (key == "driver-version") {
    if (!parseVersion(value, c.driverInfo)) {
      what = "expected MAJOR.MINOR.BUILD";
      return false;
    }
  } else if (key == "queue-capacity" || key == "journal-capacity") {
    if (!parseRange(value, 1, 1000000, n)) {
      what = "expected a number 1..1000000";
      return false;
    }
    (key == "queue-capacity" ? c.queueCapacity : c.journalCapacity) = n;
  } else {
    what = "unknown setting '" + key + "'";
    return false;
  }
  return true;
}

}  // namespace

void simSetDeviceCount(SimDriverConfig& config, size_t count) {
  if (count > kMaxDevices) count = kMaxDevices;
  while (config.devices.size() > count) config.devices.pop_back();
  while (config.devices.size() < count) {
    SimDeviceConfig d;
    d.serial = defaultSerial(config.devices.size() + 1);
    config.devices.push_back(d);
  }
}

bool simCheckDriverConfig(const SimDriverConfig& c, std::string& error) {
  if (c.devices.size() > kMaxDevices) {
    error = "at most 8 devices";
    return false;
  }
  std::set<std::u16string> serials;
  for (size_t i = 0; i < c.devices.size(); ++i) {
    const SimDeviceConfig& d = c.devices[i];
    const std::string where = simFormat("device %zu: ", i + 1);
    if (d.serial.empty() || d.serial.size() > kMaxSerialChars) {
      error = where + "the serial must have 1 to 19 characters";
      return false;
    }
    if (d.name.size() > kMaxNameChars) {
      error = where + "the name must have at most 41 characters";
      return false;
    }
    if (!serials.insert(d.serial).second) {
      error = where + "serial " + simToUtf8(d.serial) + " is used twice";
      return false;
    }
  }
  bool found = false;
  for (uint32_t r : c.sampleRates) found = found || r == c.sampleRate;
  if (!found) {
    error = simFormat("rate %u is not in the rate list", c.sampleRate);
    return false;
  }
  return true;
}

bool simParseHostConfig(const std::string& text, const std::string& source, SimHostOptions& options,
                        std::string& error) {
  SimHostOptions o = options;
  std::stringstream in(text);
  std::string line;
  size_t number = 0;
  while (std::getline(in, line)) {
    ++number;
    const std::string t = simTrim(line);
    if (t.empty() || t[0] == '#' || t[0] == ';') continue;
    const size_t eq = t.find('=');
    const std::string where = simFormat("%s:%zu: ", source.c_str(), number);
    if (eq == std::string::npos) {
      error = where + "expected 'key = value'";
      return false;
    }
    const std::string key = simTrim(t.substr(0, eq));
    const std::string value = simTrim(t.substr(eq + 1));
    if (key.empty()) {
      error = where + "missing key before '='";
      return false;
    }
    std::string what;
    if (!setKey(o, key, value, what)) {
      error = where + key + ": " + what;
      return false;
    }
  }
  std::string what;
  if (!simCheckDriverConfig(o.driver, what)) {
    error = source + ": " + what;
    return false;
  }
  options = o;
  return true;
}

bool simLoadHostConfig(const std::string& path, SimHostOptions& options, std::string& error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = path + ": cannot be read";
    return false;
  }
  std::stringstream buffer;
  buffer << file.rdbuf();
  return simParseHostConfig(buffer.str(), path, options, error);
}

const char* simUsage() {
  return "usage: tovix8sim [--pipe NAME] [--devices N] [--config FILE]\n"
         "       tovix8sim ctl [--pipe NAME] COMMAND [ARGS...]   (tovix8sim ctl help lists the commands)\n";
}

bool simParseCommandLine(int argc, const char* const* argv, SimCommandLine& out, std::string& error) {
  out = SimCommandLine();
  int i = 1;
  if (i < argc && std::string(argv[i]) == "ctl") {
    out.mode = SimCommandLine::Mode::Control;
    ++i;
  }
  for (; i < argc; ++i) {
    const std::string a = argv[i];
    if (out.mode == SimCommandLine::Mode::Control && !out.command.empty()) {
      out.command.push_back(a);  // everything after the command is its own
      continue;
    }
    if (a == "--help" || a == "-h" || a == "-?") {
      out.mode = SimCommandLine::Mode::Help;
      return true;
    }
    if (a == "--pipe" || a == "--devices" || a == "--config") {
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
        out.pipe = simFromUtf8(v);
      } else if (a == "--devices") {
        uint32_t n = 0;
        if (out.mode == SimCommandLine::Mode::Control || !simParseNumber(v, n) || n > kMaxDevices) {
          error = "--devices needs a count 0..8 (and is for serving)";
          return false;
        }
        out.devices = static_cast<int>(n);
      } else {
        if (out.mode == SimCommandLine::Mode::Control) {
          error = "--config is for serving";
          return false;
        }
        out.configFile = v;
      }
      continue;
    }
    if (out.mode == SimCommandLine::Mode::Control && !a.empty() && a[0] != '-') {
      out.command.push_back(a);
      continue;
    }
    error = "unknown argument '" + a + "'";
    return false;
  }
  if (out.mode == SimCommandLine::Mode::Control && out.command.empty()) {
    error = "ctl needs a command";
    return false;
  }
  return true;
}
