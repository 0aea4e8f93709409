// The driver object against the simulated kernel driver: init, channels,
// buffer sizes, rates and the stream format, latencies, clock sources,
// future and the control panel.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <thread>

#include "AsioTestSupport.h"
#include "driverapi/DravikIoctl.h"

namespace asiotest {
namespace {

using AsioDriverObject = AsioSimTest;

std::string errorText(IASIO* asio) {
  char text[124];
  std::memset(text, 'x', sizeof text);
  asio->getErrorMessage(text);
  return text;
}

ASIOError setIoFormat(IASIO* asio, ASIOIoFormatType type) {
  ASIOIoFormat format;
  std::memset(&format, 0, sizeof format);
  format.FormatType = type;
  return asio->future(kAsioSetIoFormat, &format);
}

TEST_F(AsioDriverObject, InitConnectsOnceAsTheAsioDriverAndReadsTheDevice) {
  const uint32_t opensBefore = simFactory.openCount();
  createAndInit();
  EXPECT_EQ(object()->state(), AsioDriver::Initialized);
  ASSERT_NE(asioHandle(), SIM_NO_HANDLE);
  EXPECT_EQ(asio->init(nullptr), ASIOTrue);
  EXPECT_EQ(simFactory.openCount(), opensBefore + 1);
  EXPECT_EQ(sim.scenario().requestCount(IOCTL_DRAVIK_REGISTER_INITIATOR, asioHandle()), 1u);
  EXPECT_EQ(errorText(asio), "");

  ASIOSampleRate rate = 0;
  EXPECT_EQ(asio->getSampleRate(&rate), ASE_OK);
  EXPECT_EQ(rate, 48000.0);
  AsioLong in = -1, out = -1;
  EXPECT_EQ(asio->getChannels(&in, &out), ASE_OK);
  EXPECT_EQ(in, 18);
  EXPECT_EQ(out, 18);
}

TEST_F(AsioDriverObject, InitFailuresCloseTheConnectionAndKeepTheErrorText) {
  asio = createDriver();
  ASSERT_NE(asio, nullptr);

  // The stream is in error: no text, no connection.
  sim.scenario().forceStreamState(DRAVIK_STREAM_ERROR);
  EXPECT_EQ(asio->init(nullptr), ASIOFalse);
  EXPECT_EQ(errorText(asio), "");
  EXPECT_EQ(asioHandle(), SIM_NO_HANDLE);
  EXPECT_FALSE(object()->client().isOpen());

  // The registration is refused.
  sim.scenario().forceStreamState(DRAVIK_STREAM_RUNNING);
  sim.scenario().failRequest(IOCTL_DRAVIK_REGISTER_INITIATOR, DRAVIK_STATUS_FAILED, 1);
  EXPECT_EQ(asio->init(nullptr), ASIOFalse);
  EXPECT_EQ(errorText(asio), "No device is connected to the PC.");
  EXPECT_FALSE(object()->client().isOpen());
  EXPECT_EQ(object()->state(), AsioDriver::Loaded);

  // Nothing to open at all.
  DravikTransportFactory* none = nullptr;
  dravikSetTransportFactory(none);
  EXPECT_EQ(asio->init(nullptr), ASIOFalse);
  EXPECT_EQ(errorText(asio), "No device is connected to the PC.");
  dravikSetTransportFactory(&factory);

  // A later success does not clear the text.
  EXPECT_EQ(asio->init(nullptr), ASIOTrue);
  EXPECT_EQ(errorText(asio), "No device is connected to the PC.");
}

TEST_F(AsioDriverObject, AnUnreadableChannelListDisconnectsButInitStillSucceeds) {
  asio = createDriver();
  ASSERT_NE(asio, nullptr);
  sim.scenario().failRequest(IOCTL_DRAVIK_ASIO_GET_CHANNEL_LIST, DRAVIK_STATUS_FAILED, 1);
  EXPECT_EQ(asio->init(nullptr), ASIOTrue);
  EXPECT_EQ(errorText(asio), "No device is connected to the PC.");
  EXPECT_FALSE(object()->client().isOpen());
  AsioLong in = -1, out = -1;
  EXPECT_EQ(asio->getChannels(&in, &out), ASE_NotPresent);
  EXPECT_EQ(in, 0);
  EXPECT_EQ(out, 0);
}

TEST_F(AsioDriverObject, InitWaitsForTheStreamToRun) {
  sim.scenario().forceStreamState(DRAVIK_STREAM_PREPARED);
  std::thread service([this] {
    // Raised by the service after a few polls.
    if (sim.scenario().waitForRequest(IOCTL_DRAVIK_GET_STREAM_STATE, 3, kWaitMs))
      sim.scenario().forceStreamState(DRAVIK_STREAM_RUNNING);
  });
  asio = createDriver();
  EXPECT_EQ(asio->init(nullptr), ASIOTrue);
  service.join();
  EXPECT_GE(sim.scenario().requestCount(IOCTL_DRAVIK_GET_STREAM_STATE), 3u);
}

TEST_F(AsioDriverObject, InitGivesUpAfterTwoHundredRepeatedPolls) {
  sim.scenario().forceStreamState(DRAVIK_STREAM_READY);
  asio = createDriver();
  EXPECT_EQ(asio->init(nullptr), ASIOFalse);
  EXPECT_EQ(sim.scenario().requestCount(IOCTL_DRAVIK_GET_STREAM_STATE), 201u);
  EXPECT_EQ(asioHandle(), SIM_NO_HANDLE);
}

TEST_F(AsioDriverObject, BeforeInitTheOperationsSeeNothing) {
  asio = createDriver();
  AsioLong in = -1, out = -1;
  EXPECT_EQ(asio->getChannels(&in, &out), ASE_NotPresent);
  EXPECT_EQ(in, 0);
  EXPECT_EQ(out, 0);
  ASIOClockSource clocks[1];
  AsioLong n = 1;
  EXPECT_EQ(asio->getClockSources(clocks, &n), ASE_NotPresent);
  EXPECT_EQ(asio->setClockSource(0), ASE_NotPresent);
  EXPECT_EQ(asio->canSampleRate(48000), ASE_NoClock);
  ASIOSampleRate rate = -1;
  EXPECT_EQ(asio->getSampleRate(&rate), ASE_OK);
  EXPECT_EQ(rate, 0.0);
  AsioLong inLatency = -1, outLatency = -1;
  EXPECT_EQ(asio->getLatencies(&inLatency, &outLatency), ASE_OK);
  EXPECT_EQ(inLatency, 0);
  EXPECT_EQ(outLatency, 0);
  ASIOBufferInfo info{ASIOTrue, 0, {nullptr, nullptr}};
  EXPECT_EQ(asio->createBuffers(&info, 1, 256, &host.callbacks), ASE_NotPresent);
  EXPECT_EQ(asio->start(), ASE_NotPresent);
}

TEST_F(AsioDriverObject, BufferSizesAroundTheDriversSetting) {
  struct Case {
    bool dsd;
    uint32_t driverSize;
    AsioLong min, max, preferred;
  };
  const Case cases[] = {
      {false, 256, 256, 256, 256}, {false, 6, 6, 6, 6},         {false, 96, 64, 128, 96},
      {false, 16, 16, 16, 16},     {false, 17, 16, 32, 17},     {false, 65536, 65536, 65536, 65536},
      {false, 70000, 70000, 70000, 70000},                      {true, 32, 2048, 2048, 2048},
      {true, 3, 128, 256, 192},
  };
  createAndInit();
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.dsd ? "DSD " : "PCM ") << c.driverSize);
    if (c.dsd != object()->dsdMode()) {
      ASSERT_EQ(setIoFormat(asio, c.dsd ? kASIODSDFormat : kASIOPCMFormat), ASE_SUCCESS);
    }
    const uint32_t size = c.driverSize;
    factory.setShaper([size](uint32_t code, void* out, uint32_t) {
      if (code == IOCTL_DRAVIK_ASIO_GET_FORMAT) static_cast<StreamFormat*>(out)->asioBufferSize = size;
    });
    AsioLong min = 0, max = 0, preferred = 0, granularity = -1;
    EXPECT_EQ(asio->getBufferSize(&min, &max, &preferred, &granularity), ASE_OK);
    factory.setShaper(nullptr);
    EXPECT_EQ(min, c.min);
    EXPECT_EQ(max, c.max);
    EXPECT_EQ(preferred, c.preferred);
    EXPECT_EQ(granularity, 0);
  }
}

TEST_F(AsioDriverObject, CanSampleRateTruncatesAndIgnoresTheStreamFormat) {
  createAndInit();
  struct Case {
    double rate;
    ASIOError expected;
  };
  const Case cases[] = {
      {44100, ASE_OK},         {44100.9, ASE_OK},         {44099.99, ASE_NoClock},      {96000, ASE_OK},
      {2822400, ASE_OK},       {12345, ASE_NoClock},      {0, ASE_NoClock},             {-44100, ASE_NoClock},
      {1e30, ASE_NoClock},     {std::numeric_limits<double>::quiet_NaN(), ASE_NoClock},
  };
  for (const Case& c : cases) EXPECT_EQ(asio->canSampleRate(c.rate), c.expected) << c.rate;
  const size_t formatReads = sim.scenario().requestCount(IOCTL_DRAVIK_ASIO_GET_FORMAT);
  asio->canSampleRate(48000);
  EXPECT_EQ(sim.scenario().requestCount(IOCTL_DRAVIK_ASIO_GET_FORMAT), formatReads);
}

TEST_F(AsioDriverObject, SetSampleRateAsksTheServiceForRatesOfTheCurrentKindOnly) {
  createAndInit();
  // A DSD rate in PCM mode: refused without a request.
  EXPECT_EQ(asio->setSampleRate(2822400), ASE_NoClock);
  EXPECT_EQ(asio->setSampleRate(12345), ASE_NoClock);
  EXPECT_TRUE(service.rates().empty());

  EXPECT_EQ(asio->setSampleRate(96000.7), ASE_OK);
  EXPECT_EQ(asio->setSampleRate(96000), ASE_OK);  // sent although it is the current rate
  EXPECT_EQ(service.rates(), (std::vector<uint32_t>{96000, 96000}));
  ASIOSampleRate rate = 0;
  EXPECT_EQ(asio->getSampleRate(&rate), ASE_OK);
  EXPECT_EQ(rate, 96000.0);

  // Switching to DSD moves to the first DSD rate; then PCM rates are refused.
  EXPECT_EQ(setIoFormat(asio, kASIODSDFormat), ASE_SUCCESS);
  EXPECT_TRUE(object()->dsdMode());
  EXPECT_EQ(service.formats(), (std::vector<uint8_t>{1}));
  EXPECT_EQ(service.rates().back(), 2822400u);
  EXPECT_EQ(asio->setSampleRate(48000), ASE_NoClock);
  EXPECT_EQ(asio->setSampleRate(5644800), ASE_OK);
  EXPECT_EQ(asio->getSampleRate(&rate), ASE_OK);
  EXPECT_EQ(rate, 5644800.0);

  // PCM while in PCM again still asks and moves to the first PCM rate.
  EXPECT_EQ(setIoFormat(asio, kASIOPCMFormat), ASE_SUCCESS);
  EXPECT_EQ(setIoFormat(asio, kASIOPCMFormat), ASE_SUCCESS);
  EXPECT_EQ(service.formats(), (std::vector<uint8_t>{1, 0, 0}));
  EXPECT_EQ(service.rates().back(), 44100u);
  EXPECT_FALSE(object()->dsdMode());
}

TEST_F(AsioDriverObject, FailingServiceRequestsAreHardwareMalfunctions) {
  createAndInit();
  service.rateStatus = DRAVIK_STATUS_INVALID_STATE;
  EXPECT_EQ(asio->setSampleRate(96000), ASE_HWMalfunction);
  ASIOSampleRate rate = 0;
  asio->getSampleRate(&rate);
  EXPECT_EQ(rate, 48000.0);

  // The format request fails: nothing changes.
  service.formatStatus = DRAVIK_STATUS_FAILED;
  EXPECT_EQ(setIoFormat(asio, kASIODSDFormat), ASE_HWMalfunction);
  EXPECT_FALSE(object()->dsdMode());
  // The format request succeeds but the rate change after it fails: DSD stays.
  service.formatStatus = 0;
  EXPECT_EQ(setIoFormat(asio, kASIODSDFormat), ASE_HWMalfunction);
  EXPECT_TRUE(object()->dsdMode());

  // No service at all.
  service.rateStatus = 0;
  service.stop();
  EXPECT_EQ(asio->setSampleRate(2822400), ASE_HWMalfunction);
}

TEST_F(AsioDriverObject, FutureSelectors) {
  createAndInit();
  struct Case {
    AsioLong selector;
    ASIOError expected;
  };
  const Case plain[] = {
      {kAsioEnableTimeCodeRead, ASE_SUCCESS}, {kAsioDisableTimeCodeRead, ASE_SUCCESS},
      {kAsioSetInputMonitor, ASE_NotPresent}, {kAsioTransport, ASE_NotPresent},
      {kAsioGetOutputMeter, ASE_NotPresent},  {kAsioCanInputMonitor, ASE_NotPresent},
      {kAsioCanTimeInfo, ASE_SUCCESS},        {kAsioCanTimeCode, ASE_NotPresent},
      {kAsioSetIoFormat, ASE_NotPresent},     {kAsioGetIoFormat, ASE_NotPresent},
      {kAsioCanDoIoFormat, ASE_NotPresent},   {12345, ASE_NotPresent},
  };
  for (const Case& c : plain) EXPECT_EQ(asio->future(c.selector, nullptr), c.expected) << c.selector;

  ASIOIoFormat format;
  std::memset(&format, 0, sizeof format);
  format.FormatType = kASIODSDFormat;
  EXPECT_EQ(asio->future(kAsioGetIoFormat, &format), ASE_SUCCESS);
  EXPECT_EQ(format.FormatType, kASIOPCMFormat);
  const struct {
    ASIOIoFormatType type;
    ASIOError canDo;
  } formats[] = {{kASIOPCMFormat, ASE_SUCCESS}, {kASIODSDFormat, ASE_SUCCESS}, {kASIOFormatInvalid, ASE_NotPresent}};
  for (const auto& f : formats) {
    format.FormatType = f.type;
    EXPECT_EQ(asio->future(kAsioCanDoIoFormat, &format), f.canDo) << f.type;
  }
  format.FormatType = kASIOFormatInvalid;
  EXPECT_EQ(asio->future(kAsioSetIoFormat, &format), ASE_NotPresent);
  EXPECT_TRUE(service.formats().empty());
  EXPECT_EQ(asio->outputReady(), ASE_NotPresent);

  // Without DSD rates DSD is neither possible nor tried.
  sim.scenario().setSampleRates({44100, 48000, 96000}, 48000);
  asio->setSampleRate(48000);  // re-reads the stream format
  format.FormatType = kASIODSDFormat;
  EXPECT_EQ(asio->future(kAsioCanDoIoFormat, &format), ASE_NotPresent);
  EXPECT_EQ(asio->future(kAsioSetIoFormat, &format), ASE_NotPresent);
  EXPECT_TRUE(service.formats().empty());
}

TEST_F(AsioDriverObject, ChannelInfoOfBothFormats) {
  createAndInit();
  struct Case {
    bool dsd;
    ASIOBool isInput;
    AsioLong channel;
    ASIOError expected;
    ASIOSampleType type;
    const char* name;
  };
  const Case cases[] = {
      {false, ASIOTrue, 0, ASE_OK, ASIOSTInt32LSB, "Analog In 1"},
      {false, ASIOFalse, 17, ASE_OK, ASIOSTInt32LSB, "SPDIF Out 2"},
      {false, ASIOTrue, 18, ASE_NotPresent, 0, nullptr},
      {false, ASIOFalse, -1, ASE_NotPresent, 0, nullptr},
      {true, ASIOTrue, 1, ASE_OK, ASIOSTDSDInt8MSB1, "DSD In 2"},
      {true, ASIOFalse, 0, ASE_OK, ASIOSTDSDInt8MSB1, "DSD Out 1"},
      {true, ASIOFalse, 2, ASE_NotPresent, 0, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.dsd << " " << c.isInput << " " << c.channel);
    if (c.dsd != object()->dsdMode()) {
      ASSERT_EQ(setIoFormat(asio, c.dsd ? kASIODSDFormat : kASIOPCMFormat), ASE_SUCCESS);
    }
    ASIOChannelInfo info;
    std::memset(&info, 0x55, sizeof info);
    info.channel = c.channel;
    info.isInput = c.isInput;
    ASSERT_EQ(asio->getChannelInfo(&info), c.expected);
    if (c.expected != ASE_OK) continue;
    EXPECT_EQ(info.type, c.type);
    EXPECT_EQ(info.channelGroup, 0);
    EXPECT_EQ(info.isActive, ASIOFalse);
    EXPECT_STREQ(info.name, c.name);
  }
  AsioLong in = 0, out = 0;
  EXPECT_EQ(asio->getChannels(&in, &out), ASE_OK);
  EXPECT_EQ(in, 2);
  EXPECT_EQ(out, 2);
}

TEST_F(AsioDriverObject, DummyOutputsWhenThePcmSetHasNoOutputs) {
  // A device configuration that carries inputs only.
  factory.setShaper([](uint32_t code, void* out, uint32_t) {
    if (code == IOCTL_DRAVIK_ASIO_GET_CHANNEL_LIST) static_cast<DravikAsioChannelLists*>(out)->second.count = 0;
  });
  createAndInit();
  AsioLong in = 0, out = 0;
  EXPECT_EQ(asio->getChannels(&in, &out), ASE_OK);
  EXPECT_EQ(in, 18);
  EXPECT_EQ(out, 2);
  const char* names[2] = {"Dummy OUT L", "Dummy OUT R"};
  for (AsioLong i = 0; i < 2; ++i) {
    ASIOChannelInfo info{};
    info.channel = i;
    info.isInput = ASIOFalse;
    ASSERT_EQ(asio->getChannelInfo(&info), ASE_OK);
    EXPECT_EQ(info.type, ASIOSTInt32LSB);
    EXPECT_STREQ(info.name, names[i]);
  }

  // Their buffers are the driver's own: handed out without any channel request.
  std::vector<ASIOBufferInfo> infos = bufferInfos(1, 2);
  ASSERT_EQ(asio->createBuffers(infos.data(), 3, 256, &host.callbacks), ASE_OK);
  for (const ASIOBufferInfo& b : infos) {
    ASSERT_NE(b.buffers[0], nullptr);
    EXPECT_EQ(static_cast<uint8_t*>(b.buffers[1]) - static_cast<uint8_t*>(b.buffers[0]), 1024);
  }
  EXPECT_EQ(sim.scenario().requestCount(IOCTL_DRAVIK_ASIO_OPEN_CHANNEL), 1u);
  EXPECT_EQ(asio->disposeBuffers(), ASE_OK);
  EXPECT_EQ(sim.scenario().requestCount(IOCTL_DRAVIK_ASIO_CLOSE_CHANNEL), 1u);

  // The DSD set gets none.
  ASSERT_EQ(setIoFormat(asio, kASIODSDFormat), ASE_SUCCESS);
  EXPECT_EQ(asio->getChannels(&in, &out), ASE_OK);
  EXPECT_EQ(in, 2);
  EXPECT_EQ(out, 0);
}

TEST_F(AsioDriverObject, ClockSourcesAndLatencies) {
  createAndInit();
  ASIOClockSource clocks[2];
  std::memset(clocks, 0x55, sizeof clocks);
  AsioLong n = 0;
  EXPECT_EQ(asio->getClockSources(clocks, &n), ASE_InvalidParameter);
  n = 2;
  ASSERT_EQ(asio->getClockSources(clocks, &n), ASE_OK);
  EXPECT_EQ(n, 1);
  EXPECT_EQ(clocks[0].index, 0);
  EXPECT_EQ(clocks[0].associatedChannel, -1);
  EXPECT_EQ(clocks[0].associatedGroup, -1);
  EXPECT_EQ(clocks[0].isCurrentSource, ASIOTrue);
  EXPECT_STREQ(clocks[0].name, "Computer");
  EXPECT_EQ(asio->setClockSource(0), ASE_OK);
  EXPECT_EQ(asio->setClockSource(1), ASE_InvalidParameter);

  // The driver's latencies, plus the buffer size once there are buffers.
  DravikAsioLatencies expected;
  DravikAsioClient probe;
  ASSERT_EQ(probe.openDriver(DRAVIK_DEVICE_NAME, false, false), 0u);
  ASSERT_EQ(probe.getLatencies(expected), 0u);
  AsioLong in = 0, out = 0;
  EXPECT_EQ(asio->getLatencies(&in, &out), ASE_OK);
  EXPECT_EQ(in, static_cast<AsioLong>(expected.inputLatency));
  EXPECT_EQ(out, static_cast<AsioLong>(expected.outputLatency));
  std::vector<ASIOBufferInfo> infos = bufferInfos(1, 1);
  ASSERT_EQ(asio->createBuffers(infos.data(), 2, 256, &host.callbacks), ASE_OK);
  EXPECT_EQ(asio->getLatencies(&in, &out), ASE_OK);
  EXPECT_EQ(in, static_cast<AsioLong>(expected.inputLatency) + 256);
  EXPECT_EQ(out, static_cast<AsioLong>(expected.outputLatency) + 256);
  sim.scenario().failRequest(IOCTL_DRAVIK_ASIO_GET_LATENCIES, DRAVIK_STATUS_FAILED, 1);
  EXPECT_EQ(asio->getLatencies(&in, &out), ASE_OK);
  EXPECT_EQ(in, 0);
  EXPECT_EQ(out, 0);
}

TEST_F(AsioDriverObject, ControlPanelStartsTheProgramBesideTheModule) {
  TestModuleServices services;
  asioSetModuleServices(&services);
  asio = createDriver();
  EXPECT_EQ(asio->controlPanel(), ASE_NotPresent);  // no module path
  EXPECT_TRUE(services.started.empty());

  services.path = u"C:\\Program Files\\Tovix8\\tovix8asio.dll";
  EXPECT_EQ(asio->controlPanel(), ASE_OK);
  ASSERT_EQ(services.started.size(), 1u);
  EXPECT_EQ(services.started[0], u"\"C:\\Program Files\\Tovix8\\dravikcpl.exe\" -asio");

  // A long folder: the command line is cut to 259 characters.
  services.path = u"C:\\" + std::u16string(250, u'a') + u"\\tovix8asio.dll";
  EXPECT_EQ(asio->controlPanel(), ASE_OK);
  ASSERT_EQ(services.started.size(), 2u);
  EXPECT_EQ(services.started[1].size(), 259u);
  asioSetModuleServices(nullptr);
}

}  // namespace
}  // namespace asiotest
