// The frames of the simulator's control pipe ("<pipe>-ctl"): one command per
// connection. The client sends a request header and the command line as
// UTF-8 text; the simulator answers with a reply header (a status: 0 done,
// else the command failed) and the answer text, then closes. Fields are
// unsigned 32-bit little-endian; the lengths are bounded, and a frame that
// fails its check ends the connection.
//
// Threading: plain values and pure functions.
//
//   SimControlRequestHeader h = simControlRequest(uint32_t(text.size()));
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint32_t SIM_CONTROL_REQUEST_MAGIC = 0x51433854;  // "T8CQ"
constexpr uint32_t SIM_CONTROL_REPLY_MAGIC = 0x50433854;    // "T8CP"
constexpr uint32_t SIM_CONTROL_MAX_COMMAND = 4096;
constexpr uint32_t SIM_CONTROL_MAX_ANSWER = 4u * 1024 * 1024;
inline constexpr char16_t SIM_CONTROL_PIPE_SUFFIX[] = u"-ctl";

// Statuses of a reply.
enum : uint32_t {
  SIM_CONTROL_OK = 0,
  SIM_CONTROL_FAILED = 1,     // the command ran and failed (the text says why)
  SIM_CONTROL_BAD_USAGE = 2,  // unknown command or malformed arguments
};

struct SimControlRequestHeader {
  uint32_t magic;   // SIM_CONTROL_REQUEST_MAGIC
  uint32_t length;  // bytes of command text that follow, 1..SIM_CONTROL_MAX_COMMAND
};

struct SimControlReplyHeader {
  uint32_t magic;   // SIM_CONTROL_REPLY_MAGIC
  uint32_t status;  // SIM_CONTROL_OK, _FAILED, _BAD_USAGE
  uint32_t length;  // bytes of answer text that follow, 0..SIM_CONTROL_MAX_ANSWER
  uint32_t reserved;
};

static_assert(sizeof(SimControlRequestHeader) == 8 && offsetof(SimControlRequestHeader, length) == 4);
static_assert(sizeof(SimControlReplyHeader) == 16 && offsetof(SimControlReplyHeader, status) == 4 &&
              offsetof(SimControlReplyHeader, length) == 8);

inline SimControlRequestHeader simControlRequest(uint32_t length) { return {SIM_CONTROL_REQUEST_MAGIC, length}; }
inline SimControlReplyHeader simControlReply(uint32_t status, uint32_t length) {
  return {SIM_CONTROL_REPLY_MAGIC, status, length, 0};
}
inline bool simCheckControlRequest(const SimControlRequestHeader& h) {
  return h.magic == SIM_CONTROL_REQUEST_MAGIC && h.length >= 1 && h.length <= SIM_CONTROL_MAX_COMMAND;
}
inline bool simCheckControlReply(const SimControlReplyHeader& h) {
  return h.magic == SIM_CONTROL_REPLY_MAGIC && h.reserved == 0 && h.length <= SIM_CONTROL_MAX_ANSWER &&
         h.status <= SIM_CONTROL_BAD_USAGE;
}
