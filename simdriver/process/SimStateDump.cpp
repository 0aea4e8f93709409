#include "simdriver/process/SimStateDump.h"

#include <cstring>

#include "driverapi/DravikIoctl.h"
#include "driverapi/DravikMessage.h"
#include "simdriver/process/SimIoctlNames.h"
#include "simdriver/process/SimText.h"

namespace {

std::string ids(uint32_t id0, uint32_t id1) { return simFormat("%08X:%08X", id0, id1); }

std::string joinRates(const DravikSampleRateInfo& r) {
  std::string out;
  for (uint32_t i = 0; i < r.count && i < DRAVIK_MAX_RATES; ++i) {
    if (i) out += ',';
    out += simFormat("%u", r.rates[i]);
  }
  return out.empty() ? "-" : out;
}

template <class Entry>
std::string names(const Entry* entries, uint32_t count) {
  std::string out;
  for (uint32_t i = 0; i < count && i < DRAVIK_MAX_NAMED_CHANNELS; ++i) {
    if (i) out += ',';
    out += simQuote(simToUtf8(entries[i].name, DRAVIK_ENDPOINT_NAME_CHARS));
  }
  return out.empty() ? "-" : out;
}

// A few words about the request's input that tell what it asked for.
std::string journalDetail(const SimJournalEntry& e) {
  auto u32 = [&](size_t offset, uint32_t& v) {
    if (e.input.size() < offset + 4) return false;
    std::memcpy(&v, e.input.data() + offset, 4);
    return true;
  };
  uint32_t a = 0;
  uint32_t b = 0;
  switch (e.code) {
    case IOCTL_DRAVIK_POST_MESSAGE:
      if (u32(8, a) && u32(12, b)) return simFormat(" msg-type=%u msg-code=%u", a, b);
      break;
    case IOCTL_DRAVIK_REGISTER_INITIATOR:
      if (u32(0, a)) return simFormat(" initiator=%u", a);
      break;
    case IOCTL_DRAVIK_STREAM_COMMAND:
      if (u32(0, a) && u32(4, b)) return simFormat(" command=%u argument=%u", a, b);
      break;
    case IOCTL_DRAVIK_SET_SAMPLE_RATE:
    case IOCTL_DRAVIK_SET_PENDING_SAMPLE_RATE:
      if (u32(0, a)) return simFormat(" rate=%u", a);
      break;
    case IOCTL_DRAVIK_OPEN_DEVICE:
      if (u32(0, a) && u32(4, b)) return " device=" + ids(a, b);
      break;
    default:
      break;
  }
  return std::string();
}

}  // namespace

const char* simStreamStateName(uint32_t state) {
  static const char* const kNames[] = {"Undefined", "Down", "Ready", "Prepared", "Running", "Error", "NotSupported"};
  return state < 7 ? kNames[state] : "?";
}

std::string simDumpState(SimScenario& sc, const SimHostInfo& host, size_t journalEntries) {
  std::string out = "tovix8sim-dump 1\n";
  out += "pipe " + simQuote(host.pipe) + "\n";

  const SimSettings s = sc.settings();
  const DravikStreamState& st = s.streamState;
  out += simFormat("stream state=%u name=%s mode=%u rate=%u activity=%u,%u,%u use-counts=%u,%u\n", st.streamState,
                   simStreamStateName(st.streamState), st.streamingMode, st.sampleRate, st.activity0, st.activity1,
                   st.activity2, st.useCount0, st.useCount1);
  out += simFormat("rates current=%u pending=%u list=%s\n", s.sampleRates.currentRate, s.pendingSampleRate,
                   joinRates(s.sampleRates).c_str());
  const DravikBufferInfo& b = s.bufferInfo;
  out += simFormat("buffers streaming=%u asio=%u setting3=%u streaming-us=%u asio-us=%u asio-samples=%u\n",
                   b.streamingBufferSize, b.asioBufferSize, b.bufferSetting3, b.streamingBufferMicros,
                   b.asioBufferMicros, b.asioBufferSamples);
  out += simFormat("policy flags=0x%08X\n", s.policy);
  out += simFormat("selection all=%u device=%s\n", s.selection.allDevices,
                   ids(s.selection.deviceId0, s.selection.deviceId1).c_str());
  const DravikErrorCounters& c = s.errorCounters;
  out += simFormat("counters streaming=%u fifo=%u asio=%u wdm-audio=%u wdm-midi=%u\n", c.streamingErrors,
                   c.fifoErrors, c.asioErrors, c.wdmAudioErrors, c.wdmMidiErrors);

  const std::vector<DravikDeviceRecord> devices = sc.deviceList();
  out += simFormat("devices count=%zu\n", devices.size());
  for (size_t i = 0; i < devices.size(); ++i) {
    const DravikDeviceRecord& r = devices[i];
    const size_t n = i + 1;
    out += simFormat("device %zu id=%s serial=%s name=%s vid=%04X pid=%04X speed=%s echo=%u streaming=%u\n", n,
                     ids(r.deviceId0, r.deviceId1).c_str(),
                     simQuote(simToUtf8(r.serialNumber, DRAVIK_SERIAL_CHARS)).c_str(),
                     simQuote(simToUtf8(r.deviceName, DRAVIK_DEVICE_NAME_CHARS)).c_str(), r.vendorId, r.productId,
                     (r.speedFlags & 1) ? "high" : "full", r.featureFlags & 1u, r.streamingFlags & 1u);
    SimDeviceSnapshot d;
    if (sc.deviceSnapshot(DravikDeviceId{r.deviceId0, r.deviceId1}, d) != 0) continue;
    out += simFormat("device %zu spdif input=%u state=%u format=%u rate=%u passthrough=%u bypass-volume=%u "
                     "bypass-mute=%u\n",
                     n, d.spdif.spdifInput, d.spdif.state, d.spdif.format, d.spdif.sampleRate,
                     d.spdifPassThrough ? 1u : 0u, d.bypassVolume ? 1u : 0u, d.bypassMute ? 1u : 0u);
    out += simFormat("device %zu setup=%s\n", n, d.deviceSetupSet ? "set" : "unset");
    if (d.channelNamesSet)
      out += simFormat("device %zu channel-names capture=%u render=%u capture-names=%s render-names=%s\n", n,
                       d.channelNames.captureCount, d.channelNames.renderCount,
                       names(d.channelNames.capture, d.channelNames.captureCount).c_str(),
                       names(d.channelNames.render, d.channelNames.renderCount).c_str());
    else
      out += simFormat("device %zu channel-names unset\n", n);
    if (d.endpointsSet)
      out += simFormat("device %zu endpoints capture=%u render=%u capture-names=%s render-names=%s\n", n,
                       d.endpoints.captureCount, d.endpoints.renderCount,
                       names(d.endpoints.capture, d.endpoints.captureCount).c_str(),
                       names(d.endpoints.render, d.endpoints.renderCount).c_str());
    else
      out += simFormat("device %zu endpoints unset\n", n);
    for (uint32_t k = 0; k < SIM_STREAMING_INTERFACES; ++k) {
      const SimStreamingInterfaceState& f = d.interfaces[k];
      out += simFormat("device %zu interface %u on=%s param=%s\n", n, k,
                       f.onSet ? simFormat("%u", f.on).c_str() : "-",
                       f.paramSet ? simFormat("0x%08X", f.param).c_str() : "-");
    }
    out += simFormat("device %zu echo channels=%u max-delay=%u\n", n, d.echoChannels, d.echoMaxDelay);
  }

  const std::vector<SimHandleInfo> handles = sc.handles();
  out += simFormat("handles count=%zu\n", handles.size());
  for (const SimHandleInfo& h : handles) {
    uint32_t pid = 0;
    for (const SimPipeConnectionInfo& ci : host.connections)
      if (ci.handle == h.id) pid = ci.processId;
    out += simFormat("handle %u pid=%u registered=%u initiator=%s bound=%s message-event=%u notification-event=%u "
                     "queued=%zu notifications=%zu dropped=%llu parked=%zu\n",
                     h.id, pid, h.registered ? 1u : 0u,
                     h.registered ? simFormat("%u", h.initiatorType).c_str() : "-",
                     h.bound ? (ids(h.device.deviceId0, h.device.deviceId1) + (h.boundDevicePresent ? "" : "(removed)"))
                                   .c_str()
                             : "-",
                     h.hasMessageEvent ? 1u : 0u, h.hasNotificationEvent ? 1u : 0u, h.queuedMessages,
                     h.queuedNotifications, static_cast<unsigned long long>(h.droppedNotifications), h.parkedReplies);
  }

  const SimAsioStats a = sc.asioStats();
  out += simFormat("asio switch-control=%u started=%u owner=%u buffer=%u switches=%llu missed=%llu half=%u "
                   "open-channels=%zu with-buffer=%zu peer-faults=%llu\n",
                   a.switchControlSet ? 1u : 0u, a.started ? 1u : 0u, a.owner, a.bufferSize,
                   static_cast<unsigned long long>(a.switches), static_cast<unsigned long long>(a.missedSwitches),
                   a.lastHalfIndex, a.openChannels, a.channelsWithBuffer, static_cast<unsigned long long>(a.peerFaults));
  out += simFormat("events subscribers=%zu published=%llu\n", host.subscribers,
                   static_cast<unsigned long long>(host.deviceEvents));
  out += simFormat("connections count=%zu bad-frames=%llu\n", host.connections.size(),
                   static_cast<unsigned long long>(host.badFrames));

  const std::vector<SimJournalEntry> journal = journalEntries ? sc.journal() : std::vector<SimJournalEntry>();
  const size_t shown = journal.size() < journalEntries ? journal.size() : journalEntries;
  out += simFormat("journal kept=%zu shown=%zu\n", journal.size(), shown);
  for (size_t i = journal.size() - shown; i < journal.size(); ++i) {
    const SimJournalEntry& e = journal[i];
    const char* name = simIoctlName(e.code);
    out += simFormat("journal %llu handle=%u code=0x%08X name=%s in=%u out=%u status=0x%08X %s bytes=%u%s\n",
                     static_cast<unsigned long long>(e.serial), e.handle, e.code, name ? name : "?", e.inSize,
                     e.outSize, e.status, DravikStatusName(e.status), e.bytesReturned, journalDetail(e).c_str());
  }
  out += "end\n";
  return out;
}
