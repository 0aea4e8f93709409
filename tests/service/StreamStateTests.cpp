// The streaming state machine of the device server: raise, lower and
// release-idle from every state, with the transition hooks, driven directly
// on a server connected in the test's thread; then activity arriving and
// leaving through the running loop.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ServerFixture.h"
#include "service/CustomServer.h"

namespace {

// Records the server-level hooks as "B1>2" (before), "A1>2" (after) and
// "F2>3" (failed).
class RecordingServer : public CustomServer {
public:
  DravikStatus beforeTransition(uint32_t state, uint32_t target, uint32_t rate) override {
    add('B', state, target);
    return CustomServer::beforeTransition(state, target, rate);
  }
  void afterTransition(uint32_t state, uint32_t target, uint32_t rate) override {
    add('A', state, target);
    CustomServer::afterTransition(state, target, rate);
  }
  void transitionFailed(uint32_t state, uint32_t target, DravikStatus error) override {
    add('F', state, target);
    CustomServer::transitionFailed(state, target, error);
  }
  std::string trace;

private:
  void add(char kind, uint32_t state, uint32_t target) {
    if (!trace.empty()) trace += ' ';
    trace += kind + std::to_string(state) + '>' + std::to_string(target);
  }
};

enum class Op { Raise, Lower, ReleaseIdle };

struct WalkCase {
  Op op;
  uint32_t start;
  bool wanted;
  bool failCommand;
  DravikStatus result;
  std::vector<uint32_t> commands;
  const char* hooks;
  uint32_t end;
};

class StreamStateWalk : public ServerFixture {
protected:
  void connect(CustomServer& server) {
    startSim();
    ASSERT_EQ(0u, server.openDriver(DRAVIK_DEVICE_NAME, true, true));
    ASSERT_EQ(0u, server.registerInitiator(DRAVIK_INITIATOR_SERVICE));
    bool changed = false;
    ASSERT_EQ(0u, server.updateDeviceList(changed));
    ASSERT_EQ(1u, server.deviceCount());
  }
};

TEST_F(StreamStateWalk, FromEveryState) {
  const WalkCase cases[] = {
      {Op::Raise, 0, true, false, DRAVIK_STATUS_INVALID_STATE, {}, "", 0},
      {Op::Raise, 1, false, false, 0, {2}, "B1>2 A1>2", 2},
      {Op::Raise, 1, true, false, 0, {2, 4, 5}, "B1>2 A1>2 B2>3 A2>3 B3>4 A3>4", 4},
      {Op::Raise, 2, false, false, 0, {}, "", 2},
      {Op::Raise, 2, true, false, 0, {4, 5}, "B2>3 A2>3 B3>4 A3>4", 4},
      {Op::Raise, 3, false, false, 0, {5}, "B3>4 A3>4", 4},
      {Op::Raise, 4, true, false, 0, {}, "", 4},
      {Op::Raise, 5, false, false, 0, {1, 2}, "B1>2 A1>2", 2},
      {Op::Raise, 6, true, false, 0, {1, 2, 4, 5}, "B1>2 A1>2 B2>3 A2>3 B3>4 A3>4", 4},
      {Op::Raise, 7, true, false, DRAVIK_STATUS_INVALID_STATE, {}, "", 7},
      {Op::Raise, 0x100, false, false, DRAVIK_STATUS_INVALID_STATE, {}, "", 0x100},
      {Op::Raise, 1, true, true, DRAVIK_STATUS_ABORTED, {2}, "B1>2", 1},
      {Op::Raise, 2, true, true, DRAVIK_STATUS_ABORTED, {4}, "B2>3 F2>3", 2},
      {Op::Lower, 0, false, false, DRAVIK_STATUS_INVALID_STATE, {}, "", 0},
      {Op::Lower, 1, false, false, 0, {}, "", 1},
      {Op::Lower, 2, true, false, 0, {3}, "B2>1 A2>1", 1},
      {Op::Lower, 3, false, false, 0, {6, 3}, "B3>2 A3>2 B2>1 A2>1", 1},
      {Op::Lower, 4, true, false, 0, {6, 3}, "B4>2 A4>2 B2>1 A2>1", 1},
      {Op::Lower, 5, false, false, 0, {1}, "", 1},
      {Op::Lower, 6, false, false, 0, {1}, "", 1},
      {Op::Lower, 7, false, false, DRAVIK_STATUS_INVALID_STATE, {}, "", 7},
      {Op::Lower, 0xFFFFFFFF, false, false, DRAVIK_STATUS_INVALID_STATE, {}, "", 0xFFFFFFFF},
      {Op::Lower, 4, false, true, DRAVIK_STATUS_ABORTED, {6}, "B4>2 F4>2", 4},
      {Op::Lower, 2, false, true, DRAVIK_STATUS_ABORTED, {3}, "B2>1", 2},
      {Op::ReleaseIdle, 4, false, false, 0, {6}, "B4>2 A4>2", 2},
      {Op::ReleaseIdle, 3, false, false, 0, {6}, "B3>2 A3>2", 2},
      {Op::ReleaseIdle, 4, true, false, 0, {}, "", 4},
      {Op::ReleaseIdle, 2, false, false, 0, {}, "", 2},
      {Op::ReleaseIdle, 0, false, false, 0, {}, "", 0},
      {Op::ReleaseIdle, 4, false, true, DRAVIK_STATUS_ABORTED, {6}, "B4>2 F4>2", 4},
  };
  RecordingServer server;
  connect(server);
  const SimHandleId serverId = serverHandle();
  for (const WalkCase& c : cases) {
    const std::string label = std::string(c.op == Op::Raise ? "raise" : c.op == Op::Lower ? "lower" : "release") +
                              " from " + std::to_string(c.start) + (c.wanted ? " wanted" : "") +
                              (c.failCommand ? " failing" : "");
    sc().setActivity(2, c.wanted ? 1 : 0);
    sc().forceStreamState(c.start);
    if (c.failCommand) sc().failRequest(IOCTL_DRAVIK_STREAM_COMMAND, DRAVIK_STATUS_ABORTED);
    server.trace.clear();
    const uint64_t m = mark();
    DravikStatus result = 0;
    if (c.op == Op::Raise)
      result = server.raiseStreaming(0);
    else if (c.op == Op::Lower)
      result = server.lowerStreaming(0);
    else
      result = server.releaseIdleStreaming();
    sc().clearFaults();
    EXPECT_EQ(c.result, result) << label;
    EXPECT_EQ(c.commands, streamCommands(since(m, serverId))) << label;
    EXPECT_EQ(c.hooks, server.trace) << label;
    EXPECT_EQ(c.end, sc().settings().streamState.streamState) << label;
  }
}

// The policy flag travels with commands 2 and 3 only.
TEST_F(StreamStateWalk, FlagGoesWithDownAndReadyCommands) {
  CustomServer server;
  connect(server);
  sc().forceStreamState(DRAVIK_STREAM_DOWN);
  uint64_t m = mark();
  ASSERT_EQ(0u, server.raiseStreaming(1));
  ASSERT_EQ(0u, server.lowerStreaming(1));
  std::vector<std::pair<uint32_t, uint32_t>> sent;
  for (const SimJournalEntry& e : since(m, serverHandle())) {
    if (e.code != IOCTL_DRAVIK_STREAM_COMMAND) continue;
    uint32_t words[2];
    std::memcpy(words, e.input.data(), sizeof words);
    sent.emplace_back(words[0], words[1]);
  }
  EXPECT_EQ((std::vector<std::pair<uint32_t, uint32_t>>{{2, 1}, {3, 1}}), sent);
}

// The controller switches streaming interfaces 0 and 2 on before Running
// and off before leaving Running; a refusal stops the raise in Prepared.
TEST_F(StreamStateWalk, ControllerSwitchesStreamingInterfaces) {
  CustomServer server;
  connect(server);
  SimDeviceSnapshot s = snapshot();
  EXPECT_EQ(0u, s.interfaces[0].on);
  EXPECT_EQ(8u, s.interfaces[0].param);
  EXPECT_EQ(0u, s.interfaces[2].on);
  EXPECT_EQ(8u, s.interfaces[2].param);
  EXPECT_FALSE(s.interfaces[1].onSet);
  EXPECT_FALSE(s.interfaces[3].onSet);

  sc().setActivity(2, 1);
  sc().forceStreamState(DRAVIK_STREAM_READY);
  ASSERT_EQ(0u, server.raiseStreaming(0));
  s = snapshot();
  EXPECT_EQ(1u, s.interfaces[0].on);
  EXPECT_EQ(1u, s.interfaces[2].on);

  ASSERT_EQ(0u, server.lowerStreaming(0));
  s = snapshot();
  EXPECT_EQ(0u, s.interfaces[0].on);
  EXPECT_EQ(0u, s.interfaces[2].on);

  sc().failRequest(IOCTL_DRAVIK_SET_STREAMING_INTERFACE, DRAVIK_STATUS_NO_SUCH_IF);
  EXPECT_EQ(DRAVIK_STATUS_NO_SUCH_IF, server.raiseStreaming(0));
  EXPECT_EQ(uint32_t{DRAVIK_STREAM_PREPARED}, sc().settings().streamState.streamState);
  // Lowering goes on whatever the controllers answer.
  sc().failRequest(IOCTL_DRAVIK_SET_STREAMING_INTERFACE, DRAVIK_STATUS_NO_SUCH_IF, SIM_FAULT_ALWAYS);
  EXPECT_EQ(0u, server.lowerStreaming(0));
  EXPECT_EQ(uint32_t{DRAVIK_STREAM_DOWN}, sc().settings().streamState.streamState);
}

// A driver that accepts every command but falls back to Down each time:
// the walk gives up instead of spinning for ever.
TEST_F(StreamStateWalk, UnsettledStateGivesUp) {
  struct StuckServer : CustomServer {
    SimScenario* scenario = nullptr;
    void afterTransition(uint32_t state, uint32_t target, uint32_t rate) override {
      CustomServer::afterTransition(state, target, rate);
      scenario->forceStreamState(DRAVIK_STREAM_DOWN);
    }
  } server;
  connect(server);
  server.scenario = &sc();
  sc().forceStreamState(DRAVIK_STREAM_DOWN);
  const uint64_t m = mark();
  EXPECT_EQ(DRAVIK_STATUS_INVALID_STATE, server.raiseStreaming(0));
  const std::vector<uint32_t> commands = streamCommands(since(m, serverHandle()));
  EXPECT_EQ(32u, commands.size());
  for (uint32_t c : commands) EXPECT_EQ(2u, c);
}

class StreamActivity : public ServerFixture {};

// Activity (3003/3004) and use counts (3015/3016) bring the stream up to
// Running and back to Ready; a stream still in use stays up.
TEST_F(StreamActivity, ArrivingAndLeaving) {
  startServer();
  EXPECT_EQ(uint32_t{DRAVIK_STREAM_READY}, sc().settings().streamState.streamState);

  sc().setActivity(1, 1);  // 3003
  barrier();
  EXPECT_EQ(uint32_t{DRAVIK_STREAM_RUNNING}, sc().settings().streamState.streamState);
  sc().setActivity(1, 0);  // 3004
  barrier();
  EXPECT_EQ(uint32_t{DRAVIK_STREAM_READY}, sc().settings().streamState.streamState);

  sc().setUseCounts(1, 0);  // 3015
  barrier();
  EXPECT_EQ(uint32_t{DRAVIK_STREAM_RUNNING}, sc().settings().streamState.streamState);
  sc().setActivity(0, 1);  // 3003 on top
  sc().setUseCounts(0, 0);  // 3016, but activity0 still wants the stream
  barrier();
  EXPECT_EQ(uint32_t{DRAVIK_STREAM_RUNNING}, sc().settings().streamState.streamState);
  sc().setActivity(0, 0);  // 3004
  barrier();
  EXPECT_EQ(uint32_t{DRAVIK_STREAM_READY}, sc().settings().streamState.streamState);

  // useCount1 alone does not want the stream.
  sc().setUseCounts(0, 1);
  barrier();
  EXPECT_EQ(uint32_t{DRAVIK_STREAM_READY}, sc().settings().streamState.streamState);
  sc().setUseCounts(0, 0);

  // 3006 raises like 3003; payload of the wrong size is dropped.
  sc().setActivity(2, 1);  // 3003: up to Running
  barrier();
  sc().forceStreamState(DRAVIK_STREAM_READY);
  const uint32_t extra = 7;
  sc().raiseNotification(DRAVIK_NOTIFY_ACTIVITY_STARTED, &extra, sizeof extra);
  barrier();
  EXPECT_EQ(uint32_t{DRAVIK_STREAM_READY}, sc().settings().streamState.streamState);
  sc().raiseNotification(DRAVIK_NOTIFY_STREAM_WANTED);
  barrier();
  EXPECT_EQ(uint32_t{DRAVIK_STREAM_RUNNING}, sc().settings().streamState.streamState);
}

}  // namespace
