#include "simdriver/process/SimCommandInterpreter.h"

#include <cstring>
#include <functional>

#include "driverapi/DravikRecords.h"
#include "platform/WnDeviceNotification.h"
#include "simdriver/SimScenario.h"
#include "simdriver/process/SimDeviceEventPublisher.h"
#include "simdriver/process/SimIoctlNames.h"
#include "simdriver/process/SimPipeServer.h"
#include "simdriver/process/SimStateDump.h"
#include "simdriver/process/SimText.h"

namespace {

constexpr size_t kDefaultJournalShown = 50;
constexpr size_t kMaxNotifyWords = 128;  // a 512-byte payload

const char kHelp[] =
    "commands:\n"
    "  help                                   this list\n"
    "  dump [journal=N]                       the whole state (N newest journal entries, default 50)\n"
    "  devices                                the device list\n"
    "  plug [SERIAL] [name=TEXT] [vid=N] [pid=N] [speed=high|full] [echo=yes|no] [spdif=yes|no]\n"
    "       [mixer=yes|no] [topology2=yes|no]  plug a new device\n"
    "  unplug DEVICE | replug DEVICE          take a device away / take it away and plug it again\n"
    "  activity INDEX VALUE                   activity 0..2 as the hardware and WDM report it\n"
    "  use-counts A B                         the two use counts\n"
    "  fail CODE STATUS [TIMES|always] [handle=HANDLE]   make a request fail\n"
    "  clear-faults [CODE]                    forget injected failures\n"
    "  delay-replies HANDLE MS                replies to the handle arrive MS later (0: at once)\n"
    "  hold-replies HANDLE | release-replies HANDLE\n"
    "  hold-new-replies on|off                hold the replies to every handle opened from now on\n"
    "  spdif DEVICE STATE [FORMAT [RATE]]     SPDIF input state 0..3, format 0..2, rate\n"
    "  error-counters [streaming=N] [fifo=N] [asio=N] [wdm-audio=N] [wdm-midi=N]\n"
    "  stream-state N                         force the streaming state\n"
    "  notify CODE [WORD...]                  a driver notification with 32-bit payload words\n"
    "  clock realtime|manual | step           the ASIO clock; one switch in the manual mode\n"
    "  journal-clear                          forget the journal\n"
    "  stop                                   end the simulator\n"
    "DEVICE: position in the device list or serial; HANDLE: number or initiator=TYPE;\n"
    "CODE: request name or number; STATUS: DRAVIK_STATUS_* name or number.\n";

SimControlAnswer ok(const std::string& text) { return {SIM_CONTROL_OK, text + "\n"}; }
SimControlAnswer usage(const std::string& text) { return {SIM_CONTROL_BAD_USAGE, "error: " + text + "\n"}; }
SimControlAnswer failed(const std::string& what, DravikStatus s) {
  return {SIM_CONTROL_FAILED, simFormat("error: %s (status 0x%08X %s)\n", what.c_str(), s, DravikStatusName(s))};
}

// "key=value" split; false for a word without '='.
bool keyValue(const std::string& word, std::string& key, std::string& value) {
  const size_t eq = word.find('=');
  if (eq == std::string::npos) return false;
  key = word.substr(0, eq);
  value = word.substr(eq + 1);
  return true;
}

bool parseYesNo(const std::string& v, bool& out) {
  if (v == "yes" || v == "1" || v == "on" || v == "true") return out = true, true;
  if (v == "no" || v == "0" || v == "off" || v == "false") return out = false, true;
  return false;
}

}  // namespace

bool simParseStatus(const std::string& text, DravikStatus& status) {
  if (simParseNumber(text, status)) return true;
  if (text == DravikStatusName(0)) return status = 0, true;
  for (DravikStatus s = 0xE0000001u; s <= 0xE0000100u; ++s)
    if (text == DravikStatusName(s)) return status = s, true;
  return false;
}

SimControlAnswer SimCommandInterpreter::runLine(const std::string& line) {
  std::vector<std::string> words;
  if (!simSplitWords(line, words)) return usage("unterminated quote");
  return run(words);
}

SimControlAnswer SimCommandInterpreter::run(const std::vector<std::string>& words) {
  SimScenario& sc = driver_.scenario();
  if (words.empty()) return usage("no command (try help)");
  const std::string& cmd = words[0];
  const size_t argc = words.size() - 1;
  auto arg = [&](size_t i) -> const std::string& { return words[i + 1]; };

  // DEVICE -> the present device's record.
  auto findDevice = [&](const std::string& which, DravikDeviceRecord& out) {
    const std::vector<DravikDeviceRecord> list = sc.deviceList();
    uint32_t index = 0;
    if (simParseNumber(which, index)) {
      if (index < 1 || index > list.size()) return false;
      out = list[index - 1];
      return true;
    }
    const std::u16string serial = simFromUtf8(which);
    for (const DravikDeviceRecord& r : list)
      if (simFromUtf8(simToUtf8(r.serialNumber, DRAVIK_SERIAL_CHARS)) == serial) {
        out = r;
        return true;
      }
    return false;
  };
  auto serialOf = [](const DravikDeviceRecord& r) {
    return simFromUtf8(simToUtf8(r.serialNumber, DRAVIK_SERIAL_CHARS));
  };
  // HANDLE -> a live handle.
  auto findHandle = [&](const std::string& which, SimHandleId& out) {
    std::string key, value;
    uint32_t n = 0;
    if (keyValue(which, key, value)) {
      if (key != "initiator" || !simParseNumber(value, n)) return false;
      out = sc.findHandle(n);
      return out != SIM_NO_HANDLE;
    }
    if (!simParseNumber(which, n) || n == SIM_NO_HANDLE) return false;
    for (const SimHandleInfo& h : sc.handles())
      if (h.id == n) return out = n, true;
    return false;
  };
  // A change of the device set, announced to other processes.
  auto deviceChange = [&](const std::function<DravikStatus(std::vector<WnDeviceEventRecord>&)>& f) {
    if (hooks_.publisher) return hooks_.publisher->change(f);
    std::vector<WnDeviceEventRecord> ignored;
    return f(ignored);
  };

  if (cmd == "help") return {SIM_CONTROL_OK, kHelp};

  if (cmd == "dump") {
    size_t shown = kDefaultJournalShown;
    for (size_t i = 0; i < argc; ++i) {
      std::string key, value;
      uint32_t n = 0;
      if (!keyValue(arg(i), key, value) || key != "journal" || !simParseNumber(value, n))
        return usage("dump [journal=N]");
      shown = n;
    }
    SimHostInfo info;
    info.pipe = hooks_.pipe;
    if (hooks_.server) {
      info.connections = hooks_.server->connections();
      info.badFrames = hooks_.server->badFrames();
    }
    if (hooks_.publisher) {
      info.subscribers = hooks_.publisher->subscriberCount();
      info.deviceEvents = hooks_.publisher->published();
    }
    return {SIM_CONTROL_OK, simDumpState(sc, info, shown)};
  }

  if (cmd == "devices") {
    std::string text;
    const std::vector<DravikDeviceRecord> list = sc.deviceList();
    text += simFormat("devices count=%zu\n", list.size());
    for (size_t i = 0; i < list.size(); ++i)
      text += simFormat("device %zu id=%08X:%08X serial=%s\n", i + 1, list[i].deviceId0, list[i].deviceId1,
                        simQuote(simToUtf8(list[i].serialNumber, DRAVIK_SERIAL_CHARS)).c_str());
    return {SIM_CONTROL_OK, text};
  }

  if (cmd == "plug") {
    SimDeviceConfig config;
    bool serialGiven = false;
    for (size_t i = 0; i < argc; ++i) {
      std::string key, value;
      if (!keyValue(arg(i), key, value)) {
        if (serialGiven) return usage("plug takes one serial");
        config.serial = simFromUtf8(arg(i));
        serialGiven = true;
        continue;
      }
      uint32_t n = 0;
      bool flag = false;
      if (key == "name") {
        config.name = simFromUtf8(value);
      } else if ((key == "vid" || key == "pid") && simParseNumber(value, n) && n <= 0xFFFF) {
        (key == "vid" ? config.vendorId : config.productId) = static_cast<uint16_t>(n);
      } else if (key == "speed" && (value == "high" || value == "full")) {
        config.highSpeed = value == "high";
      } else if ((key == "echo" || key == "spdif" || key == "mixer" || key == "topology2") && parseYesNo(value, flag)) {
        if (key == "echo") config.echoEffect = flag;
        if (key == "spdif") config.spdifInput = flag;
        if (key == "mixer") config.hasMixer = flag;
        if (key == "topology2") config.topologyType2 = flag;
      } else {
        return usage("plug: bad setting '" + arg(i) + "'");
      }
    }
    if (config.serial.empty() || config.serial.size() >= DRAVIK_SERIAL_CHARS) return usage("plug: bad serial");
    if (!serialGiven) {
      // The first default serial no present device has.
      const std::vector<DravikDeviceRecord> list = sc.deviceList();
      for (unsigned n = 1;; ++n) {
        config.serial = simFromUtf8(simFormat("T8-%04u", n));
        bool used = false;
        for (const DravikDeviceRecord& r : list) used = used || serialOf(r) == config.serial;
        if (!used) break;
      }
    }
    DravikDeviceId ids{};
    const DravikStatus s = deviceChange([&](std::vector<WnDeviceEventRecord>& events) {
      const DravikStatus r = sc.plugDevice(config, &ids);
      if (r == 0) events.push_back(simDeviceEvent(WN_DBT_DEVICEARRIVAL, config.vendorId, config.productId, config.serial));
      return r;
    });
    if (s) return failed("cannot plug " + simToUtf8(config.serial), s);
    return ok(simFormat("plugged serial=%s id=%08X:%08X", simQuote(simToUtf8(config.serial)).c_str(), ids.deviceId0,
                        ids.deviceId1));
  }

  if (cmd == "unplug" || cmd == "replug") {
    if (argc != 1) return usage(cmd + " DEVICE");
    DravikDeviceRecord r{};
    if (!findDevice(arg(0), r)) return failed("no device " + arg(0), DRAVIK_STATUS_OBJECT_NOT_FOUND);
    const std::u16string serial = serialOf(r);
    DravikDeviceId ids{};
    const DravikStatus s = deviceChange([&](std::vector<WnDeviceEventRecord>& events) {
      const DravikStatus st = cmd == "unplug" ? sc.unplugDevice(serial) : sc.replugDevice(serial, &ids);
      if (st == 0) {
        events.push_back(simDeviceEvent(WN_DBT_DEVICEREMOVECOMPLETE, r.vendorId, r.productId, serial));
        if (cmd == "replug") events.push_back(simDeviceEvent(WN_DBT_DEVICEARRIVAL, r.vendorId, r.productId, serial));
      }
      return st;
    });
    if (s) return failed(cmd + " " + arg(0), s);
    if (cmd == "unplug") return ok("unplugged serial=" + simQuote(simToUtf8(serial)));
    return ok(simFormat("replugged serial=%s id=%08X:%08X", simQuote(simToUtf8(serial)).c_str(), ids.deviceId0,
                        ids.deviceId1));
  }

  if (cmd == "activity") {
    uint32_t index = 0;
    uint32_t value = 0;
    if (argc != 2 || !simParseNumber(arg(0), index) || index > 2 || !simParseNumber(arg(1), value))
      return usage("activity INDEX(0..2) VALUE");
    sc.setActivity(index, value);
    return ok(simFormat("activity%u=%u", index, value));
  }

  if (cmd == "use-counts") {
    uint32_t a = 0;
    uint32_t b = 0;
    if (argc != 2 || !simParseNumber(arg(0), a) || !simParseNumber(arg(1), b)) return usage("use-counts A B");
    sc.setUseCounts(a, b);
    return ok(simFormat("use-counts=%u,%u", a, b));
  }

  if (cmd == "fail") {
    uint32_t code = 0;
    DravikStatus status = 0;
    if (argc < 2 || !simParseIoctl(arg(0), code) || !simParseStatus(arg(1), status))
      return usage("fail CODE STATUS [TIMES|always] [handle=HANDLE]");
    int times = 1;
    SimHandleId handle = SIM_NO_HANDLE;
    for (size_t i = 2; i < argc; ++i) {
      std::string key, value;
      uint32_t n = 0;
      if (arg(i) == "always") {
        times = SIM_FAULT_ALWAYS;
      } else if (keyValue(arg(i), key, value) && key == "handle") {
        if (!findHandle(value, handle)) return failed("no handle " + value, DRAVIK_STATUS_OBJECT_NOT_FOUND);
      } else if (simParseNumber(arg(i), n) && n >= 1 && n <= 1000000) {
        times = static_cast<int>(n);
      } else {
        return usage("fail CODE STATUS [TIMES|always] [handle=HANDLE]");
      }
    }
    sc.failRequest(code, status, times, handle);
    const char* name = simIoctlName(code);
    return ok(simFormat("fail code=0x%08X name=%s status=0x%08X times=%s handle=%u", code, name ? name : "?", status,
                        times == SIM_FAULT_ALWAYS ? "always" : simFormat("%d", times).c_str(), handle));
  }

  if (cmd == "clear-faults") {
    uint32_t code = 0;
    if (argc > 1 || (argc == 1 && !simParseIoctl(arg(0), code))) return usage("clear-faults [CODE]");
    sc.clearFaults(code);
    return ok("faults cleared");
  }

  if (cmd == "delay-replies" || cmd == "hold-replies" || cmd == "release-replies") {
    const bool delay = cmd == "delay-replies";
    uint32_t ms = 0;
    if (argc != (delay ? 2u : 1u) || (delay && !simParseNumber(arg(1), ms))) return usage(cmd + (delay ? " HANDLE MS" : " HANDLE"));
    SimHandleId h = SIM_NO_HANDLE;
    if (!findHandle(arg(0), h)) return failed("no handle " + arg(0), DRAVIK_STATUS_OBJECT_NOT_FOUND);
    const DravikStatus s = delay ? sc.delayReplies(h, ms) : cmd == "hold-replies" ? sc.holdReplies(h) : sc.releaseReplies(h);
    if (s) return failed(cmd, s);
    return ok(simFormat("%s handle=%u", cmd.c_str(), h));
  }

  if (cmd == "hold-new-replies") {
    if (argc != 1 || (arg(0) != "on" && arg(0) != "off")) return usage("hold-new-replies on|off");
    if (!hooks_.server) return failed("no pipe server", DRAVIK_STATUS_NOT_SUPPORTED);
    hooks_.server->setHoldNewReplies(arg(0) == "on");
    return ok("hold-new-replies " + arg(0));
  }

  if (cmd == "spdif") {
    uint32_t state = 0;
    uint32_t format = 1;
    uint32_t rate = 0;
    if (argc < 2 || argc > 4 || !simParseNumber(arg(1), state) || state > 3 ||
        (argc > 2 && (!simParseNumber(arg(2), format) || format > 2)) || (argc > 3 && !simParseNumber(arg(3), rate)))
      return usage("spdif DEVICE STATE(0..3) [FORMAT(0..2) [RATE]]");
    if (argc <= 3) rate = state == 3 ? 48000 : 0;
    DravikDeviceRecord r{};
    if (!findDevice(arg(0), r)) return failed("no device " + arg(0), DRAVIK_STATUS_OBJECT_NOT_FOUND);
    if (DravikStatus s = sc.setSpdifInput(serialOf(r), state, format, rate)) return failed("spdif", s);
    return ok(simFormat("spdif state=%u format=%u rate=%u", state, format, rate));
  }

  if (cmd == "error-counters") {
    DravikErrorCounters c = sc.settings().errorCounters;
    for (size_t i = 0; i < argc; ++i) {
      std::string key, value;
      uint32_t n = 0;
      if (!keyValue(arg(i), key, value) || !simParseNumber(value, n)) return usage("error-counters [NAME=N]...");
      if (key == "streaming") c.streamingErrors = n;
      else if (key == "fifo") c.fifoErrors = n;
      else if (key == "asio") c.asioErrors = n;
      else if (key == "wdm-audio") c.wdmAudioErrors = n;
      else if (key == "wdm-midi") c.wdmMidiErrors = n;
      else return usage("error-counters: unknown counter '" + key + "'");
    }
    sc.setErrorCounters(c);
    return ok(simFormat("counters streaming=%u fifo=%u asio=%u wdm-audio=%u wdm-midi=%u", c.streamingErrors,
                        c.fifoErrors, c.asioErrors, c.wdmAudioErrors, c.wdmMidiErrors));
  }

  if (cmd == "stream-state") {
    uint32_t n = 0;
    if (argc != 1 || !simParseNumber(arg(0), n)) return usage("stream-state N");
    sc.forceStreamState(n);
    return ok(simFormat("stream state=%u", n));
  }

  if (cmd == "notify") {
    uint32_t code = 0;
    if (argc < 1 || !simParseNumber(arg(0), code) || argc - 1 > kMaxNotifyWords) return usage("notify CODE [WORD...]");
    uint32_t payload[kMaxNotifyWords] = {};
    for (size_t i = 1; i < argc; ++i)
      if (!simParseNumber(arg(i), payload[i - 1])) return usage("notify: bad payload word '" + arg(i) + "'");
    sc.raiseNotification(code, argc > 1 ? payload : nullptr, static_cast<uint32_t>((argc - 1) * 4));
    return ok(simFormat("notified code=%u", code));
  }

  if (cmd == "clock") {
    if (argc != 1 || (arg(0) != "realtime" && arg(0) != "manual")) return usage("clock realtime|manual");
    sc.setClockMode(arg(0) == "manual" ? SimClockMode::Manual : SimClockMode::RealTime);
    return ok("clock " + arg(0));
  }

  if (cmd == "step") {
    if (argc != 0) return usage("step");
    if (DravikStatus s = sc.stepSwitch()) return failed("step", s);
    const SimAsioStats a = sc.asioStats();
    return ok(simFormat("switch half=%u switches=%llu", a.lastHalfIndex, static_cast<unsigned long long>(a.switches)));
  }

  if (cmd == "journal-clear") {
    sc.clearJournal();
    return ok("journal cleared");
  }

  if (cmd == "stop") {
    if (!hooks_.stoppable) return failed("this simulator cannot be stopped from here", DRAVIK_STATUS_NOT_SUPPORTED);
    SimControlAnswer a = ok("stopping");
    a.stop = true;
    return a;
  }

  return usage("unknown command '" + cmd + "' (try help)");
}
