// Every request code with its sizes, the checks every request passes first
// (sizes, binding, unknown codes and handles), and garbage that must never
// crash the driver or touch memory beyond the caller's buffers.
#include <random>

#include "SimTestSupport.h"
#include "simdriver/SimRequestTable.h"

namespace {

enum class Kind { Driver, Device };
enum class In { Fixed, Array8, Array12, Message };
enum class Out { Fixed, SameAsInput, Pins };

struct Row {
  uint32_t code;
  const char* name;
  Kind kind;
  In inRule;
  uint32_t inSize;  // Fixed; for the arrays the size of one well-formed request
  Out outRule;
  uint32_t outSize;  // Fixed
};

#define ROW(code, kind, inRule, inSize, outRule, outSize) Row{code, #code, Kind::kind, In::inRule, inSize, Out::outRule, outSize}

// Written from the protocol's records, independently of the driver's own table.
const Row kRows[] = {
    ROW(IOCTL_DRAVIK_GET_DRIVER_INFO, Driver, Fixed, 0, Fixed, 24),
    ROW(IOCTL_DRAVIK_POST_MESSAGE, Driver, Message, 32, Fixed, 0),
    ROW(IOCTL_DRAVIK_READ_MESSAGE, Driver, Fixed, 0, Fixed, 544),
    ROW(IOCTL_DRAVIK_READ_NOTIFICATION, Driver, Fixed, 0, Fixed, 544),
    ROW(IOCTL_DRAVIK_SET_MESSAGE_EVENTS, Driver, Fixed, 16, Fixed, 0),
    ROW(IOCTL_DRAVIK_REGISTER_INITIATOR, Driver, Fixed, 4, Fixed, 0),
    ROW(IOCTL_DRAVIK_GET_DEVICE_LIST, Driver, Fixed, 0, Fixed, 1124),
    ROW(IOCTL_DRAVIK_OPEN_DEVICE, Driver, Fixed, 8, Fixed, 0),
    ROW(IOCTL_DRAVIK_GET_INPUT_CHANNELS, Driver, Fixed, 0, Fixed, 772),
    ROW(IOCTL_DRAVIK_GET_OUTPUT_CHANNELS, Driver, Fixed, 0, Fixed, 772),
    ROW(IOCTL_DRAVIK_GET_CHANNEL_INFO, Driver, Fixed, 8, Fixed, 108),
    ROW(IOCTL_DRAVIK_GET_SAMPLE_RATE_INFO, Driver, Fixed, 0, Fixed, 56),
    ROW(IOCTL_DRAVIK_GET_BUFFER_INFO, Driver, Fixed, 0, Fixed, 32),
    ROW(IOCTL_DRAVIK_GET_STREAM_STATE, Driver, Fixed, 0, Fixed, 36),
    ROW(IOCTL_DRAVIK_GET_ERROR_COUNTERS, Driver, Fixed, 0, Fixed, 20),
    ROW(IOCTL_DRAVIK_STREAM_COMMAND, Driver, Fixed, 8, Fixed, 0),
    ROW(IOCTL_DRAVIK_SET_SAMPLE_RATE, Driver, Fixed, 4, Fixed, 0),
    ROW(IOCTL_DRAVIK_SET_BUFFER_SIZES, Driver, Fixed, 12, Fixed, 0),
    ROW(IOCTL_DRAVIK_SET_PENDING_SAMPLE_RATE, Driver, Fixed, 4, Fixed, 0),
    ROW(IOCTL_DRAVIK_SET_POLICY, Driver, Fixed, 4, Fixed, 0),
    ROW(IOCTL_DRAVIK_GET_POLICY, Driver, Fixed, 0, Fixed, 4),
    ROW(IOCTL_DRAVIK_SELECT_STREAMING_DEVICE, Driver, Fixed, 12, Fixed, 0),
    ROW(IOCTL_DRAVIK_GET_MIXER_TOPOLOGY, Device, Fixed, 0, Fixed, 3624),
    ROW(IOCTL_DRAVIK_SET_DEVICE_SETUP, Device, Fixed, 136, Fixed, 0),
    ROW(IOCTL_DRAVIK_SET_CHANNEL_NAMES, Device, Fixed, 6152, Fixed, 0),
    ROW(IOCTL_DRAVIK_SET_ENDPOINTS, Device, Fixed, 9480, Fixed, 0),
    ROW(IOCTL_DRAVIK_GET_SPDIF_STATUS, Device, Fixed, 16, Fixed, 16),
    ROW(IOCTL_DRAVIK_SET_SPDIF_PASSTHROUGH, Device, Fixed, 12, Fixed, 0),
    ROW(IOCTL_DRAVIK_GET_SPDIF_PASSTHROUGH, Device, Fixed, 12, Fixed, 12),
    ROW(IOCTL_DRAVIK_GET_INPUT_LEVELS, Device, Array8, 16, SameAsInput, 0),
    ROW(IOCTL_DRAVIK_GET_OUTPUT_LEVELS, Device, Array8, 16, SameAsInput, 0),
    ROW(IOCTL_DRAVIK_GET_MIXER_PINS, Device, Fixed, 4, Pins, 0),
    ROW(IOCTL_DRAVIK_GET_GAINS, Device, Array8, 16, SameAsInput, 0),
    ROW(IOCTL_DRAVIK_GET_CROSSPOINTS, Device, Array12, 24, SameAsInput, 0),
    ROW(IOCTL_DRAVIK_SET_GAINS, Device, Array8, 16, SameAsInput, 0),
    ROW(IOCTL_DRAVIK_SET_CROSSPOINTS, Device, Array12, 24, SameAsInput, 0),
    ROW(IOCTL_DRAVIK_SET_BYPASS_VOLUME, Device, Fixed, 1, Fixed, 0),
    ROW(IOCTL_DRAVIK_GET_BYPASS_VOLUME, Device, Fixed, 0, Fixed, 1),
    ROW(IOCTL_DRAVIK_SET_BYPASS_MUTE, Device, Fixed, 1, Fixed, 0),
    ROW(IOCTL_DRAVIK_GET_BYPASS_MUTE, Device, Fixed, 0, Fixed, 1),
    ROW(IOCTL_DRAVIK_GET_ENDPOINT_VOLUME, Device, Fixed, 136, Fixed, 136),
    ROW(IOCTL_DRAVIK_SET_ENDPOINT_VOLUME, Device, Fixed, 136, Fixed, 0),
    ROW(IOCTL_DRAVIK_SET_EFFECT_PARAMETERS, Device, Fixed, 520, Fixed, 0),
    ROW(IOCTL_DRAVIK_GET_EFFECT_PARAMETERS, Device, Fixed, 520, Fixed, 520),
    ROW(IOCTL_DRAVIK_SET_STREAMING_INTERFACE_PARAM, Device, Fixed, 8, Fixed, 0),
    ROW(IOCTL_DRAVIK_SET_STREAMING_INTERFACE, Device, Fixed, 8, Fixed, 0),
    ROW(IOCTL_DRAVIK_ASIO_GET_FORMAT, Driver, Fixed, 0, Fixed, 60),
    ROW(IOCTL_DRAVIK_ASIO_GET_CHANNEL_LIST, Driver, Fixed, 0, Fixed, 1544),
    ROW(IOCTL_DRAVIK_ASIO_GET_CHANNEL_INFO, Driver, Fixed, 8, Fixed, 108),
    ROW(IOCTL_DRAVIK_ASIO_GET_LATENCIES, Driver, Fixed, 0, Fixed, 8),
    ROW(IOCTL_DRAVIK_ASIO_OPEN_CHANNEL, Driver, Fixed, 8, Fixed, 0),
    ROW(IOCTL_DRAVIK_ASIO_CLOSE_CHANNEL, Driver, Fixed, 8, Fixed, 0),
    ROW(IOCTL_DRAVIK_ASIO_SET_SWITCH_CONTROL, Driver, Fixed, 20, Fixed, 0),
    ROW(IOCTL_DRAVIK_ASIO_CLEAR_SWITCH_CONTROL, Driver, Fixed, 0, Fixed, 0),
    ROW(IOCTL_DRAVIK_ASIO_SET_CHANNEL_BUFFER, Driver, Fixed, 24, Fixed, 0),
    ROW(IOCTL_DRAVIK_ASIO_START, Driver, Fixed, 0, Fixed, 0),
    ROW(IOCTL_DRAVIK_ASIO_STOP, Driver, Fixed, 0, Fixed, 0),
};

#undef ROW

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

std::vector<Row> rowsWhere(bool (*keep)(const Row&)) {
  std::vector<Row> out;
  for (const Row& r : kRows)
    if (keep(r)) out.push_back(r);
  return out;
}
bool hasMinimumOutput(const Row& r) { return r.outRule == Out::SameAsInput || (r.outRule == Out::Fixed && r.outSize > 0); }
bool isDeviceRequest(const Row& r) { return r.kind == Kind::Device; }

class SimRequestTable : public ::testing::TestWithParam<Row> {
protected:
  SimBench bench;
  std::vector<uint8_t> input(uint32_t size) { return std::vector<uint8_t>(size + 8, 0); }
  SimHandleId handleFor(const Row& row) { return row.kind == Kind::Device ? bench.openDevice() : bench.open(); }
};
class SimRequestOutputs : public SimRequestTable {};
class SimDeviceRequests : public SimRequestTable {};

std::string rowName(const ::testing::TestParamInfo<Row>& info) {
  std::string n = info.param.name;
  return n.substr(std::string("IOCTL_DRAVIK_").size());
}

TEST_P(SimRequestTable, WrongInputSizeIsRefused) {
  const Row& row = GetParam();
  const SimHandleId h = handleFor(row);
  std::vector<uint8_t> in = input(row.inSize + 1);
  std::vector<uint8_t> out(4096, 0);
  std::vector<uint32_t> wrong;
  if (row.inRule == In::Array8 || row.inRule == In::Array12) wrong.push_back(0);
  if (row.inSize > 0) wrong.push_back(row.inSize - 1);
  wrong.push_back(row.inSize + 1);
  for (uint32_t size : wrong) {
    SCOPED_TRACE(size);
    uint32_t bytes = 77;
    EXPECT_STATUS(DRAVIK_STATUS_INVALID_INBUFFER_SIZE,
                  bench.call(h, row.code, size ? in.data() : nullptr, size, out.data(), 4096, &bytes));
    EXPECT_EQ(0u, bytes);
  }
}

TEST_P(SimRequestTable, AnInjectedFaultAnswersItsStatusOnceAndIsJournaled) {
  const Row& row = GetParam();
  const SimHandleId h = handleFor(row);
  std::vector<uint8_t> in = input(row.inSize);
  std::vector<uint8_t> out(4096, 0);
  bench.scenario().failRequest(row.code, DRAVIK_STATUS_ABORTED, 1, h);
  bench.scenario().clearJournal();
  EXPECT_STATUS(DRAVIK_STATUS_ABORTED,
                bench.call(h, row.code, row.inSize ? in.data() : nullptr, row.inSize, out.data(), 4096));
  EXPECT_NE(DRAVIK_STATUS_ABORTED,
            bench.call(h, row.code, row.inSize ? in.data() : nullptr, row.inSize, out.data(), 4096));
  const std::vector<SimJournalEntry> j = bench.scenario().journal(h);
  ASSERT_EQ(2u, j.size());
  EXPECT_EQ(row.code, j[0].code);
  EXPECT_EQ(row.inSize, j[0].inSize);
  EXPECT_EQ(4096u, j[0].outSize);
  EXPECT_STATUS(DRAVIK_STATUS_ABORTED, j[0].status);
  EXPECT_EQ(row.inSize, j[0].input.size());
}

TEST_P(SimRequestOutputs, TooSmallOutputIsRefused) {
  const Row& row = GetParam();
  const SimHandleId h = handleFor(row);
  std::vector<uint8_t> in = input(row.inSize);
  const uint32_t need = row.outRule == Out::SameAsInput ? row.inSize : row.outSize;
  std::vector<uint8_t> out(need, 0xA5);
  EXPECT_STATUS(DRAVIK_STATUS_INVALID_OUTBUFFER_SIZE,
                bench.call(h, row.code, row.inSize ? in.data() : nullptr, row.inSize, out.data(), need - 1));
  for (uint8_t b : out) ASSERT_EQ(0xA5, b) << "the refused answer was written";
}

TEST_P(SimDeviceRequests, NeedABoundHandleOfAPresentDevice) {
  const Row& row = GetParam();
  std::vector<uint8_t> in = input(row.inSize);
  std::vector<uint8_t> out(4096, 0);
  const SimHandleId unbound = bench.open();
  EXPECT_STATUS(DRAVIK_STATUS_NO_DEVICE,
                bench.call(unbound, row.code, row.inSize ? in.data() : nullptr, row.inSize, out.data(), 4096));

  const SimHandleId bound = bench.openDevice();
  ASSERT_STATUS(0, bench.scenario().unplugDevice(u"T8-0001"));
  EXPECT_STATUS(DRAVIK_STATUS_DEVICE_REMOVED,
                bench.call(bound, row.code, row.inSize ? in.data() : nullptr, row.inSize, out.data(), 4096));
}

INSTANTIATE_TEST_SUITE_P(AllCodes, SimRequestTable, ::testing::ValuesIn(kRows), rowName);
INSTANTIATE_TEST_SUITE_P(WithAnswer, SimRequestOutputs, ::testing::ValuesIn(rowsWhere(hasMinimumOutput)), rowName);
INSTANTIATE_TEST_SUITE_P(DeviceCodes, SimDeviceRequests, ::testing::ValuesIn(rowsWhere(isDeviceRequest)), rowName);

TEST(SimRequestChecks, FixedAnswersHaveExactlyTheRecordLengthEvenIntoALargerBuffer) {
  SimBench bench;
  const SimHandleId driver = bench.open();
  const SimHandleId device = bench.openDevice();
  for (const Row& row : kRows) {
    if (row.inRule != In::Fixed || row.inSize != 0 || row.outRule != Out::Fixed || row.outSize == 0) continue;
    SCOPED_TRACE(row.name);
    std::vector<uint8_t> out(row.outSize + 64, 0xA5);
    uint32_t bytes = 0;
    const DravikStatus s =
        bench.call(row.kind == Kind::Device ? device : driver, row.code, nullptr, 0, out.data(), row.outSize + 64, &bytes);
    if (row.code == IOCTL_DRAVIK_READ_MESSAGE || row.code == IOCTL_DRAVIK_READ_NOTIFICATION) {
      EXPECT_STATUS(DRAVIK_STATUS_NO_MORE_ITEMS, s);
      continue;
    }
    ASSERT_STATUS(0, s);
    EXPECT_EQ(row.outSize, bytes);
    for (size_t i = row.outSize; i < out.size(); ++i) ASSERT_EQ(0xA5, out[i]) << "written past the record";
  }
}

TEST(SimRequestChecks, UnknownCodesHandlesAndNullBuffers) {
  SimBench bench;
  const SimHandleId h = bench.open();
  uint8_t out[64];
  for (uint32_t code : {0u, 0xFFFFFFFFu, 0x80882000u, 0x80882042u, 0x80882FFCu, 0x80883C00u, dravikIoctl(0x7FF)}) {
    SCOPED_TRACE(code);
    EXPECT_STATUS(DRAVIK_STATUS_INVALID_IOCTL, bench.call(h, code, nullptr, 0, out, sizeof out));
  }
  DravikDriverInfo info{};
  EXPECT_STATUS(WN_ERROR_INVALID_HANDLE, bench.get(h + 100, IOCTL_DRAVIK_GET_DRIVER_INFO, info));
  EXPECT_STATUS(WN_ERROR_INVALID_PARAMETER, bench.call(h, IOCTL_DRAVIK_GET_DRIVER_INFO, nullptr, 0, nullptr, 24));
  EXPECT_STATUS(WN_ERROR_INVALID_PARAMETER, bench.call(h, IOCTL_DRAVIK_OPEN_DEVICE, nullptr, 8, nullptr, 0));
  bench.driver.closeHandle(h);
  EXPECT_STATUS(WN_ERROR_INVALID_HANDLE, bench.get(h, IOCTL_DRAVIK_GET_DRIVER_INFO, info));
}

TEST(SimRequestChecks, FaultsCountDownPerHandleOrStayUntilCleared) {
  SimBench bench;
  const SimHandleId a = bench.open();
  const SimHandleId b = bench.open();
  DravikStreamState s{};
  bench.scenario().failRequest(IOCTL_DRAVIK_GET_STREAM_STATE, DRAVIK_STATUS_FAILED, 2, a);
  EXPECT_STATUS(0, bench.get(b, IOCTL_DRAVIK_GET_STREAM_STATE, s)) << "another handle is not affected";
  EXPECT_STATUS(DRAVIK_STATUS_FAILED, bench.get(a, IOCTL_DRAVIK_GET_STREAM_STATE, s));
  EXPECT_STATUS(DRAVIK_STATUS_FAILED, bench.get(a, IOCTL_DRAVIK_GET_STREAM_STATE, s));
  EXPECT_STATUS(0, bench.get(a, IOCTL_DRAVIK_GET_STREAM_STATE, s));

  bench.scenario().failRequest(IOCTL_DRAVIK_STREAM_COMMAND, DRAVIK_STATUS_IN_ERROR_STATE, SIM_FAULT_ALWAYS);
  for (int i = 0; i < 5; ++i) EXPECT_STATUS(DRAVIK_STATUS_IN_ERROR_STATE, bench.command(b, DRAVIK_CMD_DOWN_TO_READY));
  EXPECT_EQ(DRAVIK_STREAM_DOWN, bench.streamState(b)) << "a failed request has no effect";
  bench.scenario().clearFaults(IOCTL_DRAVIK_STREAM_COMMAND);
  EXPECT_STATUS(0, bench.command(b, DRAVIK_CMD_DOWN_TO_READY));
}

TEST(SimRequestChecks, DriverInfoAnswersTheConfiguredVersions) {
  SimBench bench;
  const SimHandleId h = bench.open();
  DravikDriverInfo info{};
  uint32_t bytes = 0;
  ASSERT_STATUS(0, bench.get(h, IOCTL_DRAVIK_GET_DRIVER_INFO, info, &bytes));
  EXPECT_EQ(24u, bytes);
  EXPECT_EQ(2u, info.interfaceMajor);
  EXPECT_EQ(1u, info.driverMajor);
  EXPECT_EQ(36u, info.driverMinor);
  EXPECT_EQ(1u, info.driverBuild);
  EXPECT_EQ(0u, info.buildFlags);
  bench.scenario().setDriverInfo(DravikDriverInfo{3, 0, 1, 36, 1, 1});
  ASSERT_STATUS(0, bench.get(h, IOCTL_DRAVIK_GET_DRIVER_INFO, info));
  EXPECT_EQ(3u, info.interfaceMajor);
  EXPECT_EQ(1u, info.buildFlags);
}

TEST(SimRequestChecks, VariableSizesMustBeConsistent) {
  SimBench bench;
  const SimHandleId server = bench.openRegistered(DRAVIK_INITIATOR_SERVICE);

  // A message is 32 + payloadLength bytes, at most 512 of payload.
  DravikMessage m = makeMessage(DRAVIK_MSG_TYPE_NOTIFICATION, 3010);
  m.payloadLength = 4;
  EXPECT_STATUS(DRAVIK_STATUS_INVALID_INBUFFER_SIZE, bench.call(server, IOCTL_DRAVIK_POST_MESSAGE, &m, 32, nullptr, 0));
  EXPECT_STATUS(DRAVIK_STATUS_INVALID_INBUFFER_SIZE, bench.call(server, IOCTL_DRAVIK_POST_MESSAGE, &m, 40, nullptr, 0));
  EXPECT_STATUS(0, bench.call(server, IOCTL_DRAVIK_POST_MESSAGE, &m, 36, nullptr, 0));
  m.payloadLength = 513;
  EXPECT_STATUS(DRAVIK_STATUS_INVALID_LENGTH, bench.call(server, IOCTL_DRAVIK_POST_MESSAGE, &m, 544, nullptr, 0));
  m.payloadLength = 512;
  EXPECT_STATUS(0, bench.call(server, IOCTL_DRAVIK_POST_MESSAGE, &m, 544, nullptr, 0));
  EXPECT_STATUS(DRAVIK_STATUS_INVALID_INBUFFER_SIZE, bench.call(server, IOCTL_DRAVIK_POST_MESSAGE, &m, 31, nullptr, 0));

  // Arrays: n entries, the output at least as long as the input.
  const SimHandleId dev = bench.openDevice();
  std::vector<DravikGainEntry> gains(kSimMaxArrayEntries + 1);
  for (size_t i = 0; i < gains.size(); ++i) gains[i].pin = DravikPinDescriptor{DRAVIK_PIN_ANALOG, uint8_t(i % 16), 0};
  const uint32_t max = kSimMaxArrayEntries * 8;
  EXPECT_STATUS(0, bench.call(dev, IOCTL_DRAVIK_GET_GAINS, gains.data(), max, gains.data(), max));
  EXPECT_STATUS(DRAVIK_STATUS_INVALID_INBUFFER_SIZE,
                bench.call(dev, IOCTL_DRAVIK_GET_GAINS, gains.data(), max + 8, gains.data(), max + 8));

  // Pins: the output is a whole number of descriptors; a small capacity
  // gets the first pins of the list.
  const uint32_t selector = DRAVIK_PINS_OUTPUTS;
  DravikPinDescriptor pins[30];
  uint32_t bytes = 0;
  EXPECT_STATUS(DRAVIK_STATUS_INVALID_OUTBUFFER_SIZE,
                bench.call(dev, IOCTL_DRAVIK_GET_MIXER_PINS, &selector, 4, pins, 10, &bytes));
  EXPECT_STATUS(0, bench.call(dev, IOCTL_DRAVIK_GET_MIXER_PINS, &selector, 4, pins, 8, &bytes));
  EXPECT_EQ(8u, bytes);
  EXPECT_STATUS(0, bench.call(dev, IOCTL_DRAVIK_GET_MIXER_PINS, &selector, 4, pins, sizeof pins, &bytes));
  EXPECT_EQ(22u * 4, bytes);
}

TEST(SimRequestChecks, InputAndOutputMayBeTheSameBuffer) {
  SimBench bench;
  const SimHandleId dev = bench.openDevice();
  DravikGainEntry set[2] = {{{DRAVIK_PIN_ANALOG, 0, 0}, 0, 1, -600}, {{DRAVIK_PIN_SPDIF, 1, 0}, 0, 0, 300}};
  ASSERT_STATUS(0, bench.call(dev, IOCTL_DRAVIK_SET_GAINS, set, sizeof set, set, sizeof set));
  DravikGainEntry get[2] = {{{DRAVIK_PIN_ANALOG, 0, 0}, 0, 0, 0}, {{DRAVIK_PIN_SPDIF, 1, 0}, 0, 0, 0}};
  uint32_t bytes = 0;
  ASSERT_STATUS(0, bench.call(dev, IOCTL_DRAVIK_GET_GAINS, get, sizeof get, get, sizeof get, &bytes));
  EXPECT_EQ(16u, bytes);
  EXPECT_EQ(1, get[0].flags);
  EXPECT_EQ(-600, get[0].gain);
  EXPECT_EQ(0, get[1].flags);
  EXPECT_EQ(300, get[1].gain);
}

// A bounded storm of random requests (fixed seed) over every code, with
// random sizes and bytes, on handles in every role. The driver must answer
// each one, never write beyond the output it was given, and keep answering
// well-formed requests afterwards. The clock is manual and never stepped, so
// no address a garbage request lends is ever used.
TEST(SimRequestChecks, RandomGarbageNeverCrashesOrOverruns) {
  SimBench bench;
  std::mt19937 rng(20240611u);
  std::vector<SimHandleId> handles = {bench.open(), bench.openDevice(), bench.openRegistered(DRAVIK_INITIATOR_ASIO),
                                      bench.openRegistered(DRAVIK_INITIATOR_SERVICE),
                                      bench.openRegistered(DRAVIK_INITIATOR_CPL_MAIN)};
  constexpr size_t kGuard = 32;
  std::vector<uint8_t> in(12000);
  std::vector<uint8_t> out(12000 + kGuard);
  const size_t rowCount = sizeof kRows / sizeof kRows[0];
  for (int i = 0; i < 20000; ++i) {
    const Row& row = kRows[rng() % rowCount];
    uint32_t code = row.code;
    if (rng() % 16 == 0) code = rng();
    uint32_t inSize = 0;
    switch (rng() % 4) {
      case 0: inSize = row.inSize; break;
      case 1: inSize = rng() % 64; break;
      case 2: inSize = row.inSize ? row.inSize + (rng() % 3) - 1 : 0; break;
      default: inSize = rng() % in.size(); break;
    }
    for (uint32_t k = 0; k < inSize; ++k) {
      const uint32_t r = rng();
      in[k] = static_cast<uint8_t>(r % 5 == 0 ? (r >> 8) % 4 : r >> 16);  // many small values
    }
    if (code == IOCTL_DRAVIK_POST_MESSAGE && inSize >= 32 && rng() % 2) {
      const uint32_t len = inSize - 32;
      std::memcpy(&in[4], &len, 4);
      const uint32_t header = 32;
      std::memcpy(&in[0], &header, 4);
    }
    const uint32_t outSize = rng() % 3 == 0 ? rng() % 64 : static_cast<uint32_t>(rng() % 12000);
    std::fill(out.begin(), out.end(), 0xEE);
    uint32_t bytes = 0;
    SimHandleId h = handles[rng() % handles.size()];
    if (rng() % 500 == 0) {
      bench.driver.closeHandle(h);
      h = bench.open();
      handles[rng() % handles.size()] = h;
    }
    const DravikStatus s = bench.call(h, code, inSize ? in.data() : nullptr, inSize, out.data(), outSize, &bytes);
    ASSERT_LE(bytes, outSize);
    if (s != DRAVIK_STATUS_SUCCESS) {
      ASSERT_EQ(0u, bytes);
    }
    for (size_t k = outSize; k < outSize + kGuard; ++k) ASSERT_EQ(0xEE, out[k]) << "overrun by request " << code;
  }
  const SimHandleId fresh = bench.open();
  DravikDriverInfo info{};
  EXPECT_STATUS(0, bench.get(fresh, IOCTL_DRAVIK_GET_DRIVER_INFO, info));
  DravikDeviceList list{};
  EXPECT_STATUS(0, bench.get(fresh, IOCTL_DRAVIK_GET_DEVICE_LIST, list));
}

}  // namespace
