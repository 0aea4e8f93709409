// The streaming engine against the simulated kernel driver: the buffers lent
// to it, the switch block, the priming switches, time info, the sample
// position, notifications, the state machine of start / stop / dispose, and
// that no buffer is released while the kernel driver may still hold it.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>

#include "AsioTestSupport.h"
#include "driverapi/DravikIoctl.h"

namespace asiotest {
namespace {

using AsioStreaming = AsioSimTest;

ASIOError setIoFormat(IASIO* asio, ASIOIoFormatType type) {
  ASIOIoFormat format;
  std::memset(&format, 0, sizeof format);
  format.FormatType = type;
  return asio->future(kAsioSetIoFormat, &format);
}

template <class Record>
Record inputOf(const SimJournalEntry& e) {
  Record r;
  std::memset(&r, 0, sizeof r);
  EXPECT_EQ(e.input.size(), sizeof r);
  if (e.input.size() == sizeof r) std::memcpy(&r, e.input.data(), sizeof r);
  return r;
}

// The ASIO requests (and the state and notification reads) of one handle, in order.
std::vector<uint32_t> streamingRequests(SimDriver& sim, SimHandleId handle) {
  std::vector<uint32_t> codes;
  for (const SimJournalEntry& e : sim.scenario().journal(handle))
    if ((e.code & 0xFFFFFF00u) == 0x80883C00u || e.code == IOCTL_DRAVIK_GET_STREAM_STATE ||
        e.code == IOCTL_DRAVIK_READ_NOTIFICATION)
      codes.push_back(e.code);
  return codes;
}

bool allBytes(const void* p, size_t n, uint8_t value) {
  const auto* b = static_cast<const uint8_t*>(p);
  return std::all_of(b, b + n, [value](uint8_t x) { return x == value; });
}

TEST_F(AsioStreaming, BuffersSwitchControlAndPrimingInBothFormats) {
  struct Case {
    bool dsd;
    AsioLong hostSize;
    uint32_t storedSize;
    size_t blockBytes;
    uint8_t silence;
    uint64_t step;  // sample position per switch
    double rate;
  };
  const Case cases[] = {
      {false, 256, 256, 2048, 0x00, 256, 48000},
      {true, 2048, 32, 512, 0x96, 2048, 2822400},
  };
  createAndInit();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dsd ? "DSD" : "PCM");
    if (c.dsd) {
      ASSERT_EQ(setIoFormat(asio, kASIODSDFormat), ASE_SUCCESS);
    }
    sim.scenario().clearJournal();
    const size_t switchesBefore = host.switches().size();

    std::vector<ASIOBufferInfo> infos = bufferInfos(2, 2);
    ASSERT_EQ(asio->createBuffers(infos.data(), 4, c.hostSize, &host.callbacks), ASE_OK);
    EXPECT_EQ(object()->state(), AsioDriver::Prepared);

    const std::vector<SimJournalEntry> control = journalOf(IOCTL_DRAVIK_ASIO_SET_SWITCH_CONTROL);
    ASSERT_EQ(control.size(), 1u);
    const SwitchControl sc = inputOf<SwitchControl>(control[0]);
    EXPECT_EQ(sc.bufferSize, c.storedSize);
    EXPECT_NE(sc.switchBlock, 0u);
    EXPECT_NE(sc.switchEvent, 0u);

    const std::vector<SimJournalEntry> lent = journalOf(IOCTL_DRAVIK_ASIO_SET_CHANNEL_BUFFER);
    ASSERT_EQ(lent.size(), 4u);
    for (size_t i = 0; i < infos.size(); ++i) {
      ASSERT_NE(infos[i].buffers[0], nullptr);
      EXPECT_EQ(static_cast<uint8_t*>(infos[i].buffers[1]) - static_cast<uint8_t*>(infos[i].buffers[0]),
                static_cast<ptrdiff_t>(c.blockBytes / 2));
      const ChannelBuffer b = inputOf<ChannelBuffer>(lent[i]);
      EXPECT_EQ(b.address, reinterpret_cast<uintptr_t>(infos[i].buffers[0]));
      EXPECT_EQ(b.halfSize, c.blockBytes / 2);
      EXPECT_EQ(b.four, 4u);
      bool recorded = false;
      for (const RecordingAllocator::Block& block : allocator.blocks())
        if (block.address == b.address) recorded = block.bytes == c.blockBytes;
      EXPECT_TRUE(recorded) << "block of " << c.blockBytes << " bytes";
      std::memset(infos[i].buffers[0], 0xAB, c.blockBytes);
      ASIOChannelInfo info{};
      info.channel = infos[i].channelNum;
      info.isInput = infos[i].isInput;
      ASSERT_EQ(asio->getChannelInfo(&info), ASE_OK);
      EXPECT_EQ(info.isActive, ASIOTrue);
    }

    ASSERT_EQ(asio->start(), ASE_OK);
    EXPECT_EQ(object()->state(), AsioDriver::Running);
    // The thread fills silence before it lets start return.
    for (const ASIOBufferInfo& b : infos) EXPECT_TRUE(allBytes(b.buffers[0], c.blockBytes, c.silence));

    // Both halves before the driver's first signal, then the driver's halves.
    ASSERT_TRUE(host.waitForSwitches(switchesBefore + 2));
    ASSERT_TRUE(sim.scenario().waitForRequest(IOCTL_DRAVIK_ASIO_START, 1, kWaitMs));
    ASSERT_EQ(sim.scenario().stepSwitch(), 0u);
    ASSERT_TRUE(host.waitForSwitches(switchesBefore + 3));
    ASSERT_EQ(sim.scenario().stepSwitch(), 0u);
    ASSERT_TRUE(host.waitForSwitches(switchesBefore + 4));
    const std::vector<SwitchCall> calls = host.switches();
    const AsioLong indices[4] = {0, 1, 0, 1};
    for (size_t i = 0; i < 4; ++i) {
      const SwitchCall& call = calls[switchesBefore + i];
      EXPECT_EQ(call.index, indices[i]) << i;
      EXPECT_TRUE(call.timeInfo);
      EXPECT_EQ(call.samplePosition, c.step * i) << i;
      EXPECT_EQ(call.flags, 15u);
      EXPECT_EQ(call.speed, 1.0);
      EXPECT_EQ(call.sampleRate, c.rate);
    }
    EXPECT_EQ(asio->stop(), ASE_OK);
    EXPECT_EQ(object()->state(), AsioDriver::Prepared);
    // Each switch of the driver was acknowledged, the primed ones were not.
    const auto* block = reinterpret_cast<const SwitchBlock*>(static_cast<uintptr_t>(sc.switchBlock));
    EXPECT_EQ(block->acknowledge, 2u);
    EXPECT_EQ(asio->disposeBuffers(), ASE_OK);
    EXPECT_EQ(object()->state(), AsioDriver::Initialized);

    const uint32_t O = IOCTL_DRAVIK_ASIO_OPEN_CHANNEL, B = IOCTL_DRAVIK_ASIO_SET_CHANNEL_BUFFER,
                   C = IOCTL_DRAVIK_ASIO_CLOSE_CHANNEL;
    const std::vector<uint32_t> expected = {
        IOCTL_DRAVIK_ASIO_SET_SWITCH_CONTROL, O, B, O, B, O, B, O, B, IOCTL_DRAVIK_GET_STREAM_STATE,
        IOCTL_DRAVIK_READ_NOTIFICATION,  // empty: start drains
        IOCTL_DRAVIK_ASIO_START, IOCTL_DRAVIK_ASIO_STOP, C, C, C, C, IOCTL_DRAVIK_ASIO_CLEAR_SWITCH_CONTROL};
    std::vector<uint32_t> seen = streamingRequests(sim, asioHandle());
    // Reads of the notification queue beyond the first belong to the drain.
    size_t reads = 0;
    seen.erase(std::remove_if(seen.begin(), seen.end(),
                              [&](uint32_t code) { return code == IOCTL_DRAVIK_READ_NOTIFICATION && reads++ > 0; }),
               seen.end());
    EXPECT_EQ(seen, expected);
    const std::vector<SimJournalEntry> closes = journalOf(IOCTL_DRAVIK_ASIO_CLOSE_CHANNEL);
    ASSERT_EQ(closes.size(), 4u);
    for (size_t i = 0; i < 4; ++i)
      EXPECT_EQ(inputOf<DravikChannelKey>(closes[i]).channelKey1, inputOf<ChannelBuffer>(lent[i]).channelKey1);
    EXPECT_EQ(sim.scenario().asioStats().openChannels, 0u);
    EXPECT_FALSE(sim.scenario().asioStats().switchControlSet);
  }
}

TEST_F(AsioStreaming, PlainSwitchesWhenTheHostHasNoTimeInfo) {
  host.supportsTimeInfo = false;
  createAndInit();
  std::vector<ASIOBufferInfo> infos = bufferInfos(1, 1);
  ASSERT_EQ(asio->createBuffers(infos.data(), 2, 128, &host.callbacks), ASE_OK);
  ASSERT_EQ(asio->start(), ASE_OK);
  ASSERT_TRUE(host.waitForSwitches(2));
  ASSERT_TRUE(sim.scenario().waitForRequest(IOCTL_DRAVIK_ASIO_START, 1, kWaitMs));
  ASSERT_EQ(sim.scenario().stepSwitch(), 0u);
  ASSERT_TRUE(host.waitForSwitches(3));
  const std::vector<SwitchCall> calls = host.switches();
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_FALSE(calls[i].timeInfo);
    EXPECT_EQ(calls[i].index, AsioLong(i % 2));
    // getSamplePosition inside the switch: the start of the half handed over.
    EXPECT_EQ(calls[i].samplePosition, 128u * i);
  }
  EXPECT_EQ(calls[2].systemTime % 1000000u, 0u);  // milliseconds as nanoseconds
}

TEST_F(AsioStreaming, CreateBuffersAsksTheHostWhatItSupports) {
  struct Case {
    std::set<AsioLong> supported;
    std::vector<std::pair<AsioLong, AsioLong>> expected;
  };
  const Case cases[] = {
      {{kAsioEngineVersion, kAsioResetRequest},
       {{kAsioSupportsTimeInfo, 0},
        {kAsioSelectorSupported, kAsioEngineVersion},
        {kAsioEngineVersion, 0},
        {kAsioSelectorSupported, kAsioResetRequest},
        {kAsioSelectorSupported, kAsioBufferSizeChange},
        {kAsioSelectorSupported, kAsioResyncRequest},
        {kAsioSelectorSupported, kAsioLatenciesChanged}}},
      {{},
       {{kAsioSupportsTimeInfo, 0},
        {kAsioSelectorSupported, kAsioEngineVersion},
        {kAsioSelectorSupported, kAsioResetRequest},
        {kAsioSelectorSupported, kAsioBufferSizeChange},
        {kAsioSelectorSupported, kAsioResyncRequest},
        {kAsioSelectorSupported, kAsioLatenciesChanged}}},
  };
  createAndInit();
  for (const Case& c : cases) {
    host.supported = c.supported;
    host.clearMessages();
    std::vector<ASIOBufferInfo> infos = bufferInfos(1, 1);
    ASSERT_EQ(asio->createBuffers(infos.data(), 2, 256, &host.callbacks), ASE_OK);
    EXPECT_EQ(host.messages(), c.expected);
    ASSERT_EQ(asio->disposeBuffers(), ASE_OK);
  }
}

TEST_F(AsioStreaming, NotificationsBecomeResetAndBufferSizeChangeRequests) {
  struct Case {
    std::set<AsioLong> supported;
    uint32_t notification;
    AsioLong expected;  // 0: no message
  };
  const Case cases[] = {
      {{kAsioResetRequest, kAsioBufferSizeChange}, DRAVIK_NOTIFY_SAMPLE_RATE_CHANGED, kAsioBufferSizeChange},
      {{kAsioResetRequest}, DRAVIK_NOTIFY_SAMPLE_RATE_CHANGED, kAsioResetRequest},
      {{}, DRAVIK_NOTIFY_SAMPLE_RATE_CHANGED, 0},
      {{kAsioResetRequest}, DRAVIK_NOTIFY_STREAM_RESTARTED, kAsioResetRequest},
      {{kAsioBufferSizeChange}, DRAVIK_NOTIFY_STREAM_RESTARTED, 0},
      {{kAsioResetRequest, kAsioBufferSizeChange}, DRAVIK_NOTIFY_DEVICE_LIST_CHANGED, 0},
  };
  createAndInit();
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.notification << " -> " << c.expected);
    host.supported = c.supported;
    std::vector<ASIOBufferInfo> infos = bufferInfos(1, 1);
    ASSERT_EQ(asio->createBuffers(infos.data(), 2, 256, &host.callbacks), ASE_OK);
    ASSERT_EQ(asio->start(), ASE_OK);
    host.clearMessages();
    const size_t formatReads = sim.scenario().requestCount(IOCTL_DRAVIK_ASIO_GET_FORMAT, asioHandle());
    const uint64_t before = sim.scenario().journal().back().serial;
    sim.scenario().raiseNotification(c.notification);
    ASSERT_TRUE(waitForNotificationHandled(before));
    const auto messages = host.messages();
    if (c.expected) {
      ASSERT_EQ(messages.size(), 1u);
      EXPECT_EQ(messages[0], std::make_pair(c.expected, AsioLong(0)));
    } else {
      EXPECT_TRUE(messages.empty());
    }
    const bool rereads = c.notification != DRAVIK_NOTIFY_DEVICE_LIST_CHANGED;
    EXPECT_EQ(sim.scenario().requestCount(IOCTL_DRAVIK_ASIO_GET_FORMAT, asioHandle()), formatReads + (rereads ? 1 : 0));
    ASSERT_EQ(asio->disposeBuffers(), ASE_OK);
  }
}

TEST_F(AsioStreaming, NotificationsWhileStoppedAreDiscardedByTheNextStart) {
  createAndInit();
  std::vector<ASIOBufferInfo> infos = bufferInfos(1, 1);
  ASSERT_EQ(asio->createBuffers(infos.data(), 2, 256, &host.callbacks), ASE_OK);
  sim.scenario().raiseNotification(DRAVIK_NOTIFY_STREAM_RESTARTED);
  host.clearMessages();
  ASSERT_EQ(asio->start(), ASE_OK);
  ASSERT_TRUE(host.waitForSwitches(2));
  ASSERT_TRUE(sim.scenario().waitForRequest(IOCTL_DRAVIK_ASIO_START, 1, kWaitMs));
  ASSERT_EQ(asio->stop(), ASE_OK);
  EXPECT_EQ(host.countMessages(kAsioResetRequest), 0u);
}

TEST_F(AsioStreaming, StopAndDisposeInEveryState) {
  struct Case {
    AsioDriver::State from;
    AsioDriver::State afterStop;
    AsioDriver::State afterDispose;
  };
  const Case cases[] = {
      {AsioDriver::Loaded, AsioDriver::Loaded, AsioDriver::Loaded},
      {AsioDriver::Initialized, AsioDriver::Initialized, AsioDriver::Initialized},
      {AsioDriver::Prepared, AsioDriver::Prepared, AsioDriver::Initialized},
      {AsioDriver::Running, AsioDriver::Prepared, AsioDriver::Initialized},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.from);
    asio = createDriver();
    host.driver = asio;
    std::vector<ASIOBufferInfo> infos = bufferInfos(1, 1);
    if (c.from >= AsioDriver::Initialized) {
      ASSERT_EQ(asio->init(nullptr), ASIOTrue);
    }
    if (c.from >= AsioDriver::Prepared) {
      ASSERT_EQ(asio->createBuffers(infos.data(), 2, 64, &host.callbacks), ASE_OK);
    }
    if (c.from >= AsioDriver::Running) {
      ASSERT_EQ(asio->start(), ASE_OK);
      // start twice: no second thread, no second START.
      ASSERT_EQ(asio->start(), ASE_OK);
      ASSERT_TRUE(sim.scenario().waitForRequest(IOCTL_DRAVIK_ASIO_START, 1, kWaitMs));
    }
    ASSERT_EQ(object()->state(), c.from);
    EXPECT_EQ(asio->stop(), ASE_OK);
    EXPECT_EQ(object()->state(), c.afterStop);
    EXPECT_EQ(asio->stop(), ASE_OK);
    EXPECT_EQ(asio->disposeBuffers(), ASE_OK);
    EXPECT_EQ(object()->state(), c.afterDispose);
    EXPECT_EQ(asio->disposeBuffers(), ASE_OK);
    if (c.from >= AsioDriver::Running) {
      EXPECT_EQ(sim.scenario().requestCount(IOCTL_DRAVIK_ASIO_START), 1u);
      EXPECT_EQ(sim.scenario().requestCount(IOCTL_DRAVIK_ASIO_STOP), 1u);
    }
    // Streaming again from the start.
    if (c.from >= AsioDriver::Initialized) {
      ASSERT_EQ(asio->createBuffers(infos.data(), 2, 64, &host.callbacks), ASE_OK);
      EXPECT_EQ(asio->start(), ASE_OK);
    }
    EXPECT_EQ(asio->Release(), 0u);
    asio = nullptr;
    expectClosedBeforeReleased();
    sim.scenario().clearJournal();
  }
}

TEST_F(AsioStreaming, CreateBuffersRefusesBadArguments) {
  createAndInit();
  ASIOBufferInfo info{ASIOTrue, 0, {nullptr, nullptr}};
  EXPECT_EQ(asio->createBuffers(nullptr, 1, 256, &host.callbacks), ASE_InvalidParameter);
  EXPECT_EQ(asio->createBuffers(&info, 1, 256, nullptr), ASE_InvalidParameter);
  EXPECT_EQ(asio->createBuffers(&info, 1, 0, &host.callbacks), ASE_InvalidParameter);
  EXPECT_EQ(asio->createBuffers(&info, 1, -256, &host.callbacks), ASE_InvalidParameter);
  ASSERT_EQ(setIoFormat(asio, kASIODSDFormat), ASE_SUCCESS);
  EXPECT_EQ(asio->createBuffers(&info, 1, 63, &host.callbacks), ASE_InvalidParameter);
  EXPECT_EQ(object()->state(), AsioDriver::Initialized);
  EXPECT_EQ(sim.scenario().requestCount(IOCTL_DRAVIK_ASIO_SET_SWITCH_CONTROL), 0u);
  ASSERT_EQ(asio->createBuffers(&info, 1, 64, &host.callbacks), ASE_OK);
  EXPECT_EQ(asio->createBuffers(&info, 1, 64, &host.callbacks), ASE_NotPresent);  // not Initialized
}

TEST_F(AsioStreaming, CreateBuffersFailuresDisposeWhatWasCreated) {
  createAndInit();
  struct Case {
    const char* what;
    int failAllocationAfter;  // -1: none; the switch block is the first allocation
    bool refuseSwitchControl;
    AsioLong badChannel;  // -1: none
    ASIOError expected;
  };
  const Case cases[] = {
      {"unknown channel", -1, false, 40, ASE_InvalidParameter},
      {"no memory for a buffer", 3, false, -1, ASE_NoMemory},
      {"no memory for the switch block", 0, false, -1, ASE_NoMemory},
      {"switch control refused", -1, true, -1, ASE_NoMemory},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.failAllocationAfter >= 0) allocator.failAfter(c.failAllocationAfter);
    if (c.refuseSwitchControl)
      sim.scenario().failRequest(IOCTL_DRAVIK_ASIO_SET_SWITCH_CONTROL, DRAVIK_STATUS_IN_USE, 1);
    std::vector<ASIOBufferInfo> infos = bufferInfos(2, 2);
    if (c.badChannel >= 0) infos[3].channelNum = c.badChannel;
    EXPECT_EQ(asio->createBuffers(infos.data(), 4, 256, &host.callbacks), c.expected);
    EXPECT_EQ(object()->state(), AsioDriver::Initialized);
    EXPECT_EQ(sim.scenario().asioStats().openChannels, 0u);
    allocator.failAfter(-1);
    // Everything is usable again afterwards, and nothing is left behind.
    ASSERT_EQ(asio->createBuffers(infos.data(), 3, 256, &host.callbacks), ASE_OK);
    ASSERT_EQ(asio->disposeBuffers(), ASE_OK);
    for (const RecordingAllocator::Block& b : allocator.blocks()) EXPECT_TRUE(b.released);
  }
}

TEST_F(AsioStreaming, ChannelsTheDriverRefusesGetNoBuffersButTheRestStreams) {
  createAndInit();
  sim.scenario().failRequest(IOCTL_DRAVIK_ASIO_OPEN_CHANNEL, DRAVIK_STATUS_IN_USE, 1);
  sim.scenario().failRequest(IOCTL_DRAVIK_ASIO_SET_CHANNEL_BUFFER, DRAVIK_STATUS_FAILED, 1);
  std::vector<ASIOBufferInfo> infos = bufferInfos(2, 1);
  ASSERT_EQ(asio->createBuffers(infos.data(), 3, 256, &host.callbacks), ASE_OK);
  EXPECT_EQ(infos[0].buffers[0], nullptr);
  EXPECT_EQ(infos[0].buffers[1], nullptr);
  EXPECT_EQ(infos[1].buffers[0], nullptr);
  EXPECT_NE(infos[2].buffers[0], nullptr);
  ASSERT_EQ(asio->start(), ASE_OK);
  ASSERT_TRUE(host.waitForSwitches(2));
}

TEST_F(AsioStreaming, AChannelNamedTwiceKeepsItsOneBuffer) {
  createAndInit();
  std::vector<ASIOBufferInfo> infos = {{ASIOTrue, 3, {}}, {ASIOFalse, 0, {}}, {ASIOTrue, 3, {}}};
  ASSERT_EQ(asio->createBuffers(infos.data(), 3, 256, &host.callbacks), ASE_OK);
  ASSERT_NE(infos[0].buffers[0], nullptr);
  EXPECT_EQ(infos[2].buffers[0], infos[0].buffers[0]);
  EXPECT_EQ(infos[2].buffers[1], infos[0].buffers[1]);
  EXPECT_EQ(sim.scenario().requestCount(IOCTL_DRAVIK_ASIO_OPEN_CHANNEL), 2u);
  EXPECT_EQ(sim.scenario().asioStats().channelsWithBuffer, 2u);
}

TEST_F(AsioStreaming, StartFailures) {
  createAndInit();
  std::vector<ASIOBufferInfo> infos = bufferInfos(1, 1);
  ASSERT_EQ(asio->createBuffers(infos.data(), 2, 256, &host.callbacks), ASE_OK);

  sim.scenario().forceStreamState(DRAVIK_STREAM_ERROR);
  EXPECT_EQ(asio->start(), ASE_NotPresent);
  sim.scenario().forceStreamState(DRAVIK_STREAM_RUNNING);
  sim.scenario().failRequest(IOCTL_DRAVIK_READ_NOTIFICATION, DRAVIK_STATUS_FAILED, 1);
  EXPECT_EQ(asio->start(), ASE_NotPresent);
  EXPECT_EQ(object()->state(), AsioDriver::Prepared);
  EXPECT_TRUE(host.switches().empty());

  // The kernel driver refuses to start: the primed halves only, no stop request.
  sim.scenario().failRequest(IOCTL_DRAVIK_ASIO_START, DRAVIK_STATUS_INVALID_STATE, 1);
  EXPECT_EQ(asio->start(), ASE_OK);
  ASSERT_TRUE(host.waitForSwitches(2));
  EXPECT_EQ(asio->stop(), ASE_OK);
  EXPECT_EQ(sim.scenario().requestCount(IOCTL_DRAVIK_ASIO_STOP), 0u);
  EXPECT_EQ(host.switches().size(), 2u);
  // And streams after a new start.
  EXPECT_EQ(asio->start(), ASE_OK);
  ASSERT_TRUE(sim.scenario().waitForRequest(IOCTL_DRAVIK_ASIO_START, 2, kWaitMs));
  ASSERT_EQ(sim.scenario().stepSwitch(), 0u);
  ASSERT_TRUE(host.waitForSwitches(5));
}

// --- No buffer is released while the kernel driver may hold it.

TEST_F(AsioStreaming, ARateChangeThatChangesTheLayoutClosesTheChannelsBeforeTheirBuffersGo) {
  createAndInit();
  std::vector<ASIOBufferInfo> infos = bufferInfos(2, 2);
  ASSERT_EQ(asio->createBuffers(infos.data(), 4, 256, &host.callbacks), ASE_OK);
  ASSERT_EQ(asio->start(), ASE_OK);
  ASSERT_TRUE(host.waitForSwitches(2));
  ASSERT_EQ(sim.scenario().asioStats().channelsWithBuffer, 4u);

  // A rate change that keeps the layout keeps the channels.
  host.clearMessages();
  ASSERT_EQ(asio->setSampleRate(44100), ASE_OK);
  EXPECT_EQ(sim.scenario().asioStats().channelsWithBuffer, 4u);
  EXPECT_EQ(sim.scenario().requestCount(IOCTL_DRAVIK_ASIO_CLOSE_CHANNEL), 0u);
  EXPECT_EQ(host.countMessages(kAsioResetRequest), 1u);  // the rate moved

  // One that changes the layout: the channels are closed at once...
  service.changeLayoutOnRate = true;
  ASSERT_EQ(asio->setSampleRate(96000), ASE_OK);
  EXPECT_EQ(sim.scenario().requestCount(IOCTL_DRAVIK_ASIO_CLOSE_CHANNEL), 4u);
  EXPECT_EQ(sim.scenario().asioStats().channelsWithBuffer, 0u);
  EXPECT_EQ(host.countMessages(kAsioResetRequest), 2u);
  for (AsioLong i = 0; i < 2; ++i) {
    ASIOChannelInfo info{};
    info.channel = i;
    info.isInput = ASIOTrue;
    ASSERT_EQ(asio->getChannelInfo(&info), ASE_OK);
    EXPECT_EQ(info.isActive, ASIOFalse);
  }
  // ...but the host may go on using its buffers until it disposes them.
  for (const RecordingAllocator::Block& b : allocator.blocks()) EXPECT_FALSE(b.released);
  for (const ASIOBufferInfo& b : infos) std::memset(b.buffers[0], 0x11, 2048);
  ASSERT_EQ(asio->disposeBuffers(), ASE_OK);
  for (const RecordingAllocator::Block& b : allocator.blocks()) EXPECT_TRUE(b.released);
  expectClosedBeforeReleased();

  // The host's reset: buffers again on the new layout.
  ASSERT_EQ(asio->createBuffers(infos.data(), 4, 256, &host.callbacks), ASE_OK);
  EXPECT_EQ(sim.scenario().asioStats().channelsWithBuffer, 4u);
}

TEST_F(AsioStreaming, BuffersLentUnderTheOtherFormatAreClosedBeforeTheyGo) {
  createAndInit();
  std::vector<ASIOBufferInfo> infos = bufferInfos(2, 2);
  ASSERT_EQ(asio->createBuffers(infos.data(), 4, 256, &host.callbacks), ASE_OK);
  // The host switches to DSD while prepared, disposes and comes back to PCM.
  ASSERT_EQ(setIoFormat(asio, kASIODSDFormat), ASE_SUCCESS);
  ASSERT_EQ(asio->disposeBuffers(), ASE_OK);
  EXPECT_EQ(sim.scenario().asioStats().openChannels, 0u);
  ASSERT_EQ(setIoFormat(asio, kASIOPCMFormat), ASE_SUCCESS);
  ASSERT_EQ(asio->createBuffers(infos.data(), 4, 256, &host.callbacks), ASE_OK);
  ASSERT_EQ(asio->disposeBuffers(), ASE_OK);
  expectClosedBeforeReleased();
  for (const RecordingAllocator::Block& b : allocator.blocks()) EXPECT_TRUE(b.released);
}

TEST_F(AsioStreaming, ReleasingTheDriverWhileItStreamsTearsDownInOrder) {
  createAndInit();
  ASSERT_EQ(setIoFormat(asio, kASIODSDFormat), ASE_SUCCESS);
  std::vector<ASIOBufferInfo> infos = bufferInfos(2, 2);
  ASSERT_EQ(asio->createBuffers(infos.data(), 4, 4096, &host.callbacks), ASE_OK);
  ASSERT_EQ(asio->start(), ASE_OK);
  ASSERT_TRUE(host.waitForSwitches(2));
  const SimHandleId handle = asioHandle();
  EXPECT_EQ(asio->Release(), 0u);
  asio = nullptr;
  // Back to PCM first, then stopped, closed and cleared.
  EXPECT_EQ(service.formats().back(), 0u);
  EXPECT_EQ(sim.scenario().asioStats().openChannels, 0u);
  EXPECT_EQ(sim.scenario().requestCount(IOCTL_DRAVIK_ASIO_CLEAR_SWITCH_CONTROL, handle), 1u);
  for (const RecordingAllocator::Block& b : allocator.blocks()) EXPECT_TRUE(b.released);
}

// --- Real-time clock: the host reads the position while switches run.

class AsioRealTimeStreaming : public AsioSimTest {
protected:
  AsioRealTimeStreaming() : AsioSimTest(SimDriverConfig()) {}
};

TEST_F(AsioRealTimeStreaming, HostReadsTheSamplePositionWhileSwitchesRun) {
  createAndInit();
  std::atomic<int> written{0};
  host.onSwitch = [&](AsioLong) { written.fetch_add(1); };
  std::vector<ASIOBufferInfo> infos = bufferInfos(2, 2);
  ASSERT_EQ(asio->createBuffers(infos.data(), 4, 256, &host.callbacks), ASE_OK);
  ASSERT_EQ(asio->start(), ASE_OK);

  uint64_t last = 0;
  bool ordered = true, aligned = true;
  for (size_t n = 1; n <= 40; ++n) {
    for (int k = 0; k < 8; ++k) {
      ASIOSamples position{};
      ASIOTimeStamp stamp{};
      ASSERT_EQ(asio->getSamplePosition(&position, &stamp), ASE_OK);
      const uint64_t now = asioJoin(position);
      ordered = ordered && now >= last;
      aligned = aligned && now % 256 == 0;
      last = now;
    }
    ASSERT_TRUE(host.waitForSwitches(n));
  }
  EXPECT_TRUE(ordered);
  EXPECT_TRUE(aligned);
  EXPECT_EQ(asio->stop(), ASE_OK);
  const std::vector<SwitchCall> calls = host.switches();
  // One buffer further per switch, however late a switch was served.
  for (size_t i = 0; i < calls.size(); ++i) EXPECT_EQ(calls[i].samplePosition, 256u * i) << i;
  EXPECT_EQ(written.load(), static_cast<int>(calls.size()));
  EXPECT_GE(sim.scenario().asioStats().switches, 38u);
}

}  // namespace
}  // namespace asiotest
