// Fuzz target: the simulated driver's request handling. Each input is a
// sequence of operations on a fresh driver: open and close handles (up to
// six at a time), requests with any code, any input and output size and
// content (null buffers, the same buffer for both) on open, closed and never
// opened handles, binding a handle to a real device, registering as any
// initiator with valid events, buffer switches, unplugging and plugging the
// device again.
//
// Invariants checked on every request: no more bytes returned than offered;
// a failure returns none and leaves the output buffer as it was; a success
// writes nothing past the bytes it returned. Clients are FuzzPeers, so any
// address or handle value the input invents reaches only their arena.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "FuzzCodes.h"
#include "FuzzInput.h"
#include "FuzzPeer.h"
#include "driverapi/DravikRecords.h"
#include "simdriver/SimDriver.h"
#include "simdriver/SimScenario.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

constexpr size_t kMaxHandles = 6;
constexpr uint32_t kMaxData = 12 * 1024;  // above the largest request
constexpr uint8_t kGuard = 0xCB;

void request(SimDriver& d, SimHandleId h, FuzzInput& in) {
  const uint32_t code = fuzzPickCode(in);
  const uint8_t flags = in.u8();
  const uint32_t inSize = in.u16() % kMaxData;
  const uint32_t outSize = in.u16() % kMaxData;
  std::vector<uint8_t> input(inSize + 1);
  in.bytes(input.data(), inSize);
  std::vector<uint8_t> output(outSize + 16, kGuard);
  const bool same = (flags & 4) != 0;
  if (same) {
    output.resize(std::max(inSize, outSize) + 16, kGuard);
    std::memcpy(output.data(), input.data(), inSize);
  }
  const void* inPtr = (flags & 1) ? nullptr : same ? output.data() : input.data();
  void* outPtr = (flags & 2) ? nullptr : output.data();
  uint32_t bytes = 0xFFFFFFFFu;
  const DravikStatus s = d.ioControl(h, code, inPtr, inSize, outPtr, outSize, (flags & 8) ? nullptr : &bytes);
  if (flags & 8) return;
  check(bytes <= outSize);
  if (s != 0) check(bytes == 0);
  if (same || !outPtr) return;
  const size_t untouchedFrom = s == 0 ? bytes : 0;
  for (size_t i = untouchedFrom; i < output.size(); ++i) {
    // A successful answer may be shorter than what it wrote before
    // trimming only if the driver wrote past its own count: not allowed.
    check(output[i] == kGuard);
  }
}

void bindToDevice(SimDriver& d, SimHandleId h, uint8_t which) {
  DravikDeviceList list{};
  uint32_t bytes = 0;
  if (d.ioControl(h, IOCTL_DRAVIK_GET_DEVICE_LIST, nullptr, 0, &list, sizeof list, &bytes) != 0) return;
  check(bytes == sizeof list && list.count <= DRAVIK_MAX_DEVICES);
  if (list.count == 0) return;
  const DravikDeviceRecord& r = list.devices[which % list.count];
  DravikDeviceId id{r.deviceId0, r.deviceId1};
  d.ioControl(h, IOCTL_DRAVIK_OPEN_DEVICE, &id, sizeof id, nullptr, 0, &bytes);
}

void registerAs(SimDriver& d, SimHandleId h, uint8_t initiator) {
  DravikMessageEvents events{1, 2};
  uint32_t bytes = 0;
  d.ioControl(h, IOCTL_DRAVIK_SET_MESSAGE_EVENTS, &events, sizeof events, nullptr, 0, &bytes);
  uint32_t type = initiator % 6;
  d.ioControl(h, IOCTL_DRAVIK_REGISTER_INITIATOR, &type, sizeof type, nullptr, 0, &bytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  SimDriverConfig config;
  config.clockMode = SimClockMode::Manual;
  SimDriver d(config);
  std::vector<SimHandleId> open;
  std::vector<SimHandleId> closed;
  for (int n = 0; n < 48 && !in.empty(); ++n) {
    const uint8_t op = in.u8();
    const uint8_t idx = in.u8();
    // Index 0xF0 and above: a closed handle if there is one, else one never
    // opened.
    SimHandleId h = 0x7FFF0000u + idx;
    if (idx >= 0xF0 && !closed.empty())
      h = closed[idx % closed.size()];
    else if (idx < 0xF0 && !open.empty())
      h = open[idx % open.size()];
    switch (op % 8) {
      case 0:
        if (open.size() < kMaxHandles) {
          const SimHandleId fresh = d.openHandle(std::make_unique<FuzzPeer>());
          if (fresh != SIM_NO_HANDLE) open.push_back(fresh);
        }
        break;
      case 1:
        if (!open.empty()) {
          const size_t i = idx % open.size();
          d.closeHandle(open[i]);
          closed.push_back(open[i]);
          open.erase(open.begin() + static_cast<std::ptrdiff_t>(i));
        }
        break;
      case 2:
      case 3:
        request(d, h, in);
        break;
      case 4:
        bindToDevice(d, h, in.u8());
        break;
      case 5:
        registerAs(d, h, in.u8());
        break;
      case 6:
        d.scenario().stepSwitch();
        break;
      case 7:
        if (idx & 1)
          d.scenario().replugDevice(u"T8-0001");
        else
          d.scenario().unplugDevice(u"T8-0001");
        break;
    }
  }
  for (SimHandleId h : open) d.closeHandle(h);
  return 0;
}
