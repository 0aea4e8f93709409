#include "driverapi/DravikPipeTransport.h"

#include <new>

#include "driverapi/DravikIoctl.h"
#include "driverapi/DravikNames.h"
#include "driverapi/DravikPipeFrame.h"
#include "platform/WnSimulatedDriver.h"
#include "platform/WnWait.h"

namespace {

char16_t fold(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c; }

}  // namespace

bool dravikIsDriverDevicePath(const char16_t* path) {
  static constexpr char16_t prefix[] = u"\\\\.\\";
  if (!path) return false;
  size_t i = 0;
  for (size_t k = 0; prefix[k]; ++k, ++i)
    if (path[i] != prefix[k]) return false;
  for (size_t k = 0; DRAVIK_DEVICE_NAME[k]; ++k, ++i)
    if (fold(path[i]) != fold(DRAVIK_DEVICE_NAME[k])) return false;
  return path[i] == 0;
}

// ---- DravikPipeTransport ----

DravikStatus DravikPipeTransport::open(const char16_t* pipeName, uint32_t timeoutMs) {
  broken_ = true;
  if (uint32_t err = pipe_.connect(pipeName, timeoutMs)) return err;
  const DravikPipeHello hello = dravikPipeHello(wnCurrentProcessId());
  DravikPipeHelloReply reply{};
  DravikStatus status = pipe_.write(&hello, sizeof hello);
  if (status == 0) status = pipe_.read(&reply, sizeof reply);
  if (status == 0) status = dravikPipeCheckHelloReply(reply);
  if (status == 0) status = reply.status;
  if (status != 0) {
    pipe_.close();
    return status;
  }
  broken_ = false;
  return DRAVIK_STATUS_SUCCESS;
}

DravikStatus DravikPipeTransport::fail() {
  broken_ = true;
  pipe_.close();
  return WN_ERROR_BROKEN_PIPE;
}

DravikStatus DravikPipeTransport::ioControl(uint32_t code, const void* in, uint32_t inSize, void* out,
                                            uint32_t outSize, uint32_t* bytesReturned) {
  if (bytesReturned) *bytesReturned = 0;
  if ((!in && inSize) || (!out && outSize)) return WN_ERROR_INVALID_PARAMETER;
  if (inSize > DRAVIK_PIPE_MAX_DATA || outSize > DRAVIK_PIPE_MAX_DATA) return WN_ERROR_INVALID_PARAMETER;
  if (broken_) return WN_ERROR_BROKEN_PIPE;

  const DravikPipeRequestHeader request = dravikPipeRequest(code, inSize, outSize);
  if (pipe_.write(&request, sizeof request) != 0) return fail();
  if (inSize && pipe_.write(in, inSize) != 0) return fail();

  DravikPipeReplyHeader reply{};
  if (pipe_.read(&reply, sizeof reply) != 0) return fail();
  if (dravikPipeCheckReply(reply, outSize) != 0) return fail();
  if (reply.bytesReturned && pipe_.read(out, reply.bytesReturned) != 0) return fail();
  if (bytesReturned) *bytesReturned = reply.bytesReturned;
  return reply.status;
}

// ---- DravikPipeTransportFactory ----

DravikPipeTransportFactory::DravikPipeTransportFactory(const char16_t* pipeName) {
  dravikCopyName(pipe_, WN_PIPE_NAME_CHARS, pipeName);
}

DravikStatus DravikPipeTransportFactory::open(const char16_t* path, WnRawHandle, std::unique_ptr<DravikTransport>& out) {
  out.reset();
  if (!dravikIsDriverDevicePath(path)) return WN_ERROR_FILE_NOT_FOUND;
  std::unique_ptr<DravikPipeTransport> transport(new (std::nothrow) DravikPipeTransport);
  if (!transport) return WN_ERROR_NOT_ENOUGH_MEMORY;
  if (DravikStatus s = transport->open(pipe_)) return s;
  out = std::move(transport);
  return DRAVIK_STATUS_SUCCESS;
}

// ---- DravikOptInTransportFactory ----

DravikStatus DravikOptInTransportFactory::open(const char16_t* path, WnRawHandle ioEvent,
                                               std::unique_ptr<DravikTransport>& out) {
  out.reset();
  char16_t pipe[WN_PIPE_NAME_CHARS];
  if (dravikIsDriverDevicePath(path) && wnSimulatedDriverPipe(pipe) == 0) {
    DravikPipeTransportFactory simulated(pipe);
    return simulated.open(path, ioEvent, out);
  }
  return device_.open(path, ioEvent, out);
}
