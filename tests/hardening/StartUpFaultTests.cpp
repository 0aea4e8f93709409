// Faults in the service's device start-up: every request the start-up of a
// device makes fails once. Expected: the server stays up, the device whose
// start-up failed is dropped, and the next refresh (the driver's 3005) takes
// it up again, repeating its start-up work (seen in the driver's journal);
// the device ends fully set up.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>

#include "../service/ServerFixture.h"
#include "driverapi/DravikIoctl.h"

namespace {

// The requests of one device's start-up, as the controller makes them.
std::set<uint32_t> startUpCodes(const std::vector<SimJournalEntry>& entries) {
  std::set<uint32_t> codes;
  for (const SimJournalEntry& e : entries) codes.insert(e.code);
  return codes;
}

struct StartUpRequest {
  uint32_t code;
  // True: a failure ends the device's start-up, the device is dropped (and
  // with it, the only device, the server's channel until the next arrival).
  // False: the start-up carries on without it.
  bool fatal;
};

const StartUpRequest kStartUp[] = {
    {IOCTL_DRAVIK_OPEN_DEVICE, true},
    {IOCTL_DRAVIK_SET_DEVICE_SETUP, true},
    {IOCTL_DRAVIK_SET_CROSSPOINTS, true},
    {IOCTL_DRAVIK_GET_MIXER_TOPOLOGY, false},
    {IOCTL_DRAVIK_SET_CHANNEL_NAMES, true},
    {IOCTL_DRAVIK_SET_ENDPOINTS, true},
    {IOCTL_DRAVIK_SET_STREAMING_INTERFACE, true},
    {IOCTL_DRAVIK_SET_STREAMING_INTERFACE_PARAM, true},
};

class StartUpFault : public ServerFixture, public ::testing::WithParamInterface<StartUpRequest> {};

// Expected: a fatal failure drops the device and the next refresh (a device
// arrival) takes it up again, repeating OPEN_DEVICE and the failed request;
// a tolerated one leaves the device up. Either way the device ends set up
// and the server registered.
TEST_P(StartUpFault, FailingOnceIsRepairedByTheNextRefresh) {
  const StartUpRequest r = GetParam();
  startSim();
  sc().failRequest(r.code, DRAVIK_STATUS_FAILED, 1);
  startServer();
  const bool droppedAtStart = serverHandle() == SIM_NO_HANDLE || countCode(sc().journal(), r.code) == 0 ||
                              !snapshot().endpointsSet;
  const uint64_t before = mark();
  forgetNotifications();
  arrival_.set();
  if (r.fatal) {
    ASSERT_TRUE(waitForNotification(DRAVIK_NOTIFY_DEVICE_LIST_CHANGED)) << "no refresh after the arrival";
  }
  ASSERT_NE(SIM_NO_HANDLE, serverHandle()) << "the server is not registered after the refresh";
  barrier();

  const std::vector<SimJournalEntry> after = since(before);
  if (r.fatal) {
    EXPECT_GE(countCode(after, IOCTL_DRAVIK_OPEN_DEVICE), 1u) << "the device was not taken up again";
    EXPECT_GE(countCode(after, r.code), 1u) << "the failed request was not repeated";
  } else {
    EXPECT_FALSE(droppedAtStart);
    EXPECT_EQ(0u, countCode(after, IOCTL_DRAVIK_OPEN_DEVICE)) << "a tolerated failure dropped the device";
  }
  const SimDeviceSnapshot s = snapshot();
  EXPECT_TRUE(s.deviceSetupSet);
  EXPECT_TRUE(s.channelNamesSet);
  EXPECT_TRUE(s.endpointsSet);
  EXPECT_EQ(0u, stopServer());
}

// Requests of every channel's open, the device's too; a failure there is the
// open's failure and is met first by the server's own channel (the test of
// that is the lifecycle's: the next arrival connects).
const uint32_t kChannelOpen[] = {IOCTL_DRAVIK_GET_DRIVER_INFO};

// The table must hold every request of a device's start-up: a new start-up
// request is a new fault to test.
class StartUpTable : public ServerFixture {};

TEST_F(StartUpTable, CoversEveryRequestOfADeviceStartUp) {
  startSim();
  startServer();
  const SimHandleId server = serverHandle();
  const SimHandleId client = sc().findHandle(DRAVIK_INITIATOR_CPL_MAIN);
  std::vector<SimJournalEntry> device;
  for (const SimJournalEntry& e : sc().journal())
    if (e.handle != server && e.handle != client) device.push_back(e);
  ASSERT_FALSE(device.empty()) << "no device channel in the journal";
  for (uint32_t code : startUpCodes(device)) {
    bool listed = false;
    for (const StartUpRequest& r : kStartUp) listed = listed || r.code == code;
    for (uint32_t open : kChannelOpen) listed = listed || open == code;
    EXPECT_TRUE(listed) << "start-up request 0x" << std::hex << code << " is not in the fault table";
  }
}

INSTANTIATE_TEST_SUITE_P(EveryStartUpRequest, StartUpFault, ::testing::ValuesIn(kStartUp),
                         [](const ::testing::TestParamInfo<StartUpRequest>& info) {
                           char name[16];
                           std::snprintf(name, sizeof name, "x%08X", info.param.code);
                           return std::string(name);
                         });

}  // namespace
