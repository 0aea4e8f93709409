// The ASIO engine: channel lists and descriptors, the checks of the
// streaming requests, and the buffer switches with the manual clock (half
// index, missed switches, loopback continuity, lent memory left alone after
// its withdrawal) and once with the real-time clock.
#include <atomic>
#include <thread>

#include "SimTestSupport.h"
#include "driverapi/DravikAsioRecords.h"
#include "simdriver/SimChannelCatalog.h"

namespace {

constexpr size_t kGuardBytes = 64;
constexpr uint8_t kGuardByte = 0xCD;

uint32_t atomicLoad(uint32_t& word) { return std::atomic_ref<uint32_t>(word).load(); }
void atomicStore(uint32_t& word, uint32_t v) { std::atomic_ref<uint32_t>(word).store(v); }
void acknowledge(SwitchBlock& b) { std::atomic_ref<uint32_t>(b.acknowledge).fetch_add(1); }

// One lent channel buffer (both halves) with guard bytes on both sides.
class LentBuffer {
public:
  explicit LentBuffer(uint32_t halfSize) : half_(halfSize), bytes_(kGuardBytes * 2 + size_t{halfSize} * 2, kGuardByte) {
    fill(0x55);
  }
  uint8_t* half(uint32_t h) { return bytes_.data() + kGuardBytes + h * half_; }
  uint64_t address() { return reinterpret_cast<uintptr_t>(half(0)); }
  uint32_t halfSize() const { return half_; }
  bool guardsIntact() const {
    for (size_t i = 0; i < kGuardBytes; ++i)
      if (bytes_[i] != kGuardByte || bytes_[bytes_.size() - 1 - i] != kGuardByte) return false;
    return true;
  }
  void fill(uint8_t v) {
    for (size_t i = kGuardBytes; i + kGuardBytes < bytes_.size(); ++i) bytes_[i] = v;
  }
  bool all(uint8_t v) {
    for (uint32_t i = 0; i < half_ * 2; ++i)
      if (half(0)[i] != v) return false;
    return true;
  }

private:
  uint32_t half_;
  std::vector<uint8_t> bytes_;
};

class SimAsioBench : public ::testing::Test {
protected:
  SimBench bench;
  SimHandleId service = bench.openRegistered(DRAVIK_INITIATOR_SERVICE);
  ClientEvents asioEvents;
  SimHandleId asio = bench.openRegistered(DRAVIK_INITIATOR_ASIO, &asioEvents);
  WnEvent switchEvent;
  alignas(8) SwitchBlock block{};
  DravikDeviceId ids{};
  uint32_t frames = 64;

  void SetUp() override {
    ASSERT_EQ(0u, switchEvent.create(false, false));
    ASSERT_STATUS(0, bench.scenario().deviceIds(u"T8-0001", ids));
  }
  SwitchControl control(uint32_t bufferSize) {
    SwitchControl c{};
    c.switchBlock = reinterpret_cast<uintptr_t>(&block);
    c.switchEvent = reinterpret_cast<uintptr_t>(switchEvent.get());
    c.bufferSize = bufferSize;
    return c;
  }
  DravikChannelKey key(bool input, uint32_t number, bool dsd = false) {
    return DravikChannelKey{ids.deviceId0, simChannelKey1(SimChannelId{input, dsd, number})};
  }
  void prepare() {
    bench.runStream(service);
    ASSERT_STATUS(0, bench.send(asio, IOCTL_DRAVIK_ASIO_SET_SWITCH_CONTROL, control(frames)));
  }
  void lend(const DravikChannelKey& k, LentBuffer& b) {
    ASSERT_STATUS(0, bench.send(asio, IOCTL_DRAVIK_ASIO_OPEN_CHANNEL, k));
    ASSERT_STATUS(0, bench.send(asio, IOCTL_DRAVIK_ASIO_SET_CHANNEL_BUFFER,
                                ChannelBuffer{k.channelKey0, k.channelKey1, b.halfSize(), 4, b.address()}));
  }
  // One switch from the driver, checked to be signalled; returns its half.
  uint32_t step() {
    EXPECT_STATUS(0, bench.scenario().stepSwitch());
    EXPECT_TRUE(signalled(switchEvent));
    return atomicLoad(block.halfIndex);
  }
};

TEST_F(SimAsioBench, ChannelListsAndDescriptors) {
  DravikAsioChannelLists lists{};
  ASSERT_STATUS(0, bench.get(asio, IOCTL_DRAVIK_ASIO_GET_CHANNEL_LIST, lists));
  ASSERT_EQ(20u, lists.first.count);
  ASSERT_EQ(20u, lists.second.count);
  struct Expect {
    const DravikChannelKey& key;
    const char16_t* name;
    uint32_t direction, format;
  };
  const Expect expects[] = {{lists.first.keys[0], u"Analog In 1", 1, 0},   {lists.first.keys[15], u"Analog In 16", 1, 0},
                            {lists.first.keys[16], u"SPDIF In 1", 1, 0},   {lists.first.keys[19], u"DSD In 2", 1, 2},
                            {lists.second.keys[17], u"SPDIF Out 2", 2, 0}, {lists.second.keys[18], u"DSD Out 1", 2, 2}};
  for (const Expect& e : expects) {
    SCOPED_TRACE(std::string(e.name, e.name + std::char_traits<char16_t>::length(e.name)));
    ChannelDescriptor d{};
    ASSERT_STATUS(0, bench.call(asio, IOCTL_DRAVIK_ASIO_GET_CHANNEL_INFO, &e.key, 8, &d, sizeof d));
    EXPECT_EQ(e.key.channelKey0, d.channelKey0);
    EXPECT_EQ(e.key.channelKey1, d.channelKey1);
    EXPECT_EQ(ids.deviceId0, d.deviceId0);
    EXPECT_EQ(ids.deviceId1, d.deviceId1);
    EXPECT_EQ(e.direction, d.direction);
    EXPECT_EQ(e.format, d.sampleFormat);
    EXPECT_EQ(std::u16string(e.name), std::u16string(d.name));
    ChannelDescriptor same{};
    ASSERT_STATUS(0, bench.call(asio, IOCTL_DRAVIK_GET_CHANNEL_INFO, &e.key, 8, &same, sizeof same));
    EXPECT_EQ(0, std::memcmp(&d, &same, sizeof d));
  }

  // The control panel's lists hold the channels of the current format only.
  DravikChannelList in{};
  ASSERT_STATUS(0, bench.get(asio, IOCTL_DRAVIK_GET_INPUT_CHANNELS, in));
  EXPECT_EQ(18u, in.count);
  ASSERT_STATUS(0, bench.send(service, IOCTL_DRAVIK_SET_SAMPLE_RATE, uint32_t{2822400}));
  ASSERT_STATUS(0, bench.get(asio, IOCTL_DRAVIK_GET_OUTPUT_CHANNELS, in));
  ASSERT_EQ(2u, in.count);
  EXPECT_EQ(key(false, 0, true).channelKey1, in.keys[0].channelKey1);

  ChannelDescriptor d{};
  const DravikChannelKey bogus{ids.deviceId0, 18};
  EXPECT_STATUS(DRAVIK_STATUS_OBJECT_NOT_FOUND, bench.call(asio, IOCTL_DRAVIK_GET_CHANNEL_INFO, &bogus, 8, &d, sizeof d));
  const DravikChannelKey old = key(true, 0);
  ASSERT_STATUS(0, bench.scenario().replugDevice(u"T8-0001"));
  EXPECT_STATUS(DRAVIK_STATUS_DEVICE_REMOVED, bench.call(asio, IOCTL_DRAVIK_GET_CHANNEL_INFO, &old, 8, &d, sizeof d));
}

TEST_F(SimAsioBench, StreamingRequestsAreChecked) {
  const SimHandleId cpl = bench.openRegistered(DRAVIK_INITIATOR_CPL_MAIN);
  EXPECT_STATUS(DRAVIK_STATUS_INITIATOR_NOT_FOUND, bench.send(cpl, IOCTL_DRAVIK_ASIO_SET_SWITCH_CONTROL, control(64)));
  EXPECT_STATUS(DRAVIK_STATUS_INITIATOR_NOT_FOUND, bench.send(cpl, IOCTL_DRAVIK_ASIO_OPEN_CHANNEL, key(true, 0)));

  SwitchControl misaligned = control(64);
  misaligned.switchBlock += 2;
  EXPECT_STATUS(DRAVIK_STATUS_INVALID_PARAMETER, bench.send(asio, IOCTL_DRAVIK_ASIO_SET_SWITCH_CONTROL, misaligned));
  EXPECT_STATUS(DRAVIK_STATUS_INVALID_BUFFER_SIZE, bench.send(asio, IOCTL_DRAVIK_ASIO_SET_SWITCH_CONTROL, control(0)));
  SwitchControl noEvent = control(64);
  noEvent.switchEvent = 0;
  EXPECT_STATUS(DRAVIK_STATUS_INVALID_PARAMETER, bench.send(asio, IOCTL_DRAVIK_ASIO_SET_SWITCH_CONTROL, noEvent));

  ASSERT_STATUS(0, bench.send(asio, IOCTL_DRAVIK_ASIO_SET_SWITCH_CONTROL, control(64)));
  const SimHandleId asio2 = bench.openRegistered(DRAVIK_INITIATOR_ASIO);
  EXPECT_STATUS(DRAVIK_STATUS_IN_USE, bench.send(asio2, IOCTL_DRAVIK_ASIO_SET_SWITCH_CONTROL, control(64)));

  ASSERT_STATUS(0, bench.send(asio, IOCTL_DRAVIK_ASIO_OPEN_CHANNEL, key(true, 0)));
  EXPECT_STATUS(DRAVIK_STATUS_ALREADY_DONE, bench.send(asio, IOCTL_DRAVIK_ASIO_OPEN_CHANNEL, key(true, 0)));
  EXPECT_STATUS(DRAVIK_STATUS_IN_USE, bench.send(asio2, IOCTL_DRAVIK_ASIO_OPEN_CHANNEL, key(true, 0)));
  EXPECT_STATUS(DRAVIK_STATUS_NOT_POSSIBLE, bench.send(asio, IOCTL_DRAVIK_ASIO_OPEN_CHANNEL, key(true, 0, true)));
  EXPECT_STATUS(DRAVIK_STATUS_OBJECT_NOT_FOUND, bench.send(asio2, IOCTL_DRAVIK_ASIO_CLOSE_CHANNEL, key(true, 0)));

  LentBuffer b(64 * 4);
  const DravikChannelKey k = key(true, 0);
  EXPECT_STATUS(DRAVIK_STATUS_INVALID_BUFFER_SIZE,
                bench.send(asio, IOCTL_DRAVIK_ASIO_SET_CHANNEL_BUFFER, ChannelBuffer{k.channelKey0, k.channelKey1, 128, 4, b.address()}));
  EXPECT_STATUS(DRAVIK_STATUS_INVALID_PARAMETER,
                bench.send(asio, IOCTL_DRAVIK_ASIO_SET_CHANNEL_BUFFER, ChannelBuffer{k.channelKey0, k.channelKey1, 256, 2, b.address()}));
  EXPECT_STATUS(DRAVIK_STATUS_OBJECT_NOT_FOUND,
                bench.send(asio, IOCTL_DRAVIK_ASIO_SET_CHANNEL_BUFFER, ChannelBuffer{k.channelKey0, k.channelKey1 + 1, 256, 4, b.address()}));

  EXPECT_STATUS(DRAVIK_STATUS_INVALID_STATE, bench.send(asio, IOCTL_DRAVIK_ASIO_START)) << "the stream is Down";
  EXPECT_STATUS(DRAVIK_STATUS_INVALID_STATE, bench.send(asio, IOCTL_DRAVIK_ASIO_STOP));
  bench.runStream(service);
  EXPECT_STATUS(DRAVIK_STATUS_INVALID_STATE, bench.send(asio2, IOCTL_DRAVIK_ASIO_START)) << "no switch control";
  ASSERT_STATUS(0, bench.send(asio, IOCTL_DRAVIK_ASIO_START));
  EXPECT_STATUS(DRAVIK_STATUS_ALREADY_DONE, bench.send(asio, IOCTL_DRAVIK_ASIO_START));
  EXPECT_STATUS(DRAVIK_STATUS_INVALID_STATE, bench.send(asio, IOCTL_DRAVIK_ASIO_SET_SWITCH_CONTROL, control(64)));
  EXPECT_STATUS(0, bench.send(asio, IOCTL_DRAVIK_ASIO_STOP));
  EXPECT_STATUS(0, bench.send(asio, IOCTL_DRAVIK_ASIO_CLEAR_SWITCH_CONTROL));
  EXPECT_STATUS(0, bench.send(asio, IOCTL_DRAVIK_ASIO_CLEAR_SWITCH_CONTROL)) << "withdrawing twice is harmless";
  EXPECT_STATUS(0, bench.send(asio2, IOCTL_DRAVIK_ASIO_SET_SWITCH_CONTROL, control(64)));
}

TEST_F(SimAsioBench, HalfIndexAlternatesAndMissedSwitchesAreCounted) {
  prepare();
  EXPECT_STATUS(DRAVIK_STATUS_INVALID_STATE, bench.scenario().stepSwitch()) << "not started";
  ASSERT_STATUS(0, bench.send(asio, IOCTL_DRAVIK_ASIO_START));
  // Acknowledged, acknowledged, missed, missed, acknowledged, acknowledged.
  const bool acked[] = {true, true, false, false, true, true};
  for (int i = 0; i < 6; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(uint32_t(i % 2), step());
    if (acked[i]) acknowledge(block);
  }
  step();
  const SimAsioStats stats = bench.scenario().asioStats();
  EXPECT_EQ(7u, stats.switches);
  EXPECT_EQ(2u, stats.missedSwitches);
  DravikErrorCounters counters{};
  ASSERT_STATUS(0, bench.get(service, IOCTL_DRAVIK_GET_ERROR_COUNTERS, counters));
  EXPECT_EQ(2u, counters.asioErrors);

  // The stream leaving Running pauses the switches; a new START counts anew.
  ASSERT_STATUS(0, bench.command(service, DRAVIK_CMD_TO_READY));
  EXPECT_STATUS(DRAVIK_STATUS_INVALID_STATE, bench.scenario().stepSwitch());
  ASSERT_STATUS(0, bench.send(asio, IOCTL_DRAVIK_ASIO_STOP));
  ASSERT_STATUS(0, bench.command(service, DRAVIK_CMD_READY_TO_PREPARED));
  ASSERT_STATUS(0, bench.command(service, DRAVIK_CMD_PREPARED_TO_RUNNING));
  ASSERT_STATUS(0, bench.send(asio, IOCTL_DRAVIK_ASIO_START));
  EXPECT_EQ(0u, step());
  EXPECT_EQ(1u, bench.scenario().asioStats().switches);
  EXPECT_EQ(0u, bench.scenario().asioStats().missedSwitches);
}

// What the host writes into the outputs comes back on the inputs of the same
// number, two halves later and without a gap, from the primed halves on.
TEST_F(SimAsioBench, LoopbackCarriesTheOutputStreamWithoutDiscontinuity) {
  prepare();
  const uint32_t half = frames * 4;
  LentBuffer out0(half), in0(half), out17(half), in17(half), in1(half);
  lend(key(false, 0), out0);
  lend(key(true, 0), in0);
  lend(key(false, 17), out17);
  lend(key(true, 17), in17);
  lend(key(true, 1), in1);  // no output 1 is open: silence

  auto sample = [&](uint32_t channel, uint32_t period, uint32_t k) { return channel * 1000000u + period * frames + k; };
  auto produce = [&](LentBuffer& b, uint32_t channel, uint32_t h, uint32_t period) {
    for (uint32_t k = 0; k < frames; ++k) {
      const uint32_t v = sample(channel, period, k);
      std::memcpy(b.half(h) + 4 * k, &v, 4);
    }
  };
  // The host's two priming periods, before START.
  for (uint32_t p = 0; p < 2; ++p) {
    produce(out0, 0, p, p);
    produce(out17, 17, p, p);
  }
  ASSERT_STATUS(0, bench.send(asio, IOCTL_DRAVIK_ASIO_START));

  std::vector<uint32_t> heard0;
  for (uint32_t n = 1; n <= 8; ++n) {
    SCOPED_TRACE(n);
    const uint32_t period = n + 1;  // the host's period this switch begins
    const uint32_t h = step();
    ASSERT_EQ(period % 2, h);
    for (uint32_t k = 0; k < frames; ++k) {
      uint32_t v0, v17;
      std::memcpy(&v0, in0.half(h) + 4 * k, 4);
      std::memcpy(&v17, in17.half(h) + 4 * k, 4);
      heard0.push_back(v0);
      ASSERT_EQ(sample(17, period - 2, k), v17);
    }
    for (uint32_t i = 0; i < half; ++i) ASSERT_EQ(0, in1.half(h)[i]);
    produce(out0, 0, h, period);
    produce(out17, 17, h, period);
    acknowledge(block);
  }
  // The inputs of channel 0 are the host's output stream from its first sample on.
  for (uint32_t i = 0; i < heard0.size(); ++i) ASSERT_EQ(sample(0, 0, 0) + i, heard0[i]) << "sample " << i;
  for (LentBuffer* b : {&out0, &in0, &out17, &in17, &in1}) EXPECT_TRUE(b->guardsIntact());
  EXPECT_EQ(0u, bench.scenario().asioStats().missedSwitches);
}

TEST_F(SimAsioBench, LentMemoryIsLeftAloneAfterItsWithdrawal) {
  prepare();
  LentBuffer in0(frames * 4), in2(frames * 4);
  lend(key(true, 0), in0);
  lend(key(true, 2), in2);
  ASSERT_STATUS(0, bench.send(asio, IOCTL_DRAVIK_ASIO_START));
  step();
  step();
  EXPECT_TRUE(in0.all(0)) << "both halves were recorded (silence)";

  ASSERT_STATUS(0, bench.send(asio, IOCTL_DRAVIK_ASIO_CLOSE_CHANNEL, key(true, 0)));
  in0.fill(0x5A);
  for (int i = 0; i < 4; ++i) step();
  EXPECT_TRUE(in0.all(0x5A)) << "a closed channel's buffer was written";
  EXPECT_TRUE(in0.guardsIntact());
  EXPECT_TRUE(in2.all(0));

  // Withdrawing the switch control stops the switches; the block stays as left.
  ASSERT_STATUS(0, bench.send(asio, IOCTL_DRAVIK_ASIO_CLEAR_SWITCH_CONTROL));
  atomicStore(block.halfIndex, 0xAAAA);
  in2.fill(0x5A);
  EXPECT_STATUS(DRAVIK_STATUS_INVALID_STATE, bench.scenario().stepSwitch());
  EXPECT_EQ(0xAAAAu, atomicLoad(block.halfIndex));
  EXPECT_TRUE(in2.all(0x5A));
  EXPECT_FALSE(signalled(switchEvent));
  EXPECT_FALSE(bench.scenario().asioStats().started);
}

TEST_F(SimAsioBench, ClosingTheHandleDropsItsChannelsSwitchControlAndActivity) {
  prepare();
  LentBuffer in0(frames * 4);
  lend(key(true, 0), in0);
  ASSERT_STATUS(0, bench.send(asio, IOCTL_DRAVIK_ASIO_START));
  step();
  bench.drainNotifications(service);
  bench.driver.closeHandle(asio);
  in0.fill(0x5A);
  EXPECT_STATUS(DRAVIK_STATUS_INVALID_STATE, bench.scenario().stepSwitch());
  EXPECT_TRUE(in0.all(0x5A));
  const SimAsioStats stats = bench.scenario().asioStats();
  EXPECT_FALSE(stats.switchControlSet);
  EXPECT_EQ(0u, stats.openChannels);
  EXPECT_EQ((std::vector<uint32_t>{DRAVIK_NOTIFY_ACTIVITY_ENDED}), bench.drainNotifications(service));
  // The channel is free for another ASIO handle.
  const SimHandleId next = bench.openRegistered(DRAVIK_INITIATOR_ASIO);
  EXPECT_STATUS(0, bench.send(next, IOCTL_DRAVIK_ASIO_OPEN_CHANNEL, key(true, 0)));
}

TEST_F(SimAsioBench, UnpluggingTheDeviceClosesItsChannels) {
  prepare();
  LentBuffer in0(frames * 4);
  lend(key(true, 0), in0);
  ASSERT_STATUS(0, bench.send(asio, IOCTL_DRAVIK_ASIO_START));
  SimDeviceConfig second;
  second.serial = u"T8-0002";
  ASSERT_STATUS(0, bench.scenario().plugDevice(second));
  ASSERT_STATUS(0, bench.scenario().unplugDevice(u"T8-0001"));
  in0.fill(0x5A);
  step();  // the stream still runs on the remaining device
  EXPECT_TRUE(in0.all(0x5A));
  EXPECT_EQ(0u, bench.scenario().asioStats().openChannels);
}

TEST_F(SimAsioBench, DsdChannelsStreamWithDsdSizes) {
  ASSERT_STATUS(0, bench.send(service, IOCTL_DRAVIK_SET_SAMPLE_RATE, uint32_t{2822400}));
  bench.runStream(service);
  const uint32_t units = 32;  // 2048 DSD samples per half
  ASSERT_STATUS(0, bench.send(asio, IOCTL_DRAVIK_ASIO_SET_SWITCH_CONTROL, control(units)));
  EXPECT_STATUS(DRAVIK_STATUS_NOT_POSSIBLE, bench.send(asio, IOCTL_DRAVIK_ASIO_OPEN_CHANNEL, key(true, 0)));
  LentBuffer out(units * 8), in(units * 8), lonely(units * 8);
  lend(key(false, 1, true), out);
  lend(key(true, 1, true), in);
  lend(key(true, 0, true), lonely);
  std::memset(out.half(0), 0x69, units * 8);
  ASSERT_STATUS(0, bench.send(asio, IOCTL_DRAVIK_ASIO_START));
  ASSERT_EQ(0u, step());
  for (uint32_t i = 0; i < units * 8; ++i) {
    ASSERT_EQ(0x69, in.half(0)[i]);
    ASSERT_EQ(0x96, lonely.half(0)[i]) << "DSD silence";
  }
}

// The real-time clock: a host thread serves switches as they come, for a
// number of them, then the stream stops. Only the outcome is checked.
TEST_F(SimAsioBench, RealTimeClockDeliversSwitchesUntilStopped) {
  bench.scenario().setClockMode(SimClockMode::RealTime);
  frames = 256;
  prepare();
  LentBuffer in0(frames * 4), out0(frames * 4);
  lend(key(true, 0), in0);
  lend(key(false, 0), out0);
  ASSERT_STATUS(0, bench.send(asio, IOCTL_DRAVIK_ASIO_START));

  std::atomic<int> served{0};
  std::atomic<bool> timedOut{false};
  std::thread host([&] {
    for (int i = 0; i < 20; ++i) {
      if (!signalled(switchEvent, kEventTimeoutMs)) {
        timedOut = true;
        return;
      }
      (void)atomicLoad(block.halfIndex);
      acknowledge(block);
      served.fetch_add(1);
    }
  });
  host.join();
  EXPECT_FALSE(timedOut);
  EXPECT_EQ(20, served.load());
  ASSERT_STATUS(0, bench.send(asio, IOCTL_DRAVIK_ASIO_STOP));
  const SimAsioStats after = bench.scenario().asioStats();
  EXPECT_GE(after.switches, 20u);
  EXPECT_FALSE(after.started);
  // STOP returned after the clock ended: the count no longer moves.
  EXPECT_EQ(after.switches, bench.scenario().asioStats().switches);
  EXPECT_TRUE(in0.guardsIntact());
}

}  // namespace
