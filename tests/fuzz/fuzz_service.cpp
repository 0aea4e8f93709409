// Fuzz target: the service's request and notification dispatch. Each input
// runs against a fresh simulated driver in this process and a CustomServer
// connected to it as the server (its loop is entered once, with the stop
// event already set, only to connect); then the input's messages go straight
// to the dispatch entry points, onRequest and onNotification, as the loop
// would hand them over after reading them from the driver: any code, any
// payload length and content. Between messages the input may change the
// driver's activity, unplug or plug the device, or fail the next request of
// a code once, so that the dispatch meets every state.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "FuzzCodes.h"
#include "FuzzInput.h"
#include "driverapi/DravikMessage.h"
#include "driverapi/DravikTransport.h"
#include "platform/WnHandle.h"
#include "service/CustomServer.h"
#include "simdriver/SimDriver.h"
#include "simdriver/SimInProcessTransport.h"
#include "simdriver/SimScenario.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

constexpr uint32_t kMessageCodes[] = {
    DRAVIK_MSG_SET_SAMPLE_RATE,         DRAVIK_MSG_SET_BUFFER_SIZES,      DRAVIK_MSG_SELECT_STREAMING_DEVICE,
    DRAVIK_MSG_SET_IO_FORMAT,           DRAVIK_MSG_SET_POLICY,            DRAVIK_MSG_REPLY,
    DRAVIK_MSG_SET_DEVICE_CONFIG,       DRAVIK_MSG_GET_DEVICE_CONFIG,     DRAVIK_MSG_REPLY_DEVICE_CONFIG,
    DRAVIK_NOTIFY_SETTINGS_CHANGED,     DRAVIK_NOTIFY_ACTIVITY_STARTED,   DRAVIK_NOTIFY_ACTIVITY_ENDED,
    DRAVIK_NOTIFY_DEVICE_ARRIVED,       DRAVIK_NOTIFY_STREAM_WANTED,      DRAVIK_NOTIFY_STREAM_RESTARTED,
    DRAVIK_NOTIFY_SAMPLE_RATE_CHANGED,  DRAVIK_NOTIFY_USE_STARTED,        DRAVIK_NOTIFY_USE_ENDED,
    DRAVIK_NOTIFY_DEVICE_REMOVED,       DRAVIK_NOTIFY_DEVICE_CHANGED,     DRAVIK_NOTIFY_DEVICE_LIST_CHANGED,
    DRAVIK_NOTIFY_DEVICE_STATE,         DRAVIK_NOTIFY_MIXER_TOPOLOGY,     DRAVIK_NOTIFY_MIXER_GAINS,
    DRAVIK_NOTIFY_MIXER_CROSSPOINTS,    DRAVIK_NOTIFY_ENDPOINT_VOLUME,
};

// A message as the driver delivers it: a header it filled in and up to 512
// payload bytes; now and then a header whose length field lies.
void readMessage(FuzzInput& in, uint32_t type, DravikMessage& m) {
  const uint8_t pick = in.u8();
  const uint32_t code = pick < 0xF0 ? kMessageCodes[pick % std::size(kMessageCodes)] : in.u32();
  m.init(type, code);
  m.sequence = in.u32();
  m.routing0 = in.u8();
  m.routing1 = in.u8();
  const uint16_t length = in.u16();
  if (length & 0x8000) {
    // A record that claims any length; the payload area is what it is.
    m.payloadLength = length & 0x7FFF;
    in.bytes(m.payload, DRAVIK_MSG_MAX_PAYLOAD);
  } else {
    m.payloadLength = length % (DRAVIK_MSG_MAX_PAYLOAD + 1);
    in.bytes(m.payload, m.payloadLength);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  SimDriverConfig config;
  config.clockMode = SimClockMode::Manual;
  SimDriver sim(config);
  SimInProcessTransportFactory factory(sim);
  dravikSetTransportFactory(&factory);
  {
    CustomServer server;
    WnEvent stop;
    WnEvent arrival;
    check(stop.create(true, true) == 0 && arrival.create(false, false) == 0);
    check(server.run(stop.get(), arrival.get()) == 0);
    check(server.isOpen());

    for (int n = 0; n < 32 && !in.empty(); ++n) {
      const uint8_t op = in.u8();
      switch (op % 8) {
        case 0:
        case 1:
        case 2: {
          DravikMessage request;
          readMessage(in, DRAVIK_MSG_TYPE_REQUEST, request);
          DravikMessage reply;
          reply.initReply(request, DRAVIK_STATUS_INVALID_COMMAND);
          const DravikStatus s = server.onRequest(request, reply);
          check(reply.payloadLength <= DRAVIK_MSG_MAX_PAYLOAD);
          (void)s;
          break;
        }
        case 3:
        case 4: {
          DravikMessage note;
          readMessage(in, DRAVIK_MSG_TYPE_NOTIFICATION, note);
          server.onNotification(note);
          break;
        }
        case 5:
          sim.scenario().setActivity(in.u8() % 3, in.u8() & 1);
          break;
        case 6:
          if (op & 0x80)
            sim.scenario().replugDevice(u"T8-0001");
          else
            sim.scenario().unplugDevice(u"T8-0001");
          break;
        case 7:
          sim.scenario().failRequest(fuzzPickCode(in), DRAVIK_STATUS_FAILED, 1);
          break;
      }
    }
  }
  dravikSetTransportFactory(nullptr);
  return 0;
}
