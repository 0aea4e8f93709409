#include "driverapi/DravikPipeFrame.h"

#include "platform/WnTypes.h"

DravikPipeHello dravikPipeHello(uint32_t processId) {
  return DravikPipeHello{DRAVIK_PIPE_HELLO_MAGIC, DRAVIK_PIPE_VERSION, processId, 0};
}

DravikPipeHelloReply dravikPipeHelloReply(DravikStatus status) {
  return DravikPipeHelloReply{DRAVIK_PIPE_HELLO_REPLY_MAGIC, DRAVIK_PIPE_VERSION, status, 0};
}

DravikPipeRequestHeader dravikPipeRequest(uint32_t code, uint32_t inSize, uint32_t outCapacity) {
  return DravikPipeRequestHeader{DRAVIK_PIPE_REQUEST_MAGIC, code, inSize, outCapacity};
}

DravikPipeReplyHeader dravikPipeReply(DravikStatus status, uint32_t bytesReturned) {
  return DravikPipeReplyHeader{DRAVIK_PIPE_REPLY_MAGIC, status, bytesReturned, 0};
}

DravikStatus dravikPipeCheckHello(const DravikPipeHello& h) {
  if (h.magic != DRAVIK_PIPE_HELLO_MAGIC || h.version != DRAVIK_PIPE_VERSION || h.reserved != 0 || h.processId == 0)
    return WN_ERROR_INVALID_DATA;
  return 0;
}

DravikStatus dravikPipeCheckHelloReply(const DravikPipeHelloReply& r) {
  if (r.magic != DRAVIK_PIPE_HELLO_REPLY_MAGIC || r.version != DRAVIK_PIPE_VERSION || r.reserved != 0)
    return WN_ERROR_INVALID_DATA;
  return 0;
}

DravikStatus dravikPipeCheckRequest(const DravikPipeRequestHeader& r) {
  if (r.magic != DRAVIK_PIPE_REQUEST_MAGIC) return WN_ERROR_INVALID_DATA;
  if (r.inSize > DRAVIK_PIPE_MAX_DATA || r.outCapacity > DRAVIK_PIPE_MAX_DATA) return WN_ERROR_INVALID_PARAMETER;
  return 0;
}

DravikStatus dravikPipeCheckReply(const DravikPipeReplyHeader& r, uint32_t outCapacity) {
  if (r.magic != DRAVIK_PIPE_REPLY_MAGIC || r.reserved != 0) return WN_ERROR_INVALID_DATA;
  if (r.bytesReturned > outCapacity || r.bytesReturned > DRAVIK_PIPE_MAX_DATA) return WN_ERROR_INVALID_PARAMETER;
  return 0;
}
