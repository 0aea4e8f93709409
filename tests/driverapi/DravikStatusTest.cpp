// Status names and the control panel's failure text.
#include <gtest/gtest.h>

#include <string>

#include "driverapi/DravikStatus.h"

namespace {

struct NameCase {
  DravikStatus status;
  const char* name;
};

// Every tabled code, plus values in the gaps and operating-system codes.
const NameCase kNameCases[] = {
    {0x00000000, "DRAVIK_STATUS_SUCCESS"},
    {0xE0000001, "DRAVIK_STATUS_FAILED"},
    {0xE0000002, "DRAVIK_STATUS_INTERNAL_ERROR"},
    {0xE0000003, "DRAVIK_STATUS_NO_MEMORY"},
    {0xE0000004, "DRAVIK_STATUS_NO_RESOURCES"},
    {0xE0000005, "DRAVIK_STATUS_TIMEOUT"},
    {0xE0000006, "DRAVIK_STATUS_ABORTED"},
    {0xE0000007, "DRAVIK_STATUS_NO_MORE_ITEMS"},
    {0xE0000008, "DRAVIK_STATUS_NEW_ENUM_EXPECTED"},
    {0xE0000009, "DRAVIK_STATUS_NO_FIRMWARE"},
    {0xE0000010, "DRAVIK_STATUS_NOT_SUPPORTED"},
    {0xE0000011, "DRAVIK_STATUS_NOT_POSSIBLE"},
    {0xE0000012, "DRAVIK_STATUS_NOT_ALLOWED"},
    {0xE0000013, "DRAVIK_STATUS_NOT_OPENED"},
    {0xE0000014, "DRAVIK_STATUS_VERSION_MISMATCH"},
    {0xE0000015, "DRAVIK_STATUS_LENGTH_MISMATCH"},
    {0xE0000016, "DRAVIK_STATUS_MAGIC_MISMATCH"},
    {0xE0000017, "DRAVIK_STATUS_CRC_MISMATCH"},
    {0xE0000018, "DRAVIK_STATUS_NOT_IN_HIGH_SPEED_MODE"},
    {0xE0000020, "DRAVIK_STATUS_REJECTED"},
    {0xE0000021, "DRAVIK_STATUS_ALREADY_DONE"},
    {0xE0000022, "DRAVIK_STATUS_WRONG_DIRECTION"},
    {0xE0000023, "DRAVIK_STATUS_REGISTRY_ACCESS_FAILED"},
    {0xE0000024, "DRAVIK_STATUS_IN_ERROR_STATE"},
    {0xE0000025, "DRAVIK_STATUS_NO_SERVER"},
    {0xE0000026, "DRAVIK_STATUS_INITIATOR_NOT_FOUND"},
    {0xE0000027, "DRAVIK_STATUS_NO_DEVICES"},
    {0xE0000028, "DRAVIK_STATUS_NO_STREAMING_DEVICE"},
    {0xE0000030, "DRAVIK_STATUS_INVALID_PARAMETER"},
    {0xE0000031, "DRAVIK_STATUS_INVALID_BUFFER_SIZE"},
    {0xE0000032, "DRAVIK_STATUS_INVALID_SAMPLE_SIZE"},
    {0xE0000033, "DRAVIK_STATUS_INVALID_TYPE"},
    {0xE0000034, "DRAVIK_STATUS_INVALID_SAMPLE_RATE"},
    {0xE0000035, "DRAVIK_STATUS_INVALID_IOCTL"},
    {0xE0000036, "DRAVIK_STATUS_INVALID_INBUFFER_SIZE"},
    {0xE0000037, "DRAVIK_STATUS_INVALID_OUTBUFFER_SIZE"},
    {0xE0000038, "DRAVIK_STATUS_INVALID_LENGTH"},
    {0xE0000039, "DRAVIK_STATUS_INVALID_COMMAND"},
    {0xE000003A, "DRAVIK_STATUS_INVALID_STATE"},
    {0xE0000040, "DRAVIK_STATUS_OBJECT_NOT_FOUND"},
    {0xE0000041, "DRAVIK_STATUS_IN_USE"},
    {0xE0000042, "DRAVIK_STATUS_NO_SUCH_IF"},
    {0xE0000043, "DRAVIK_STATUS_NO_SUCH_EP"},
    {0xE0000044, "DRAVIK_STATUS_CHANNEL_CONFIG_CHANGED"},
    {0xE0000050, "DRAVIK_STATUS_INVALID_MSG_TYPE"},
    {0xE0000051, "DRAVIK_STATUS_UNEXPECTED_MSG_CODE"},
    {0xE0000052, "DRAVIK_STATUS_INVALID_MSG_SIZE"},
    {0xE0000053, "DRAVIK_STATUS_INVALID_HD_SIZE"},
    {0xE0000060, "DRAVIK_STATUS_DEVICE_REMOVED"},
    {0xE0000061, "DRAVIK_STATUS_NO_DEVICE"},
    {0xE0000070, "DRAVIK_STATUS_ALLOC_BUFFER_FAILED"},
    {0xE0000071, "DRAVIK_STATUS_ALLOC_IRPRES_FAILED"},
    {0xE0000072, "DRAVIK_STATUS_SUBMIT_BUFFER_FAILED"},
    {0xE0000073, "DRAVIK_STATUS_START_CHANNEL_FAILED"},
    {0xE0000074, "DRAVIK_STATUS_STREAMS_STARTUP_FAILED"},
    {0xE0000080, "DRAVIK_STATUS_UNSUPPORTED_SAMPLE_RATE"},
    {0xE0000090, "DRAVIK_STATUS_SOUND_DEVICE_IN_USE"},
    {0xE0000100, "DRAVIK_STATUS_PENDING"},
    // Unassigned values and operating-system codes.
    {2, "???"},
    {5, "???"},
    {997, "???"},
    {0xE0000000, "???"},
    {0xE000000A, "???"},
    {0xE000000F, "???"},
    {0xE0000019, "???"},
    {0xE000003B, "???"},
    {0xE0000091, "???"},
    {0xE00000FF, "???"},
    {0xE0000101, "???"},
    {0xFFFFFFFF, "???"},
};

TEST(DriverApiStatusName, NamesEveryTabledCodeAndNothingElse) {
  for (const NameCase& c : kNameCases)
    EXPECT_STREQ(DravikStatusName(c.status), c.name) << std::hex << c.status;
}

TEST(DriverApiStatusName, EveryValueOfTheRangeOutsideTheTableIsUnnamed) {
  // No range arithmetic: a value between two codes never borrows a name.
  size_t named = 0;
  for (DravikStatus s = 0xE0000000; s <= 0xE0000110; ++s) {
    const std::string name = DravikStatusName(s);
    if (name != "???") {
      ++named;
      EXPECT_EQ(name.rfind("DRAVIK_STATUS_", 0), 0u);
    }
  }
  EXPECT_EQ(named, 57u);  // the table's codes without SUCCESS
}

std::u16string formatFailure(const char16_t* sentence, DravikStatus status, size_t capacity = 512) {
  std::u16string buffer(capacity, u'#');
  const size_t length = DravikFormatFailure(sentence, status, buffer.data(), capacity);
  const size_t stored = buffer.find(u'\0');
  EXPECT_NE(stored, std::u16string::npos);
  EXPECT_EQ(length, stored) << "the full text fits";
  return buffer.substr(0, stored);
}

struct FailureCase {
  DravikStatus status;
  const char16_t* expected;
};

TEST(DriverApiFailureText, SentenceStatusNameAndExplanation) {
  const FailureCase cases[] = {
      {DRAVIK_STATUS_NO_STREAMING_DEVICE,
       u"Changing the sample rate failed. (Status=DRAVIK_STATUS_NO_STREAMING_DEVICE).\n"
       u"There is no device selected for streaming."},
      {DRAVIK_STATUS_NO_DEVICES,
       u"Changing the sample rate failed. (Status=DRAVIK_STATUS_NO_DEVICES).\nThere are no devices connected."},
      {DRAVIK_STATUS_NOT_IN_HIGH_SPEED_MODE,
       u"Changing the sample rate failed. (Status=DRAVIK_STATUS_NOT_IN_HIGH_SPEED_MODE).\n"
       u"The device is not connected to a USB high-speed port."},
      {DRAVIK_STATUS_SOUND_DEVICE_IN_USE,
       u"Changing the sample rate failed. (Status=DRAVIK_STATUS_SOUND_DEVICE_IN_USE)."},
      {DRAVIK_STATUS_TIMEOUT, u"Changing the sample rate failed. (Status=DRAVIK_STATUS_TIMEOUT)."},
      {2, u"Changing the sample rate failed. (Status=???" u")."},
  };
  for (const FailureCase& c : cases)
    EXPECT_EQ(formatFailure(u"Changing the sample rate failed.", c.status), c.expected) << std::hex << c.status;
}

TEST(DriverApiFailureText, TruncatesToCapacityAndReportsFullLength) {
  const std::u16string full = formatFailure(u"Failed.", DRAVIK_STATUS_NO_DEVICES);
  char16_t small[10];
  EXPECT_EQ(DravikFormatFailure(u"Failed.", DRAVIK_STATUS_NO_DEVICES, small, 10), full.size());
  EXPECT_EQ(std::u16string(small), full.substr(0, 9));
  EXPECT_EQ(DravikFormatFailure(u"Failed.", DRAVIK_STATUS_NO_DEVICES, nullptr, 0), full.size());
}

}  // namespace
