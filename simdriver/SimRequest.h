// SimRequest: one request on its way through the simulated driver: the
// handle that sent it, a private copy of its input and the buffer its answer
// is built in. Handlers read typed records with input<T>() and answer with
// answer(); the driver copies exactly `bytes` bytes back to the caller, and
// only when the request succeeds.
//
// Lifetime: lives for one call of SimDriver::ioControl. Threading: used under
// the driver's lock only.
//
//   const auto cmd = r.input<DravikStreamCommand>();
//   r.answer(state);
#pragma once

#include <cstdint>
#include <cstring>

class SimHandle;
class SimDevice;

// Largest answer of any request (the mixer topology, 3624 bytes; arrays are
// bounded by kSimMaxArrayEntries).
constexpr uint32_t kSimMaxAnswer = 4096;
// Largest input of any request (the endpoint record, 9480 bytes).
constexpr uint32_t kSimMaxInput = 9480;

struct SimRequest {
  SimHandle& handle;
  uint32_t code;
  const uint8_t* in;  // inSize bytes, a copy owned by the driver
  uint32_t inSize;
  uint8_t* out;  // kSimMaxAnswer zeroed bytes
  uint32_t outSize;  // what the caller offered (checked against the request's row)
  SimDevice* device = nullptr;  // device requests: the bound, present device
  uint32_t bytes = 0;           // length of the answer

  // The input as a record; bytes the input does not have read as zero.
  template <class T>
  T input() const {
    T value{};
    std::memcpy(&value, in, inSize < sizeof(T) ? inSize : sizeof(T));
    return value;
  }
  template <class T>
  void answer(const T& value) {
    static_assert(sizeof(T) <= kSimMaxAnswer);
    std::memcpy(out, &value, sizeof(T));
    bytes = sizeof(T);
  }
  void answerBytes(const void* data, uint32_t size) {
    if (size > kSimMaxAnswer) size = kSimMaxAnswer;
    std::memcpy(out, data, size);
    bytes = size;
  }
};
