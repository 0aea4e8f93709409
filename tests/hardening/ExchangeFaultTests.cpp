// Faults in the request exchange between a program and the service: a reply
// that comes after the sender gave up, and a sender whose handle is closed
// while its request is being served.
#include <gtest/gtest.h>

#include "../service/ServerFixture.h"
#include "driverapi/DravikServiceRecords.h"

namespace {

class ExchangeFault : public ServerFixture {};

DravikMessage configQuery(uint32_t id0, uint32_t id1) {
  DravikMessage m;
  m.init(DRAVIK_MSG_TYPE_REQUEST, DRAVIK_MSG_GET_DEVICE_CONFIG);
  const DravikDeviceConfig query{id0, id1, 0, 0};
  m.setPayload(&query, sizeof query);
  return m;
}

// Expected: the sender gets DRAVIK_STATUS_TIMEOUT; the reply that arrives
// later is dropped by the next exchange, which returns its own reply.
TEST_F(ExchangeFault, ReplyPastTheTimeOutGivesTimeoutAndIsDroppedByTheNextExchange) {
  startServer();
  const SimHandleId me = sc().findHandle(DRAVIK_INITIATOR_CPL_MAIN);
  ASSERT_EQ(0u, sc().holdReplies(me));
  // A query for no device: its reply says OBJECT_NOT_FOUND.
  DravikMessage stale = configQuery(0xDEAD, 0xBEEF);
  DravikMessage reply;
  EXPECT_EQ(uint32_t{DRAVIK_STATUS_TIMEOUT}, client_.sendRequest(stale, reply, 200));
  // The answer, held back by the driver until now (or still on its way),
  // reaches the sender's queue after it gave up.
  ASSERT_EQ(0u, sc().releaseReplies(me));

  const DravikDeviceId ids = deviceIds();
  DravikMessage fresh = configQuery(ids.deviceId0, ids.deviceId1);
  ASSERT_EQ(0u, client_.sendRequest(fresh, reply, kRequestTimeoutMs));
  EXPECT_EQ(0u, reply.status) << "the late reply was taken for the new request";
  EXPECT_EQ(fresh.sequence, reply.sequence);
  DravikDeviceConfig answer{};
  ASSERT_EQ(0u, reply.readExact(&answer, sizeof answer));
  EXPECT_EQ(ids.deviceId0, answer.deviceId0);
  EXPECT_EQ(ids.deviceId1, answer.deviceId1);
}

// Expected: a sender whose handle is closed while the server serves its
// request harms nobody: the server stays registered and answers the next
// program, and the driver keeps nothing of the closed handle.
TEST_F(ExchangeFault, SenderClosedDuringItsRequestHarmsNobody) {
  startServer();
  DravikClient other;
  ASSERT_EQ(0u, other.connectAs(DRAVIK_DEVICE_NAME, DRAVIK_INITIATOR_CPL_MAIN + 1));
  const SimHandleId gone = sc().findHandle(DRAVIK_INITIATOR_CPL_MAIN + 1);
  ASSERT_NE(SIM_NO_HANDLE, gone);
  sc().holdReplies(gone);
  DravikMessage request = configQuery(0, 0);
  ASSERT_EQ(0u, other.postMessage(request));
  sim_->closeHandle(gone);

  // The server is still there for everybody else.
  const DravikDeviceId ids = deviceIds();
  DravikMessage fresh = configQuery(ids.deviceId0, ids.deviceId1);
  DravikMessage reply;
  ASSERT_EQ(0u, client_.sendRequest(fresh, reply, kRequestTimeoutMs));
  EXPECT_EQ(0u, reply.status);
  barrier();
  EXPECT_NE(SIM_NO_HANDLE, serverHandle());
  for (const SimHandleInfo& h : sc().handles()) EXPECT_NE(gone, h.id) << "the closed handle is still held";
  // The closed channel's own requests now fail cleanly.
  EXPECT_NE(0u, other.postMessage(request));
}

}  // namespace
