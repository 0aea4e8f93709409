// Garbage in every registry value the service reads: the per-device render
// and capture configurations. Expected for each: a value of the wrong type
// or size leaves the default configuration (0); a well-formed REG_DWORD is
// the configuration whatever its number (any non-zero one means "no analog
// endpoints"); the device starts either way, nothing crashes, and no other
// value or key is overwritten.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "../service/ServerFixture.h"
#include "driverapi/DravikServiceRecords.h"
#include "platform/WnRegistryKey.h"
#include "service/ServiceIdentity.h"

namespace {

struct Garbage {
  const char* name;
  uint32_t type;
  std::vector<uint8_t> bytes;
  uint32_t expected;  // the configuration the service then reports
};

const char16_t kSentinel[] = u"Unrelated";
const uint8_t kSentinelBytes[] = {1, 2, 3, 4, 5};

std::vector<Garbage> garbage() {
  return {
      {"TextValue", WN_REG_SZ, {'1', 0, 0, 0}, 0},
      {"EmptyDword", WN_REG_DWORD, {}, 0},
      {"ShortDword", WN_REG_DWORD, {1, 0}, 0},
      {"LongDword", WN_REG_DWORD, {1, 0, 0, 0, 0, 0, 0, 0}, 0},
      {"Binary4", WN_REG_BINARY, {1, 0, 0, 0}, 0},
      {"Qword", WN_REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}, 0},
      {"HugeDword", WN_REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF}, 0xFFFFFFFFu},
      {"LargeDword", WN_REG_DWORD, {0x00, 0x00, 0x01, 0x00}, 0x10000u},
      {"BigBinary", WN_REG_BINARY, std::vector<uint8_t>(70000, 0xEE), 0},
      {"MultiSz", WN_REG_MULTI_SZ, {'a', 0, 0, 0, 0, 0}, 0},
  };
}

class RegistryGarbage : public ServerFixture, public ::testing::WithParamInterface<Garbage> {};

std::vector<uint8_t> readBack(const std::u16string& serial, const char16_t* name, uint32_t& type) {
  WnRegistryKey key;
  const std::u16string path = std::u16string(TOVIX8_REGISTRY_ROOT) + u"\\" + TOVIX8_DEVICES_SUBKEY + u"\\" + serial;
  std::vector<uint8_t> out(80000);
  uint32_t size = static_cast<uint32_t>(out.size());
  if (key.openExisting(wnHkeyLocalMachine(), path.c_str(), WN_KEY_READ) != 0 ||
      key.readRaw(name, out.data(), size, &type) != 0)
    return {};
  out.resize(size);
  return out;
}

TEST_P(RegistryGarbage, MalformedGivesDefaultsAndNothingElseIsOverwritten) {
  const Garbage& g = GetParam();
  const uint32_t size = static_cast<uint32_t>(g.bytes.size());
  for (const char16_t* name : {TOVIX8_RENDER_CONFIG_VALUE, TOVIX8_CAPTURE_CONFIG_VALUE})
    writeDeviceValue(kSerial, name, g.type, g.bytes.data(), size);
  writeDeviceValue(kSerial, kSentinel, WN_REG_BINARY, kSentinelBytes, sizeof kSentinelBytes);
  writeDeviceValue(u"T8-0002", TOVIX8_RENDER_CONFIG_VALUE, WN_REG_BINARY, kSentinelBytes, sizeof kSentinelBytes);

  startServer();
  const DravikDeviceId ids = deviceIds();
  const DravikDeviceConfig query{ids.deviceId0, ids.deviceId1, 0, 0};
  DravikMessage reply;
  ASSERT_EQ(0u, rawRequest(DRAVIK_MSG_GET_DEVICE_CONFIG, &query, sizeof query, &reply));
  DravikDeviceConfig answer{};
  ASSERT_EQ(0u, reply.readExact(&answer, sizeof answer));
  EXPECT_EQ(g.expected, answer.renderConfig) << g.name;
  EXPECT_EQ(g.expected, answer.captureConfig) << g.name;
  EXPECT_TRUE(snapshot().endpointsSet);
  EXPECT_EQ(0u, stopServer());

  uint32_t type = 0;
  EXPECT_EQ(std::vector<uint8_t>(std::begin(kSentinelBytes), std::end(kSentinelBytes)), readBack(kSerial, kSentinel, type));
  EXPECT_EQ(uint32_t{WN_REG_BINARY}, type);
  EXPECT_EQ(std::vector<uint8_t>(std::begin(kSentinelBytes), std::end(kSentinelBytes)),
            readBack(u"T8-0002", TOVIX8_RENDER_CONFIG_VALUE, type));
  // The garbage itself is left as it was: the service only writes a
  // configuration it was asked to set.
  EXPECT_EQ(g.bytes, readBack(kSerial, TOVIX8_RENDER_CONFIG_VALUE, type)) << g.name;
  EXPECT_EQ(g.type, type);
}

INSTANTIATE_TEST_SUITE_P(EveryKind, RegistryGarbage, ::testing::ValuesIn(garbage()),
                         [](const ::testing::TestParamInfo<Garbage>& info) { return std::string(info.param.name); });

}  // namespace
