#include "driverapi/DravikStatus.h"

namespace {

struct StatusName {
  DravikStatus status;
  const char* name;
};

#define DRAVIK_NAME(s) {s, #s}
constexpr StatusName kNames[] = {
    DRAVIK_NAME(DRAVIK_STATUS_SUCCESS),
    DRAVIK_NAME(DRAVIK_STATUS_FAILED),
    DRAVIK_NAME(DRAVIK_STATUS_INTERNAL_ERROR),
    DRAVIK_NAME(DRAVIK_STATUS_NO_MEMORY),
    DRAVIK_NAME(DRAVIK_STATUS_NO_RESOURCES),
    DRAVIK_NAME(DRAVIK_STATUS_TIMEOUT),
    DRAVIK_NAME(DRAVIK_STATUS_ABORTED),
    DRAVIK_NAME(DRAVIK_STATUS_NO_MORE_ITEMS),
    DRAVIK_NAME(DRAVIK_STATUS_NEW_ENUM_EXPECTED),
    DRAVIK_NAME(DRAVIK_STATUS_NO_FIRMWARE),
    DRAVIK_NAME(DRAVIK_STATUS_NOT_SUPPORTED),
    DRAVIK_NAME(DRAVIK_STATUS_NOT_POSSIBLE),
    DRAVIK_NAME(DRAVIK_STATUS_NOT_ALLOWED),
    DRAVIK_NAME(DRAVIK_STATUS_NOT_OPENED),
    DRAVIK_NAME(DRAVIK_STATUS_VERSION_MISMATCH),
    DRAVIK_NAME(DRAVIK_STATUS_LENGTH_MISMATCH),
    DRAVIK_NAME(DRAVIK_STATUS_MAGIC_MISMATCH),
    DRAVIK_NAME(DRAVIK_STATUS_CRC_MISMATCH),
    DRAVIK_NAME(DRAVIK_STATUS_NOT_IN_HIGH_SPEED_MODE),
    DRAVIK_NAME(DRAVIK_STATUS_REJECTED),
    DRAVIK_NAME(DRAVIK_STATUS_ALREADY_DONE),
    DRAVIK_NAME(DRAVIK_STATUS_WRONG_DIRECTION),
    DRAVIK_NAME(DRAVIK_STATUS_REGISTRY_ACCESS_FAILED),
    DRAVIK_NAME(DRAVIK_STATUS_IN_ERROR_STATE),
    DRAVIK_NAME(DRAVIK_STATUS_NO_SERVER),
    DRAVIK_NAME(DRAVIK_STATUS_INITIATOR_NOT_FOUND),
    DRAVIK_NAME(DRAVIK_STATUS_NO_DEVICES),
    DRAVIK_NAME(DRAVIK_STATUS_NO_STREAMING_DEVICE),
    DRAVIK_NAME(DRAVIK_STATUS_INVALID_PARAMETER),
    DRAVIK_NAME(DRAVIK_STATUS_INVALID_BUFFER_SIZE),
    DRAVIK_NAME(DRAVIK_STATUS_INVALID_SAMPLE_SIZE),
    DRAVIK_NAME(DRAVIK_STATUS_INVALID_TYPE),
    DRAVIK_NAME(DRAVIK_STATUS_INVALID_SAMPLE_RATE),
    DRAVIK_NAME(DRAVIK_STATUS_INVALID_IOCTL),
    DRAVIK_NAME(DRAVIK_STATUS_INVALID_INBUFFER_SIZE),
    DRAVIK_NAME(DRAVIK_STATUS_INVALID_OUTBUFFER_SIZE),
    DRAVIK_NAME(DRAVIK_STATUS_INVALID_LENGTH),
    DRAVIK_NAME(DRAVIK_STATUS_INVALID_COMMAND),
    DRAVIK_NAME(DRAVIK_STATUS_INVALID_STATE),
    DRAVIK_NAME(DRAVIK_STATUS_OBJECT_NOT_FOUND),
    DRAVIK_NAME(DRAVIK_STATUS_IN_USE),
    DRAVIK_NAME(DRAVIK_STATUS_NO_SUCH_IF),
    DRAVIK_NAME(DRAVIK_STATUS_NO_SUCH_EP),
    DRAVIK_NAME(DRAVIK_STATUS_CHANNEL_CONFIG_CHANGED),
    DRAVIK_NAME(DRAVIK_STATUS_INVALID_MSG_TYPE),
    DRAVIK_NAME(DRAVIK_STATUS_UNEXPECTED_MSG_CODE),
    DRAVIK_NAME(DRAVIK_STATUS_INVALID_MSG_SIZE),
    DRAVIK_NAME(DRAVIK_STATUS_INVALID_HD_SIZE),
    DRAVIK_NAME(DRAVIK_STATUS_DEVICE_REMOVED),
    DRAVIK_NAME(DRAVIK_STATUS_NO_DEVICE),
    DRAVIK_NAME(DRAVIK_STATUS_ALLOC_BUFFER_FAILED),
    DRAVIK_NAME(DRAVIK_STATUS_ALLOC_IRPRES_FAILED),
    DRAVIK_NAME(DRAVIK_STATUS_SUBMIT_BUFFER_FAILED),
    DRAVIK_NAME(DRAVIK_STATUS_START_CHANNEL_FAILED),
    DRAVIK_NAME(DRAVIK_STATUS_STREAMS_STARTUP_FAILED),
    DRAVIK_NAME(DRAVIK_STATUS_UNSUPPORTED_SAMPLE_RATE),
    DRAVIK_NAME(DRAVIK_STATUS_SOUND_DEVICE_IN_USE),
    DRAVIK_NAME(DRAVIK_STATUS_PENDING),
};
#undef DRAVIK_NAME

// The explaining line shown under a failure for the statuses users can fix.
const char16_t* explanation(DravikStatus status) {
  switch (status) {
    case DRAVIK_STATUS_NOT_IN_HIGH_SPEED_MODE:
      return u"The device is not connected to a USB high-speed port.";
    case DRAVIK_STATUS_NO_DEVICES:
      return u"There are no devices connected.";
    case DRAVIK_STATUS_NO_STREAMING_DEVICE:
      return u"There is no device selected for streaming.";
    default:
      return nullptr;
  }
}

// Appends text while room is left; counts every character.
class TextBuilder {
public:
  TextBuilder(char16_t* out, size_t capacity) : out_(out), capacity_(capacity) {}
  void add(const char16_t* text) {
    for (; text && *text; ++text) put(*text);
  }
  void addAscii(const char* text) {
    for (; text && *text; ++text) put(static_cast<char16_t>(static_cast<unsigned char>(*text)));
  }
  size_t finish() {
    if (out_ && capacity_ > 0) out_[length_ < capacity_ ? length_ : capacity_ - 1] = 0;
    return length_;
  }

private:
  void put(char16_t c) {
    if (out_ && length_ + 1 < capacity_) out_[length_] = c;
    ++length_;
  }
  char16_t* out_;
  size_t capacity_;
  size_t length_ = 0;
};

}  // namespace

const char* DravikStatusName(DravikStatus status) {
  for (const StatusName& entry : kNames)
    if (entry.status == status) return entry.name;
  return "???";
}

size_t DravikFormatFailure(const char16_t* sentence, DravikStatus status, char16_t* out, size_t capacity) {
  // "%s (Status=%hs)." and, for some statuses, "\n" and the explaining line.
  TextBuilder text(out, capacity);
  text.add(sentence);
  text.add(u" (Status=");
  text.addAscii(DravikStatusName(status));
  text.add(u").");
  if (const char16_t* line = explanation(status)) {
    text.add(u"\n");
    text.add(line);
  }
  return text.finish();
}
