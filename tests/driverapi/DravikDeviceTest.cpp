// The device object: binding, onOpened, and the device requests.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "FakeDriver.h"
#include "driverapi/DravikDevice.h"
#include "driverapi/DravikIoctl.h"

namespace {

class OpenedProbe : public DravikDevice {
public:
  DravikStatus onOpened() override {
    ++calls;
    boundWhenCalled = isOpen();
    return result;
  }
  int calls = 0;
  bool boundWhenCalled = false;
  DravikStatus result = 0;
};

class DriverApiDevice : public ::testing::Test {
protected:
  FakeDriver fake;
  const DravikDeviceRecord record = fakeDeviceRecord(0x1234, 0x5678, u"ABC");
};

TEST_F(DriverApiDevice, OpenBindsTheChannelThenCallsOnOpened) {
  OpenedProbe device;
  ASSERT_EQ(device.open(u"dev", record), 0u);
  EXPECT_TRUE(device.isOpen());
  EXPECT_EQ(device.calls, 1);
  EXPECT_TRUE(device.boundWhenCalled);
  EXPECT_EQ(std::u16string(device.driverName()), u"dev");
  EXPECT_EQ(std::memcmp(&device.record(), &record, sizeof record), 0);
  const FakeHandle h = fake.handle(fake.lastHandle());
  EXPECT_EQ(h.path, u"\\\\.\\dev");
  EXPECT_TRUE(h.bound);
  EXPECT_EQ(h.deviceId0, 0x1234u);
  EXPECT_EQ(h.deviceId1, 0x5678u);
  EXPECT_EQ(device.open(u"dev", record), DRAVIK_STATUS_REJECTED);
  EXPECT_EQ(device.calls, 1);
}

TEST_F(DriverApiDevice, AFailedBindOrOnOpenedClosesTheChannel) {
  OpenedProbe refused;
  fake.failOpenDevice(0x1234, 0x5678, DRAVIK_STATUS_NO_DEVICE);
  EXPECT_EQ(refused.open(u"dev", record), DRAVIK_STATUS_NO_DEVICE);
  EXPECT_FALSE(refused.isOpen());
  EXPECT_EQ(refused.calls, 0);
  fake.failOpenDevice(0x1234, 0x5678, 0);

  OpenedProbe failing;
  failing.result = DRAVIK_STATUS_REGISTRY_ACCESS_FAILED;
  EXPECT_EQ(failing.open(u"dev", record), DRAVIK_STATUS_REGISTRY_ACCESS_FAILED);
  EXPECT_FALSE(failing.isOpen());
  EXPECT_TRUE(fake.handle(fake.lastHandle()).closed);

  OpenedProbe later;
  fake.setInterfaceMajor(3);
  EXPECT_EQ(later.open(u"dev", record), DRAVIK_STATUS_VERSION_MISMATCH);
  EXPECT_EQ(later.calls, 0);
}

TEST_F(DriverApiDevice, ALongDriverNameIsKeptTo99Characters) {
  DravikDevice device;
  const std::u16string name(150, u'n');
  ASSERT_EQ(device.open(name.c_str(), record), 0u);
  EXPECT_EQ(std::u16string(device.driverName()), std::u16string(99, u'n'));
}

std::vector<uint8_t> bytesOf(const void* p, size_t n) {
  const uint8_t* b = static_cast<const uint8_t*>(p);
  return std::vector<uint8_t>(b, b + n);
}

std::vector<uint8_t> words(std::initializer_list<uint32_t> values) {
  std::vector<uint8_t> bytes;
  for (uint32_t v : values)
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
  return bytes;
}

class DriverApiDeviceRequests : public DriverApiDevice {
protected:
  void SetUp() override {
    ASSERT_EQ(device.open(u"dev", record), 0u);
    fake.clearCalls();
  }
  FakeCall onlyCall() {
    const auto calls = fake.calls();
    EXPECT_EQ(calls.size(), 1u);
    fake.clearCalls();
    return calls.empty() ? FakeCall{} : calls[0];
  }
  DravikDevice device;
};

TEST_F(DriverApiDeviceRequests, EveryRequestUsesItsCodeAndSizes) {
  DravikSpdifStatus spdif;
  bool on = true;
  DravikLevelEntry levels[3] = {};
  DravikGainEntry gains[2] = {};
  DravikCrosspointEntry crosspoints[4] = {};
  DravikEndpointVolume volume;
  DravikEffectParameters effect{};
  DravikMixerTopology topology;
  DravikPinDescriptor pins[26];
  uint32_t pinCount = 0;
  static DravikDeviceSetup setup{};
  static DravikChannelNameRecord names{};
  static DravikEndpointRecord endpoints{};
  struct Case {
    const char* what;
    std::function<DravikStatus()> call;
    uint32_t code;
    uint32_t inSize;
    uint32_t outSize;
  };
  const Case cases[] = {
      {"getSpdifStatus", [&] { return device.getSpdifStatus(0, spdif); }, 0x80882C80, 16, 16},
      {"setSpdifPassThrough", [&] { return device.setSpdifPassThrough(0, 0, true); }, 0x80882C84, 12, 0},
      {"getSpdifPassThrough", [&] { return device.getSpdifPassThrough(0, 0, on); }, 0x80882C88, 12, 12},
      {"setBypassVolume", [&] { return device.setBypassVolume(true); }, 0x80882D18, 1, 0},
      {"getBypassVolume", [&] { return device.getBypassVolume(on); }, 0x80882D1C, 0, 1},
      {"setBypassMute", [&] { return device.setBypassMute(false); }, 0x80882D20, 1, 0},
      {"getBypassMute", [&] { return device.getBypassMute(on); }, 0x80882D24, 0, 1},
      {"getMixerPins", [&] { return device.getMixerPins(1, pins, 18, pinCount); }, 0x80882CE0, 4, 72},
      {"getInputLevels", [&] { return device.getInputLevels(levels, 3); }, 0x80882CC0, 24, 24},
      {"getOutputLevels", [&] { return device.getOutputLevels(levels, 2); }, 0x80882CC4, 16, 16},
      {"getGains", [&] { return device.getGains(gains, 2); }, 0x80882D00, 16, 16},
      {"getCrosspoints", [&] { return device.getCrosspoints(crosspoints, 4); }, 0x80882D04, 48, 48},
      {"setGains", [&] { return device.setGains(gains, 1); }, 0x80882D10, 8, 8},
      {"setCrosspoints", [&] { return device.setCrosspoints(crosspoints, 4); }, 0x80882D14, 48, 48},
      {"getEndpointVolume", [&] { return device.getEndpointVolume(2, 5, volume); }, 0x80882DC0, 136, 136},
      {"setEndpointVolume", [&] { return device.setEndpointVolume(volume); }, 0x80882DC4, 136, 0},
      {"setEffectParameters", [&] { return device.setEffectParameters(effect); }, 0x80882E40, 520, 0},
      {"getEffectParameters", [&] { return device.getEffectParameters(effect); }, 0x80882E44, 520, 520},
      {"getMixerTopology", [&] { return device.getMixerTopology(topology); }, 0x80882C00, 0, 3624},
      {"setStreamingInterface", [&] { return device.setStreamingInterface(2, 1); }, 0x80883088, 8, 0},
      {"setStreamingInterfaceParam", [&] { return device.setStreamingInterfaceParam(0, 8); }, 0x80883080, 8, 0},
      {"setDeviceSetup", [&] { return device.setDeviceSetup(setup); }, 0x80882C20, 136, 0},
      {"setChannelNames", [&] { return device.setChannelNames(names); }, 0x80882C40, 6152, 0},
      {"setEndpoints", [&] { return device.setEndpoints(endpoints); }, 0x80882C44, 9480, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.call(), 0u) << c.what;
    const FakeCall call = onlyCall();
    EXPECT_EQ(call.code, c.code) << c.what;
    EXPECT_EQ(call.in.size(), c.inSize) << c.what;
    EXPECT_EQ(call.outSize, c.outSize) << c.what;
    EXPECT_EQ(call.handle, fake.lastHandle()) << c.what << " goes to the device's own channel";
  }
}

TEST_F(DriverApiDeviceRequests, RequestRecordsCarryTheArguments) {
  DravikSpdifStatus spdif;
  std::memset(&spdif, 0x77, sizeof spdif);
  device.getSpdifStatus(0, spdif);
  EXPECT_EQ(onlyCall().in, words({0, 0, 0, 0}));

  device.setSpdifPassThrough(0, 0, true);
  EXPECT_EQ(onlyCall().in, words({0, 0, 1}));
  device.setSpdifPassThrough(0, 0, false);
  EXPECT_EQ(onlyCall().in, words({0, 0, 0}));
  device.setBypassVolume(true);
  EXPECT_EQ(onlyCall().in, std::vector<uint8_t>{1});
  device.setBypassMute(false);
  EXPECT_EQ(onlyCall().in, std::vector<uint8_t>{0});

  DravikEndpointVolume volume;
  std::memset(&volume, 0x55, sizeof volume);
  device.getEndpointVolume(2, 5, volume);
  std::vector<uint8_t> expected(136, 0);
  expected[0] = 2;
  expected[4] = 5;
  EXPECT_EQ(onlyCall().in, expected);

  device.setStreamingInterfaceParam(2, 8);
  EXPECT_EQ(onlyCall().in, words({2, 8}));
  uint32_t pinCount = 0;
  device.getMixerPins(2, nullptr, 0, pinCount);
  EXPECT_EQ(onlyCall().in, words({2}));

  DravikEffectParameters effect{};
  effect.parameterId = DRAVIK_EFFECT_DELAY;
  effect.countOrValue = 2;
  effect.entries[0] = {4, 250};
  effect.entries[1] = {5, 250};
  device.setEffectParameters(effect);
  EXPECT_EQ(onlyCall().in, bytesOf(&effect, 520));
  device.setEffectParameters(effect, 24);
  EXPECT_EQ(onlyCall().in, words({2, 2, 4, 250, 5, 250}));
}

TEST_F(DriverApiDeviceRequests, GetOutputsFollowTheAnswer) {
  // SPDIF pass-through and bypass answers, then failures.
  uint32_t passThrough = 0x100;  // any non-zero value means on
  uint8_t bypass = 2;
  fake.setResponder([&](FakeHandle&, uint32_t code, const uint8_t*, uint32_t, uint8_t* out, uint32_t,
                        uint32_t& bytes, DravikStatus& status) {
    status = 0;
    if (code == IOCTL_DRAVIK_GET_SPDIF_PASSTHROUGH) {
      std::memcpy(out + 8, &passThrough, 4);
      bytes = 12;
      return true;
    }
    if (code == IOCTL_DRAVIK_GET_BYPASS_VOLUME) {
      out[0] = bypass;
      bytes = 1;
      return true;
    }
    return false;
  });
  bool on = false;
  ASSERT_EQ(device.getSpdifPassThrough(0, 0, on), 0u);
  EXPECT_TRUE(on);
  passThrough = 0;
  ASSERT_EQ(device.getSpdifPassThrough(0, 0, on), 0u);
  EXPECT_FALSE(on);
  ASSERT_EQ(device.getBypassVolume(on), 0u);
  EXPECT_TRUE(on);
  bypass = 0;
  ASSERT_EQ(device.getBypassVolume(on), 0u);
  EXPECT_FALSE(on);
  on = true;
  ASSERT_EQ(device.getBypassMute(on), 0u);
  EXPECT_FALSE(on) << "an unfilled byte reads as off";

  fake.failCode(IOCTL_DRAVIK_GET_SPDIF_PASSTHROUGH, DRAVIK_STATUS_NOT_SUPPORTED);
  on = true;
  EXPECT_EQ(device.getSpdifPassThrough(0, 0, on), DRAVIK_STATUS_NOT_SUPPORTED);
  EXPECT_TRUE(on) << "left untouched on failure";

  fake.failCode(IOCTL_DRAVIK_GET_SPDIF_STATUS, DRAVIK_STATUS_OBJECT_NOT_FOUND);
  DravikSpdifStatus spdif;
  EXPECT_EQ(device.getSpdifStatus(0, spdif), DRAVIK_STATUS_OBJECT_NOT_FOUND);
}

TEST_F(DriverApiDeviceRequests, MixerPinCountComesFromTheByteCount) {
  uint32_t answerBytes = 0;
  fake.setResponder([&](FakeHandle&, uint32_t code, const uint8_t*, uint32_t, uint8_t* out, uint32_t outSize,
                        uint32_t& bytes, DravikStatus& status) {
    if (code != IOCTL_DRAVIK_GET_MIXER_PINS) return false;
    for (uint32_t i = 0; i < outSize; ++i) out[i] = static_cast<uint8_t>(i);
    bytes = answerBytes;
    status = 0;
    return true;
  });
  DravikPinDescriptor pins[26];
  struct Case {
    uint32_t bytes;
    uint32_t count;
  };
  for (const Case c : {Case{0, 0}, Case{8, 2}, Case{11, 2}, Case{104, 26}, Case{400, 26}}) {
    answerBytes = c.bytes;
    uint32_t count = 99;
    EXPECT_EQ(device.getMixerPins(DRAVIK_PINS_OUTPUTS, pins, 26, count), 0u);
    EXPECT_EQ(count, c.count) << c.bytes;
  }
  fake.failCode(IOCTL_DRAVIK_GET_MIXER_PINS, DRAVIK_STATUS_NOT_SUPPORTED, 8);
  uint32_t count = 99;
  EXPECT_EQ(device.getMixerPins(DRAVIK_PINS_OUTPUTS, pins, 26, count), DRAVIK_STATUS_NOT_SUPPORTED);
  EXPECT_EQ(count, 0u);
}

TEST_F(DriverApiDeviceRequests, EffectBlocksLargerThanTheRecordAreRefused) {
  DravikEffectParameters effect{};
  EXPECT_EQ(device.setEffectParameters(effect, 521), DRAVIK_STATUS_INVALID_PARAMETER);
  EXPECT_EQ(device.getEffectParameters(effect, 600), DRAVIK_STATUS_INVALID_PARAMETER);
  EXPECT_TRUE(fake.calls().empty());
}

TEST_F(DriverApiDeviceRequests, RequestsOnAClosedDeviceAreNotSent) {
  device.close();
  bool on = false;
  EXPECT_EQ(device.setBypassMute(true), DRAVIK_STATUS_NOT_OPENED);
  EXPECT_EQ(device.getBypassVolume(on), DRAVIK_STATUS_NOT_OPENED);
  EXPECT_TRUE(fake.calls().empty());
}

}  // namespace
