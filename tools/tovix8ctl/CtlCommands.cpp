#include "tools/tovix8ctl/CtlCommands.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>

#include "driverapi/DravikClient.h"
#include "driverapi/DravikIoctl.h"
#include "driverapi/DravikPipeTransport.h"
#include "platform/WnTime.h"
#include "platform/WnWait.h"
#include "tools/tovix8ctl/CtlNotificationNames.h"

namespace {

std::string format(const char* f, ...) {
  char buf[1024];
  va_list args;
  va_start(args, f);
  std::vsnprintf(buf, sizeof buf, f, args);
  va_end(args);
  return buf;
}

// A zero-terminated UTF-16 field as UTF-8 (names and serials are plain text).
std::string utf8(const char16_t* text, size_t capacity) {
  std::string out;
  for (size_t i = 0; i < capacity && text[i]; ++i) {
    const uint32_t c = text[i];
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::u16string utf16(const std::string& text) {
  std::u16string out;
  for (char c : text) out += static_cast<char16_t>(static_cast<unsigned char>(c));
  return out;
}

const char* stateName(uint32_t state) {
  static const char* const kNames[] = {"Undefined", "Down", "Ready", "Prepared", "Running", "Error", "NotSupported"};
  return state < 7 ? kNames[state] : "?";
}

}  // namespace

std::string ctlStatusText(DravikStatus status) {
  const char* name = DravikStatusName(status);
  if (std::strcmp(name, "???") == 0) return format("system error %u", status);
  return format("%s (0x%08X)", name, status);
}

int CtlRunner::failure(const std::string& what, DravikStatus status) {
  output_.err("tovix8ctl: " + what + " failed: " + ctlStatusText(status) + "\n");
  return CTL_EXIT_FAILED;
}

int CtlRunner::run(const CtlCommandLine& cl) {
  using C = CtlCommandLine::Command;
  if (cl.command == C::Help) {
    output_.out(ctlUsage());
    return CTL_EXIT_OK;
  }
  cl_ = &cl;
  std::unique_ptr<DravikPipeTransportFactory> pipe;
  DravikTransportFactory* previous = &dravikTransportFactory();
  if (!cl.pipe.empty()) {
    const std::u16string name = utf16(cl.pipe);
    pipe.reset(new (std::nothrow) DravikPipeTransportFactory(name.c_str()));
    if (!pipe) return failure("setting up", DRAVIK_STATUS_NO_MEMORY);
    dravikSetTransportFactory(pipe.get());
  }
  struct Restore {
    bool active;
    DravikTransportFactory* previous;
    ~Restore() {
      if (active) dravikSetTransportFactory(previous);
    }
  } restore{pipe != nullptr, previous};

  DravikCplClient client;
  client.setRequestTimeout(cl.timeoutMs);
  client_ = &client;
  // Reads need no events; requests need the message event for the reply;
  // watch is the main connection, which every notification reaches.
  DravikStatus connected = 0;
  if (cl.command == C::Status || cl.command == C::Counters)
    connected = client.connectPlain(DRAVIK_DEVICE_NAME, DRAVIK_INITIATOR_CPL_DEVICES);
  else if (cl.command == C::Watch)
    connected = client.connectAs(DRAVIK_DEVICE_NAME, DRAVIK_INITIATOR_CPL_MAIN);
  else
    connected = client.connectAs(DRAVIK_DEVICE_NAME, DRAVIK_INITIATOR_CPL_DEVICES);
  if (DravikStatus s = connected) {
    output_.err("tovix8ctl: cannot open the driver: " + ctlStatusText(s) + "\n");
    return CTL_EXIT_NO_DRIVER;
  }

  int result = CTL_EXIT_OK;
  switch (cl.command) {
    case C::Status:
      result = status();
      break;
    case C::Counters:
      result = counters();
      break;
    case C::Watch:
      result = watch(cl.watchSeconds);
      break;
    case C::SetRate:
      if (DravikStatus s = client.setSampleRate(cl.rate, cl.timeoutMs))
        result = failure(format("set-rate %u", cl.rate), s);
      else
        output_.out(format("set-rate %u: ok\n", cl.rate));
      break;
    case C::SetBuffers: {
      DravikBufferInfo info{};
      if (DravikStatus s = client.getBufferInfo(info)) {
        result = failure("reading the buffer settings", s);
        break;
      }
      if (DravikStatus s = client.setBufferSizes(cl.streamingBuffer, cl.asioBuffer, info.bufferSetting3))
        result = failure(format("set-buffers %u %u", cl.streamingBuffer, cl.asioBuffer), s);
      else
        output_.out(format("set-buffers %u %u: ok\n", cl.streamingBuffer, cl.asioBuffer));
      break;
    }
    case C::SelectDevice: {
      DravikStatus s = 0;
      if (cl.allDevices) {
        s = client.selectStreamingDevice(0, 0, 1);
      } else {
        DravikDeviceList list{};
        if ((s = client.getDeviceList(list)) != 0) {
          result = failure("reading the device list", s);
          break;
        }
        const DravikDeviceRecord* found = nullptr;
        for (uint32_t i = 0; i < list.count && i < DRAVIK_MAX_DEVICES; ++i)
          if (utf8(list.devices[i].serialNumber, DRAVIK_SERIAL_CHARS) == cl.serial) found = &list.devices[i];
        if (!found) {
          output_.err("tovix8ctl: no device with serial " + cl.serial + "\n");
          result = CTL_EXIT_FAILED;
          break;
        }
        s = client.selectStreamingDevice(found->deviceId0, found->deviceId1, 0);
      }
      const std::string which = cl.allDevices ? "all" : cl.serial;
      if (s)
        result = failure("select-device " + which, s);
      else
        output_.out("select-device " + which + ": ok\n");
      break;
    }
    case C::Policy:
      if (DravikStatus s = client.setPolicy(cl.policyOn ? DRAVIK_POLICY_FORBID_RATE_CHANGE : 0, cl.timeoutMs))
        result = failure(cl.policyOn ? "policy on" : "policy off", s);
      else
        output_.out(cl.policyOn ? "policy on: ok\n" : "policy off: ok\n");
      break;
    case C::Help:
      break;
  }
  client.disconnect();
  return result;
}

int CtlRunner::counters() {
  DravikErrorCounters c{};
  if (DravikStatus s = client_->getErrorCounters(c)) return failure("reading the error counters", s);
  output_.out(format("counters streaming=%u fifo=%u asio=%u wdm-audio=%u wdm-midi=%u\n", c.streamingErrors,
                     c.fifoErrors, c.asioErrors, c.wdmAudioErrors, c.wdmMidiErrors));
  return CTL_EXIT_OK;
}

int CtlRunner::status() {
  DravikDriverInfo info{};
  DravikStreamState st{};
  DravikSampleRateInfo rates{};
  DravikBufferInfo buffers{};
  uint32_t policy = 0;
  DravikDeviceList list{};
  if (DravikStatus s = client_->getDriverInfo(info)) return failure("reading the driver information", s);
  if (DravikStatus s = client_->getStreamState(st)) return failure("reading the stream state", s);
  if (DravikStatus s = client_->getSampleRateInfo(rates)) return failure("reading the sample rates", s);
  if (DravikStatus s = client_->getBufferInfo(buffers)) return failure("reading the buffer settings", s);
  if (DravikStatus s = client_->getPolicy(policy)) return failure("reading the policy", s);
  if (DravikStatus s = client_->getDeviceList(list)) return failure("reading the device list", s);

  std::string text;
  text += format("driver interface=%u.%u version=%u.%u.%u%s\n", info.interfaceMajor, info.interfaceMinor,
                 info.driverMajor, info.driverMinor, info.driverBuild, (info.buildFlags & 1) ? " debug" : "");
  text += format("stream state=%u name=%s mode=%u rate=%u\n", st.streamState, stateName(st.streamState),
                 st.streamingMode, st.sampleRate);
  std::string rateList;
  for (uint32_t i = 0; i < rates.count && i < DRAVIK_MAX_RATES; ++i)
    rateList += format("%s%u", i ? "," : "", rates.rates[i]);
  text += format("rates current=%u list=%s\n", rates.currentRate, rateList.empty() ? "-" : rateList.c_str());
  text += format("buffers streaming=%u asio=%u setting3=%u streaming-us=%u asio-us=%u asio-samples=%u\n",
                 buffers.streamingBufferSize, buffers.asioBufferSize, buffers.bufferSetting3,
                 buffers.streamingBufferMicros, buffers.asioBufferMicros, buffers.asioBufferSamples);
  text += format("policy flags=0x%08X rate-changes=%s\n", policy,
                 (policy & DRAVIK_POLICY_FORBID_RATE_CHANGE) ? "forbidden" : "allowed");
  const uint32_t count = list.count < DRAVIK_MAX_DEVICES ? list.count : DRAVIK_MAX_DEVICES;
  text += format("devices count=%u\n", count);
  for (uint32_t i = 0; i < count; ++i) {
    const DravikDeviceRecord& d = list.devices[i];
    text += format("device %u id=%08X:%08X serial=%s name=\"%s\" vid=%04X pid=%04X speed=%s streaming=%u\n", i + 1,
                   d.deviceId0, d.deviceId1, utf8(d.serialNumber, DRAVIK_SERIAL_CHARS).c_str(),
                   utf8(d.deviceName, DRAVIK_DEVICE_NAME_CHARS).c_str(), d.vendorId, d.productId,
                   (d.speedFlags & 1) ? "high" : "full", d.streamingFlags & 1u);
  }
  output_.out(text);
  return counters();
}

int CtlRunner::watch(uint32_t seconds) {
  // Older notifications (queued before this connection) are none of ours.
  client_->drainNotifications();
  output_.out(seconds ? format("watching for %u s\n", seconds) : std::string("watching until interrupted\n"));
  const uint64_t deadline = wnMonotonicNanos() + uint64_t{seconds} * 1000000000ull;
  for (;;) {
    uint32_t waitMs = WN_INFINITE;
    if (seconds) {
      const uint64_t now = wnMonotonicNanos();
      if (now >= deadline) break;
      waitMs = static_cast<uint32_t>((deadline - now + 999999) / 1000000);
    }
    const WnRawHandle event = client_->notificationEventHandle();
    const uint32_t w = wnWaitForSingle(event, waitMs);
    if (w == WN_WAIT_TIMEOUT) continue;
    if (w != WN_WAIT_OBJECT_0) return failure("waiting for notifications", DRAVIK_STATUS_FAILED);
    for (;;) {
      DravikMessage m;
      m.init(0, 0);
      const DravikStatus s = client_->nextNotification(m);
      if (s == DRAVIK_STATUS_NO_MORE_ITEMS) break;
      if (s) return failure("reading notifications", s);
      std::string line = format("%u %s", m.code, ctlNotificationName(m.code));
      if (m.payloadLength) {
        line += " payload=";
        const uint32_t n = m.payloadLength <= DRAVIK_MSG_MAX_PAYLOAD ? m.payloadLength : DRAVIK_MSG_MAX_PAYLOAD;
        if (n % 4 == 0) {
          for (uint32_t k = 0; k < n; k += 4) {
            uint32_t w32 = 0;
            std::memcpy(&w32, m.payload + k, 4);
            line += format("%s%08X", k ? "," : "", w32);
          }
        } else {
          for (uint32_t k = 0; k < n; ++k) line += format("%02X", m.payload[k]);
        }
      }
      output_.out(line + "\n");
    }
  }
  return CTL_EXIT_OK;
}
