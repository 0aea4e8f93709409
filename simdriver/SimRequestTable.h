// SimRequestTable: every request code the simulated driver answers, with the
// handle it must be sent on and the sizes of its input and output. The
// driver checks a request against its row before anything else happens:
// an unknown code answers DRAVIK_STATUS_INVALID_IOCTL, a wrong input size
// DRAVIK_STATUS_INVALID_INBUFFER_SIZE, a too small output
// DRAVIK_STATUS_INVALID_OUTBUFFER_SIZE (a larger output is accepted; the
// answer is never longer than the record).
//
// Lifetime: static data. Threading: read-only.
//
//   const SimRequestSpec* spec = simFindRequest(code);
//   if (!spec) return DRAVIK_STATUS_INVALID_IOCTL;
#pragma once

#include <cstddef>
#include <cstdint>

#include "driverapi/DravikStatus.h"

enum class SimScope {
  Driver,  // any handle
  Device,  // a handle bound to a present device (OPEN_DEVICE)
  Asio,    // any handle; the streaming requests also need initiator type 1
};

enum class SimSizeRule {
  Fixed,        // exactly size bytes (0: none)
  Message,      // a relayed message: 32 + payloadLength bytes, payloadLength at most 512
  Array8,       // n entries of 8 bytes, 1 <= n <= kMaxArrayEntries
  Array12,      // n entries of 12 bytes, 1 <= n <= kMaxArrayEntries
  SameAsInput,  // output: at least the input's size
  PinArray,     // output: capacity x 4 bytes (any capacity, 0 included)
};

struct SimRequestSpec {
  uint32_t code;
  const char* name;
  SimScope scope;
  SimSizeRule inRule;
  uint32_t inSize;  // Fixed only
  SimSizeRule outRule;
  uint32_t outSize;  // Fixed only
};

constexpr uint32_t kSimMaxArrayEntries = 256;

const SimRequestSpec* simFindRequest(uint32_t code);
// The whole table, in code order.
const SimRequestSpec* simRequestTable(size_t& count);
// "IOCTL_DRAVIK_..." or "unknown request".
const char* simRequestName(uint32_t code);
// The size checks of one row. in is the request's input (for the message
// header); 0 when the sizes fit.
DravikStatus simCheckSizes(const SimRequestSpec& spec, const void* in, uint32_t inSize, uint32_t outSize);
