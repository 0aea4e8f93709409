// The frames of the pipe transport and of the control pipe, the device-event
// record, and the pipe path helpers.
#include <gtest/gtest.h>

#include <cstring>

#include "driverapi/DravikPipeFrame.h"
#include "platform/WnDeviceNotification.h"
#include "platform/WnPipe.h"
#include "platform/WnSimulatedDriver.h"
#include "simdriver/process/SimControlFrame.h"

namespace {

TEST(PipeFrames, BuiltFramesPassTheirChecks) {
  EXPECT_EQ(dravikPipeCheckHello(dravikPipeHello(1234)), 0u);
  EXPECT_EQ(dravikPipeCheckHelloReply(dravikPipeHelloReply(WN_ERROR_ACCESS_DENIED)), 0u);
  EXPECT_EQ(dravikPipeCheckRequest(dravikPipeRequest(0x80882004, 0, 24)), 0u);
  EXPECT_EQ(dravikPipeCheckReply(dravikPipeReply(DRAVIK_STATUS_NO_MORE_ITEMS, 0), 544), 0u);

  // The wire bytes are the little-endian fields in order.
  const DravikPipeRequestHeader r = dravikPipeRequest(0x80882040, 36, 0);
  uint8_t bytes[16];
  std::memcpy(bytes, &r, sizeof bytes);
  const uint8_t expected[16] = {0x54, 0x38, 0x52, 0x51, 0x40, 0x20, 0x88, 0x80, 36, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(std::memcmp(bytes, expected, 16), 0);
}

TEST(PipeFrames, MalformedFramesAreRefused) {
  struct Case {
    const char* what;
    DravikStatus got;
    DravikStatus expected;
  };
  DravikPipeHello badMagic = dravikPipeHello(1);
  badMagic.magic ^= 1;
  DravikPipeHello badVersion = dravikPipeHello(1);
  badVersion.version = 2;
  DravikPipeHello noProcess = dravikPipeHello(0);
  DravikPipeHelloReply badReply = dravikPipeHelloReply(0);
  badReply.reserved = 1;
  DravikPipeRequestHeader requestMagic = dravikPipeRequest(1, 0, 0);
  requestMagic.magic = DRAVIK_PIPE_REPLY_MAGIC;
  DravikPipeReplyHeader replyMagic = dravikPipeReply(0, 0);
  replyMagic.magic = DRAVIK_PIPE_REQUEST_MAGIC;
  const Case cases[] = {
      {"hello magic", dravikPipeCheckHello(badMagic), WN_ERROR_INVALID_DATA},
      {"hello version", dravikPipeCheckHello(badVersion), WN_ERROR_INVALID_DATA},
      {"hello without a process", dravikPipeCheckHello(noProcess), WN_ERROR_INVALID_DATA},
      {"hello reply reserved", dravikPipeCheckHelloReply(badReply), WN_ERROR_INVALID_DATA},
      {"request magic", dravikPipeCheckRequest(requestMagic), WN_ERROR_INVALID_DATA},
      {"input at the bound", dravikPipeCheckRequest(dravikPipeRequest(1, DRAVIK_PIPE_MAX_DATA, 0)), 0},
      {"input above the bound", dravikPipeCheckRequest(dravikPipeRequest(1, DRAVIK_PIPE_MAX_DATA + 1, 0)),
       WN_ERROR_INVALID_PARAMETER},
      {"output above the bound", dravikPipeCheckRequest(dravikPipeRequest(1, 0, DRAVIK_PIPE_MAX_DATA + 1)),
       WN_ERROR_INVALID_PARAMETER},
      {"huge input", dravikPipeCheckRequest(dravikPipeRequest(1, 0xFFFFFFFFu, 0)), WN_ERROR_INVALID_PARAMETER},
      {"reply magic", dravikPipeCheckReply(replyMagic, 16), WN_ERROR_INVALID_DATA},
      {"reply as long as offered", dravikPipeCheckReply(dravikPipeReply(0, 16), 16), 0},
      {"reply longer than offered", dravikPipeCheckReply(dravikPipeReply(0, 17), 16), WN_ERROR_INVALID_PARAMETER},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got, c.expected) << c.what;
}

TEST(ControlFrames, LengthsAreBounded) {
  EXPECT_TRUE(simCheckControlRequest(simControlRequest(1)));
  EXPECT_TRUE(simCheckControlRequest(simControlRequest(SIM_CONTROL_MAX_COMMAND)));
  EXPECT_FALSE(simCheckControlRequest(simControlRequest(0)));
  EXPECT_FALSE(simCheckControlRequest(simControlRequest(SIM_CONTROL_MAX_COMMAND + 1)));
  SimControlRequestHeader wrong = simControlRequest(4);
  wrong.magic = SIM_CONTROL_REPLY_MAGIC;
  EXPECT_FALSE(simCheckControlRequest(wrong));

  EXPECT_TRUE(simCheckControlReply(simControlReply(SIM_CONTROL_OK, 0)));
  EXPECT_TRUE(simCheckControlReply(simControlReply(SIM_CONTROL_BAD_USAGE, SIM_CONTROL_MAX_ANSWER)));
  EXPECT_FALSE(simCheckControlReply(simControlReply(SIM_CONTROL_OK, SIM_CONTROL_MAX_ANSWER + 1)));
  EXPECT_FALSE(simCheckControlReply(simControlReply(7, 0)));
}

TEST(DeviceEventRecords, OnlyArrivalAndRemovalWithATerminatedNameAreValid) {
  const WnGuid cls = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
  const WnDeviceEventRecord arrival = wnMakeDeviceEventRecord(WN_DBT_DEVICEARRIVAL, cls, u"\\\\?\\USB#X");
  EXPECT_TRUE(wnIsValidDeviceEventRecord(arrival));
  EXPECT_EQ(std::u16string(arrival.name), u"\\\\?\\USB#X");
  EXPECT_TRUE(arrival.classGuid == cls);
  EXPECT_TRUE(wnIsValidDeviceEventRecord(wnMakeDeviceEventRecord(WN_DBT_DEVICEREMOVECOMPLETE, cls, u"")));
  EXPECT_FALSE(wnIsValidDeviceEventRecord(wnMakeDeviceEventRecord(0x8001, cls, u"x")));

  // A name longer than the field is cut and stays terminated.
  const std::u16string longName(500, u'a');
  const WnDeviceEventRecord cut = wnMakeDeviceEventRecord(WN_DBT_DEVICEARRIVAL, cls, longName.c_str());
  EXPECT_TRUE(wnIsValidDeviceEventRecord(cut));
  EXPECT_EQ(std::u16string(cut.name).size(), WN_DEVICE_EVENT_NAME_CHARS - 1);

  WnDeviceEventRecord unterminated = arrival;
  for (char16_t& c : unterminated.name) c = u'x';
  EXPECT_FALSE(wnIsValidDeviceEventRecord(unterminated));
  WnDeviceEventRecord wrongSize = arrival;
  wrongSize.size = 32;
  EXPECT_FALSE(wnIsValidDeviceEventRecord(wrongSize));
}

TEST(PipePaths, BareNamesGetThePrefixAndDerivedNamesTheSuffix) {
  char16_t out[WN_PIPE_NAME_CHARS];
  ASSERT_TRUE(wnFormatPipePath(u"tovix8sim", out));
  EXPECT_EQ(std::u16string(out), u"\\\\.\\pipe\\tovix8sim");
  ASSERT_TRUE(wnFormatPipePath(u"\\\\.\\pipe\\x", out));
  EXPECT_EQ(std::u16string(out), u"\\\\.\\pipe\\x");
  EXPECT_FALSE(wnFormatPipePath(u"", out));
  EXPECT_FALSE(wnFormatPipePath(std::u16string(300, u'n').c_str(), out));
  EXPECT_EQ(out[0], 0);
  ASSERT_TRUE(wnDerivedPipePath(u"tovix8sim", u"-events", out));
  EXPECT_EQ(std::u16string(out), u"\\\\.\\pipe\\tovix8sim-events");
  EXPECT_FALSE(wnDerivedPipePath(std::u16string(WN_PIPE_NAME_CHARS - 12, u'n').c_str(), u"-events", out));
}

}  // namespace
