// Fuzz target: the frames of the pipe transport on both ends. The input is
// one connection's byte stream as the simulator's pipe server reads it
// (hello, then request headers each followed by their input) and, in
// parallel, the replies a client would read. Every frame goes through the
// same checks as on the pipe, and the accepted requests are carried out on
// a simulated driver exactly as the server's session does (handle opened at
// the hello, closed at the end), minus the pipe itself.
//
// Invariants: a check accepts a frame only when every field is in range; an
// accepted request never makes the driver return more than was offered.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "FuzzInput.h"
#include "FuzzPeer.h"
#include "driverapi/DravikPipeFrame.h"
#include "simdriver/SimDriver.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

SimDriver& driver() {
  static SimDriver* d = [] {
    SimDriverConfig config;
    config.clockMode = SimClockMode::Manual;
    return new SimDriver(config);
  }();
  return *d;
}

void clientSide(FuzzInput& in) {
  DravikPipeHelloReply hr;
  in.bytes(&hr, sizeof hr);
  const DravikStatus h = dravikPipeCheckHelloReply(hr);
  if (h == 0) check(hr.magic == DRAVIK_PIPE_HELLO_REPLY_MAGIC && hr.version == DRAVIK_PIPE_VERSION);
  DravikPipeReplyHeader r;
  in.bytes(&r, sizeof r);
  const uint32_t offered = in.u32();
  const DravikStatus c = dravikPipeCheckReply(r, offered);
  if (c == 0) check(r.magic == DRAVIK_PIPE_REPLY_MAGIC && r.bytesReturned <= offered && r.bytesReturned <= DRAVIK_PIPE_MAX_DATA);
  // What the builders make passes the checks.
  check(dravikPipeCheckReply(dravikPipeReply(r.status, offered % (DRAVIK_PIPE_MAX_DATA + 1)),
                             offered % (DRAVIK_PIPE_MAX_DATA + 1)) == 0);
  check(dravikPipeCheckHelloReply(dravikPipeHelloReply(hr.status)) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  clientSide(in);

  DravikPipeHello hello;
  in.bytes(&hello, sizeof hello);
  const DravikStatus hs = dravikPipeCheckHello(hello);
  if (hs != 0) return 0;
  check(hello.magic == DRAVIK_PIPE_HELLO_MAGIC && hello.version == DRAVIK_PIPE_VERSION && hello.processId != 0);
  check(dravikPipeCheckHello(dravikPipeHello(hello.processId)) == 0);

  SimDriver& d = driver();
  const SimHandleId handle = d.openHandle(std::make_unique<FuzzPeer>());
  if (handle == SIM_NO_HANDLE) return 0;
  std::vector<uint8_t> input;
  std::vector<uint8_t> output;
  for (int n = 0; n < 64 && !in.empty(); ++n) {
    DravikPipeRequestHeader request;
    in.bytes(&request, sizeof request);
    if (dravikPipeCheckRequest(request) != 0) break;
    check(request.magic == DRAVIK_PIPE_REQUEST_MAGIC && request.inSize <= DRAVIK_PIPE_MAX_DATA &&
          request.outCapacity <= DRAVIK_PIPE_MAX_DATA);
    input.resize(request.inSize);
    output.assign(request.outCapacity, 0);
    // A short read ends the connection, as on the pipe.
    if (in.remaining() < request.inSize) break;
    in.bytes(input.data(), request.inSize);
    uint32_t bytes = 0;
    const DravikStatus result = d.ioControl(handle, request.code, request.inSize ? input.data() : nullptr, request.inSize,
                                            request.outCapacity ? output.data() : nullptr, request.outCapacity, &bytes);
    check(bytes <= request.outCapacity);
    if (result != 0) check(bytes == 0);
    check(dravikPipeCheckReply(dravikPipeReply(result, bytes), request.outCapacity) == 0);
  }
  d.closeHandle(handle);
  return 0;
}
