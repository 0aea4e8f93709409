// The driver under concurrent use: a server answering two clients while
// handles come and go, devices are plugged, notifications are broadcast and
// the real-time clock streams into an ASIO host, whose handle is finally
// closed while the clock runs. Outcomes are checked; the races themselves are
// for the thread sanitizer to judge.
#include <atomic>
#include <thread>

#include "SimTestSupport.h"
#include "driverapi/DravikAsioRecords.h"
#include "simdriver/SimChannelCatalog.h"

namespace {

TEST(SimConcurrency, RelayChurnAndClockTogether) {
  SimBench bench{SimDriverConfig()};  // real-time clock
  WnEvent stop;
  ASSERT_EQ(0u, stop.create(true, false));

  // The server echoes every request's payload with the request's sequence.
  ClientEvents serverEvents;
  const SimHandleId server = bench.openRegistered(DRAVIK_INITIATOR_SERVICE, &serverEvents);
  std::thread serverThread([&] {
    const WnRawHandle waits[2] = {stop.get(), serverEvents.message.get()};
    for (;;) {
      const uint32_t w = wnWaitForMultiple(2, waits, kEventTimeoutMs, false);
      if (w != WN_WAIT_OBJECT_0 + 1) return;
      DravikMessage m;
      while (bench.read(server, false, m) == DRAVIK_STATUS_SUCCESS) {
        DravikMessage reply = makeMessage(DRAVIK_MSG_TYPE_REPLY, DRAVIK_MSG_REPLY, m.payload, m.payloadLength);
        reply.sequence = m.sequence;
        reply.routing0 = m.routing0;
        reply.routing1 = m.routing1;
        bench.post(server, reply);
        if (m.sequence % 16 == 0) bench.post(server, makeMessage(DRAVIK_MSG_TYPE_NOTIFICATION, 3010));
      }
    }
  });

  constexpr uint32_t kRequests = 150;
  std::atomic<uint32_t> answered{0};
  auto clientBody = [&](uint32_t salt) {
    ClientEvents events;
    const SimHandleId h = bench.openRegistered(DRAVIK_INITIATOR_CPL_MAIN, &events);
    for (uint32_t seq = 1; seq <= kRequests; ++seq) {
      const uint32_t value = salt + seq;
      DravikMessage request = makeMessage(DRAVIK_MSG_TYPE_REQUEST, DRAVIK_MSG_SET_POLICY, &value, 4);
      request.sequence = seq;
      if (bench.post(h, request) != DRAVIK_STATUS_SUCCESS) return;
      bool got = false;
      while (!got) {
        if (!signalled(events.message, kEventTimeoutMs)) return;
        DravikMessage reply;
        while (bench.read(h, false, reply) == DRAVIK_STATUS_SUCCESS) {
          uint32_t echoed = 0;
          std::memcpy(&echoed, reply.payload, 4);
          if (reply.sequence == seq && echoed == value) got = true;
        }
      }
      answered.fetch_add(1);
      bench.drainNotifications(h);
    }
    bench.driver.closeHandle(h);
  };
  std::thread clientA(clientBody, 0x10000);
  std::thread clientB(clientBody, 0x20000);

  // Handles, ASIO registrations and a second device come and go.
  std::thread churn([&] {
    SimDeviceConfig second;
    second.serial = u"T8-0002";
    for (int i = 0; i < 60; ++i) {
      const SimHandleId h = bench.openRegistered(DRAVIK_INITIATOR_ASIO);
      DravikDeviceList list{};
      bench.get(h, IOCTL_DRAVIK_GET_DEVICE_LIST, list);
      if (i % 2 == 0)
        bench.scenario().plugDevice(second);
      else
        bench.scenario().unplugDevice(u"T8-0002");
      bench.scenario().setUseCounts(i % 3 == 0 ? 1 : 0, 0);
      bench.driver.closeHandle(h);
    }
  });

  // An ASIO host streaming on the real-time clock.
  const SimHandleId control = bench.open();
  bench.runStream(control);
  const SimHandleId asio = bench.openRegistered(DRAVIK_INITIATOR_ASIO);
  WnEvent switchEvent;
  ASSERT_EQ(0u, switchEvent.create(false, false));
  alignas(8) SwitchBlock block{};
  constexpr uint32_t kFrames = 64;
  std::vector<uint32_t> in(kFrames * 2), out(kFrames * 2);
  DravikDeviceId ids{};
  ASSERT_STATUS(0, bench.scenario().deviceIds(u"T8-0001", ids));
  const SwitchControl sc{reinterpret_cast<uintptr_t>(&block), reinterpret_cast<uintptr_t>(switchEvent.get()), kFrames};
  ASSERT_STATUS(0, bench.send(asio, IOCTL_DRAVIK_ASIO_SET_SWITCH_CONTROL, sc));
  for (bool input : {true, false}) {
    const DravikChannelKey k{ids.deviceId0, simChannelKey1(SimChannelId{input, false, 3})};
    ASSERT_STATUS(0, bench.send(asio, IOCTL_DRAVIK_ASIO_OPEN_CHANNEL, k));
    const uint64_t address = reinterpret_cast<uintptr_t>(input ? in.data() : out.data());
    ASSERT_STATUS(0, bench.send(asio, IOCTL_DRAVIK_ASIO_SET_CHANNEL_BUFFER,
                                ChannelBuffer{k.channelKey0, k.channelKey1, kFrames * 4, 4, address}));
  }
  ASSERT_STATUS(0, bench.send(asio, IOCTL_DRAVIK_ASIO_START));
  std::atomic<int> switches{0};
  std::thread host([&] {
    const WnRawHandle waits[2] = {stop.get(), switchEvent.get()};
    while (wnWaitForMultiple(2, waits, kEventTimeoutMs, false) == WN_WAIT_OBJECT_0 + 1) {
      const uint32_t h = std::atomic_ref<uint32_t>(block.halfIndex).load() & 1;
      uint32_t sum = 0;
      for (uint32_t k = 0; k < kFrames; ++k) sum += in[h * kFrames + k];
      for (uint32_t k = 0; k < kFrames; ++k) out[h * kFrames + k] = sum + k;
      std::atomic_ref<uint32_t>(block.acknowledge).fetch_add(1);
      switches.fetch_add(1);
    }
  });

  clientA.join();
  clientB.join();
  churn.join();
  EXPECT_EQ(2 * kRequests, answered.load());

  // The ASIO handle goes while the clock runs; the host's buffers stay valid
  // until the close has returned.
  bench.driver.closeHandle(asio);
  EXPECT_FALSE(bench.scenario().asioStats().started);
  ASSERT_EQ(0u, stop.set());
  host.join();
  serverThread.join();
  EXPECT_GT(switches.load(), 0);
}

TEST(SimConcurrency, TheDriverEndsWhileItsClockRunsAndRepliesAreDelayed) {
  auto bench = std::make_unique<SimBench>(SimDriverConfig());
  const SimHandleId control = bench->open();
  bench->runStream(control);
  const SimHandleId server = bench->openRegistered(DRAVIK_INITIATOR_SERVICE);
  ClientEvents events;
  const SimHandleId client = bench->openRegistered(DRAVIK_INITIATOR_CPL_MAIN, &events);
  const SimHandleId asio = bench->openRegistered(DRAVIK_INITIATOR_ASIO);
  WnEvent switchEvent;
  ASSERT_EQ(0u, switchEvent.create(false, false));
  alignas(8) SwitchBlock block{};
  const SwitchControl sc{reinterpret_cast<uintptr_t>(&block), reinterpret_cast<uintptr_t>(switchEvent.get()), 32};
  ASSERT_STATUS(0, bench->send(asio, IOCTL_DRAVIK_ASIO_SET_SWITCH_CONTROL, sc));
  ASSERT_STATUS(0, bench->send(asio, IOCTL_DRAVIK_ASIO_START));
  ASSERT_TRUE(signalled(switchEvent, kEventTimeoutMs));

  ASSERT_STATUS(0, bench->scenario().delayReplies(client, 60000));
  DravikMessage request = makeMessage(DRAVIK_MSG_TYPE_REQUEST, 1001);
  request.sequence = 1;
  ASSERT_STATUS(0, bench->post(client, request));
  DravikMessage m;
  ASSERT_STATUS(0, bench->read(server, false, m));
  DravikMessage reply = makeMessage(DRAVIK_MSG_TYPE_REPLY, DRAVIK_MSG_REPLY);
  reply.routing0 = m.routing0;
  reply.routing1 = m.routing1;
  ASSERT_STATUS(0, bench->post(server, reply));
  bench.reset();  // joins the clock and the delivery thread, drops everything
  EXPECT_FALSE(signalled(events.message));
}

}  // namespace
