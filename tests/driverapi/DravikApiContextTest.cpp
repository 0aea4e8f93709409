// The driver channel: open, version check, close, and the single request path.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "FakeDriver.h"
#include "driverapi/DravikApiContext.h"
#include "driverapi/DravikIoctl.h"

namespace {

constexpr uint32_t kSomeCode = IOCTL_DRAVIK_GET_STREAM_STATE;

class DriverApiChannel : public ::testing::Test {
protected:
  FakeDriver driver;
  DravikApiContext channel;
};

TEST_F(DriverApiChannel, OpenFormatsThePathAndChecksTheVersion) {
  ASSERT_EQ(channel.open(DRAVIK_DEVICE_NAME), 0u);
  EXPECT_TRUE(channel.isOpen());
  const FakeHandle h = driver.handle(driver.lastHandle());
  EXPECT_EQ(h.path, u"\\\\.\\{4033B9FA-A338-489F-8F9D-10A89289268B}");
  EXPECT_NE(h.ioEvent, nullptr) << "open creates the completion event";
  const auto info = driver.callsOf(IOCTL_DRAVIK_GET_DRIVER_INFO);
  ASSERT_EQ(info.size(), 1u);
  EXPECT_TRUE(info[0].in.empty());
  EXPECT_EQ(info[0].outSize, 24u);
}

TEST_F(DriverApiChannel, OtherInterfaceVersionsAreRefused) {
  for (uint32_t major : {0u, 1u, 3u, 0x10002u}) {
    driver.setInterfaceMajor(major);
    EXPECT_EQ(channel.open(DRAVIK_DEVICE_NAME), DRAVIK_STATUS_VERSION_MISMATCH) << major;
    EXPECT_FALSE(channel.isOpen());
    EXPECT_TRUE(driver.handle(driver.lastHandle()).closed) << "the refused handle is closed";
    EXPECT_EQ(channel.ioControl(kSomeCode, nullptr, 0, nullptr, 0), DRAVIK_STATUS_NOT_OPENED);
  }
  driver.setInterfaceMajor(2);
  EXPECT_EQ(channel.open(DRAVIK_DEVICE_NAME), 0u) << "the object is reusable after a refusal";
}

TEST_F(DriverApiChannel, FailuresOfOpenAndOfTheInformationRequestAreReturned) {
  driver.failOpen(2);  // the driver is not loaded
  EXPECT_EQ(channel.open(DRAVIK_DEVICE_NAME), 2u);
  EXPECT_FALSE(channel.isOpen());
  driver.failOpen(0);

  driver.failCode(IOCTL_DRAVIK_GET_DRIVER_INFO, DRAVIK_STATUS_INTERNAL_ERROR);
  EXPECT_EQ(channel.open(DRAVIK_DEVICE_NAME), DRAVIK_STATUS_INTERNAL_ERROR);
  EXPECT_FALSE(channel.isOpen());
  EXPECT_TRUE(driver.handle(driver.lastHandle()).closed);
}

TEST_F(DriverApiChannel, SecondOpenIsRejectedAndKeepsTheFirstHandle) {
  ASSERT_EQ(channel.open(DRAVIK_DEVICE_NAME), 0u);
  const int first = driver.lastHandle();
  EXPECT_EQ(channel.open(u"other"), DRAVIK_STATUS_REJECTED);
  EXPECT_EQ(driver.openCount(), 1);
  EXPECT_TRUE(channel.isOpen());
  driver.clearCalls();
  EXPECT_EQ(channel.ioControl(kSomeCode, nullptr, 0, nullptr, 0), 0u);
  const auto calls = driver.calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].handle, first);
  EXPECT_FALSE(driver.handle(first).closed);
}

TEST_F(DriverApiChannel, RequestsAfterCloseAreNotSent) {
  ASSERT_EQ(channel.open(DRAVIK_DEVICE_NAME), 0u);
  channel.close();
  EXPECT_FALSE(channel.isOpen());
  EXPECT_TRUE(driver.handle(driver.lastHandle()).closed);
  driver.clearCalls();
  uint32_t bytes = 1234;
  uint8_t out[8];
  EXPECT_EQ(channel.ioControl(kSomeCode, nullptr, 0, out, sizeof out, &bytes), DRAVIK_STATUS_NOT_OPENED);
  EXPECT_EQ(bytes, 0u);
  EXPECT_TRUE(driver.calls().empty());
  channel.close();  // a second close is harmless
  EXPECT_EQ(channel.open(DRAVIK_DEVICE_NAME), 0u) << "reopened after close";
}

TEST_F(DriverApiChannel, CloseOnANeverOpenedChannelIsHarmless) {
  DravikApiContext fresh;
  fresh.close();
  EXPECT_FALSE(fresh.isOpen());
  EXPECT_EQ(fresh.ioControl(kSomeCode, nullptr, 0, nullptr, 0), DRAVIK_STATUS_NOT_OPENED);
  EXPECT_EQ(driver.openCount(), 0);
}

TEST_F(DriverApiChannel, IoControlReturnsTheDriversCodeAndByteCountUnchanged) {
  ASSERT_EQ(channel.open(DRAVIK_DEVICE_NAME), 0u);
  const DravikStatus codes[] = {DRAVIK_STATUS_NO_MORE_ITEMS, DRAVIK_STATUS_OBJECT_NOT_FOUND, 31, 0xC0000001};
  for (DravikStatus code : codes) {
    driver.failCode(kSomeCode, code, 17);
    uint32_t bytes = 0;
    uint8_t out[36];
    EXPECT_EQ(channel.ioControl(kSomeCode, nullptr, 0, out, sizeof out, &bytes), code);
    EXPECT_EQ(bytes, 17u) << "the byte count also on failure";
    EXPECT_EQ(channel.ioControl(kSomeCode, nullptr, 0, out, sizeof out), code) << "no count wanted";
  }
  driver.failCode(kSomeCode, 0);

  driver.setResponder([](FakeHandle&, uint32_t code, const uint8_t* in, uint32_t inSize, uint8_t* out,
                         uint32_t outSize, uint32_t& bytes, DravikStatus& status) {
    if (code != IOCTL_DRAVIK_GET_CHANNEL_INFO) return false;
    // Echo the input, reversed, into the output.
    for (uint32_t i = 0; i < inSize && i < outSize; ++i) out[i] = in[inSize - 1 - i];
    bytes = inSize;
    status = 0;
    return true;
  });
  const uint8_t in[3] = {1, 2, 3};
  uint8_t out[3] = {};
  uint32_t bytes = 0;
  EXPECT_EQ(channel.ioControl(IOCTL_DRAVIK_GET_CHANNEL_INFO, in, 3, out, 3, &bytes), 0u);
  EXPECT_EQ(bytes, 3u);
  EXPECT_EQ(out[0], 3);
  EXPECT_EQ(out[2], 1);
}

TEST_F(DriverApiChannel, ALongNameIsCutToTheBuffer) {
  std::u16string name(400, u'x');
  ASSERT_EQ(channel.open(name.c_str()), 0u);
  const std::u16string path = driver.handle(driver.lastHandle()).path;
  EXPECT_EQ(path.size(), 299u);
  EXPECT_EQ(path.substr(0, 4), u"\\\\.\\");
  EXPECT_EQ(path.substr(4), std::u16string(295, u'x'));
}

TEST_F(DriverApiChannel, DriverInfoIsReadIntoAZeroedRecord) {
  ASSERT_EQ(channel.open(DRAVIK_DEVICE_NAME), 0u);
  DravikDriverInfo info;
  std::memset(&info, 0xFF, sizeof info);
  ASSERT_EQ(channel.getDriverInfo(info), 0u);
  EXPECT_EQ(info.interfaceMajor, 2u);
  EXPECT_EQ(info.driverMinor, 36u);
  EXPECT_EQ(info.buildFlags, 0u);
}

}  // namespace
