// The frames of the driver channel carried over a pipe to a simulated driver
// in another process (DravikPipeTransport on the client side, the
// simulator's pipe server on the other).
//
// One pipe connection is one open handle of the driver. The client opens
// with a hello (its process id, so that the driver can reach the events and
// memory it hands over) and gets a hello reply with a status; then each
// request is a request header followed by inSize input bytes, answered by a
// reply header followed by bytesReturned output bytes. Requests on one
// connection are strictly one after the other. All fields are unsigned
// 32-bit little-endian; the lengths are bounded by DRAVIK_PIPE_MAX_DATA, and
// a frame that fails its check ends the connection (and only that one).
//
// Threading: plain values and pure functions.
//
//   DravikPipeRequestHeader h = dravikPipeRequest(code, inSize, outSize);
//   if (DravikStatus s = dravikPipeCheckRequest(h)) ...close the connection...
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "driverapi/DravikStatus.h"

static_assert(std::endian::native == std::endian::little, "the frames are little-endian on the wire");

constexpr uint32_t DRAVIK_PIPE_VERSION = 1;
// Largest input and largest output of one request (the largest request of
// the protocol has 9480 bytes).
constexpr uint32_t DRAVIK_PIPE_MAX_DATA = 64 * 1024;

constexpr uint32_t DRAVIK_PIPE_HELLO_MAGIC = 0x4C483854;        // "T8HL"
constexpr uint32_t DRAVIK_PIPE_HELLO_REPLY_MAGIC = 0x52483854;  // "T8HR"
constexpr uint32_t DRAVIK_PIPE_REQUEST_MAGIC = 0x51523854;      // "T8RQ"
constexpr uint32_t DRAVIK_PIPE_REPLY_MAGIC = 0x50523854;        // "T8RP"

struct DravikPipeHello {
  uint32_t magic;      // DRAVIK_PIPE_HELLO_MAGIC
  uint32_t version;    // DRAVIK_PIPE_VERSION
  uint32_t processId;  // the client's own process id
  uint32_t reserved;   // 0
};

struct DravikPipeHelloReply {
  uint32_t magic;    // DRAVIK_PIPE_HELLO_REPLY_MAGIC
  uint32_t version;  // DRAVIK_PIPE_VERSION
  uint32_t status;   // 0: the handle is open; else why not (the open's result)
  uint32_t reserved;
};

struct DravikPipeRequestHeader {
  uint32_t magic;        // DRAVIK_PIPE_REQUEST_MAGIC
  uint32_t code;         // the I/O control code
  uint32_t inSize;       // input bytes that follow, 0..DRAVIK_PIPE_MAX_DATA
  uint32_t outCapacity;  // output bytes the caller offers, 0..DRAVIK_PIPE_MAX_DATA
};

struct DravikPipeReplyHeader {
  uint32_t magic;          // DRAVIK_PIPE_REPLY_MAGIC
  uint32_t status;         // the driver's completion code, unchanged
  uint32_t bytesReturned;  // output bytes that follow, 0..outCapacity of the request
  uint32_t reserved;
};

static_assert(sizeof(DravikPipeHello) == 16 && offsetof(DravikPipeHello, processId) == 8);
static_assert(sizeof(DravikPipeHelloReply) == 16 && offsetof(DravikPipeHelloReply, status) == 8);
static_assert(sizeof(DravikPipeRequestHeader) == 16 && offsetof(DravikPipeRequestHeader, code) == 4 &&
              offsetof(DravikPipeRequestHeader, inSize) == 8 && offsetof(DravikPipeRequestHeader, outCapacity) == 12);
static_assert(sizeof(DravikPipeReplyHeader) == 16 && offsetof(DravikPipeReplyHeader, status) == 4 &&
              offsetof(DravikPipeReplyHeader, bytesReturned) == 8);

DravikPipeHello dravikPipeHello(uint32_t processId);
DravikPipeHelloReply dravikPipeHelloReply(DravikStatus status);
DravikPipeRequestHeader dravikPipeRequest(uint32_t code, uint32_t inSize, uint32_t outCapacity);
DravikPipeReplyHeader dravikPipeReply(DravikStatus status, uint32_t bytesReturned);

// The checks of a received frame: 0, or WN_ERROR_INVALID_DATA (magic,
// version or reserved field wrong; a process id of 0) or
// WN_ERROR_INVALID_PARAMETER (a length out of bounds).
DravikStatus dravikPipeCheckHello(const DravikPipeHello& hello);
DravikStatus dravikPipeCheckHelloReply(const DravikPipeHelloReply& reply);
DravikStatus dravikPipeCheckRequest(const DravikPipeRequestHeader& request);
// outCapacity: what the request offered.
DravikStatus dravikPipeCheckReply(const DravikPipeReplyHeader& reply, uint32_t outCapacity);
