#include "simdriver/SimRequestTable.h"

#include <cstring>

#include "driverapi/DravikIoctl.h"
#include "driverapi/DravikMessage.h"

namespace {

using R = SimSizeRule;
using S = SimScope;

#define SIM_ROW(code, scope, inRule, inSize, outRule, outSize) {code, #code, scope, inRule, inSize, outRule, outSize}

constexpr SimRequestSpec kTable[] = {
    SIM_ROW(IOCTL_DRAVIK_GET_DRIVER_INFO, S::Driver, R::Fixed, 0, R::Fixed, 24),
    SIM_ROW(IOCTL_DRAVIK_POST_MESSAGE, S::Driver, R::Message, 0, R::Fixed, 0),
    SIM_ROW(IOCTL_DRAVIK_READ_MESSAGE, S::Driver, R::Fixed, 0, R::Fixed, 544),
    SIM_ROW(IOCTL_DRAVIK_READ_NOTIFICATION, S::Driver, R::Fixed, 0, R::Fixed, 544),
    SIM_ROW(IOCTL_DRAVIK_SET_MESSAGE_EVENTS, S::Driver, R::Fixed, 16, R::Fixed, 0),
    SIM_ROW(IOCTL_DRAVIK_REGISTER_INITIATOR, S::Driver, R::Fixed, 4, R::Fixed, 0),
    SIM_ROW(IOCTL_DRAVIK_GET_DEVICE_LIST, S::Driver, R::Fixed, 0, R::Fixed, 1124),
    SIM_ROW(IOCTL_DRAVIK_OPEN_DEVICE, S::Driver, R::Fixed, 8, R::Fixed, 0),
    SIM_ROW(IOCTL_DRAVIK_GET_INPUT_CHANNELS, S::Driver, R::Fixed, 0, R::Fixed, 772),
    SIM_ROW(IOCTL_DRAVIK_GET_OUTPUT_CHANNELS, S::Driver, R::Fixed, 0, R::Fixed, 772),
    SIM_ROW(IOCTL_DRAVIK_GET_CHANNEL_INFO, S::Driver, R::Fixed, 8, R::Fixed, 108),
    SIM_ROW(IOCTL_DRAVIK_GET_SAMPLE_RATE_INFO, S::Driver, R::Fixed, 0, R::Fixed, 56),
    SIM_ROW(IOCTL_DRAVIK_GET_BUFFER_INFO, S::Driver, R::Fixed, 0, R::Fixed, 32),
    SIM_ROW(IOCTL_DRAVIK_GET_STREAM_STATE, S::Driver, R::Fixed, 0, R::Fixed, 36),
    SIM_ROW(IOCTL_DRAVIK_GET_ERROR_COUNTERS, S::Driver, R::Fixed, 0, R::Fixed, 20),
    SIM_ROW(IOCTL_DRAVIK_STREAM_COMMAND, S::Driver, R::Fixed, 8, R::Fixed, 0),
    SIM_ROW(IOCTL_DRAVIK_SET_SAMPLE_RATE, S::Driver, R::Fixed, 4, R::Fixed, 0),
    SIM_ROW(IOCTL_DRAVIK_SET_BUFFER_SIZES, S::Driver, R::Fixed, 12, R::Fixed, 0),
    SIM_ROW(IOCTL_DRAVIK_SET_PENDING_SAMPLE_RATE, S::Driver, R::Fixed, 4, R::Fixed, 0),
    SIM_ROW(IOCTL_DRAVIK_SET_POLICY, S::Driver, R::Fixed, 4, R::Fixed, 0),
    SIM_ROW(IOCTL_DRAVIK_GET_POLICY, S::Driver, R::Fixed, 0, R::Fixed, 4),
    SIM_ROW(IOCTL_DRAVIK_SELECT_STREAMING_DEVICE, S::Driver, R::Fixed, 12, R::Fixed, 0),
    SIM_ROW(IOCTL_DRAVIK_GET_MIXER_TOPOLOGY, S::Device, R::Fixed, 0, R::Fixed, 3624),
    SIM_ROW(IOCTL_DRAVIK_SET_DEVICE_SETUP, S::Device, R::Fixed, 136, R::Fixed, 0),
    SIM_ROW(IOCTL_DRAVIK_SET_CHANNEL_NAMES, S::Device, R::Fixed, 6152, R::Fixed, 0),
    SIM_ROW(IOCTL_DRAVIK_SET_ENDPOINTS, S::Device, R::Fixed, 9480, R::Fixed, 0),
    SIM_ROW(IOCTL_DRAVIK_GET_SPDIF_STATUS, S::Device, R::Fixed, 16, R::Fixed, 16),
    SIM_ROW(IOCTL_DRAVIK_SET_SPDIF_PASSTHROUGH, S::Device, R::Fixed, 12, R::Fixed, 0),
    SIM_ROW(IOCTL_DRAVIK_GET_SPDIF_PASSTHROUGH, S::Device, R::Fixed, 12, R::Fixed, 12),
    SIM_ROW(IOCTL_DRAVIK_GET_INPUT_LEVELS, S::Device, R::Array8, 0, R::SameAsInput, 0),
    SIM_ROW(IOCTL_DRAVIK_GET_OUTPUT_LEVELS, S::Device, R::Array8, 0, R::SameAsInput, 0),
    SIM_ROW(IOCTL_DRAVIK_GET_MIXER_PINS, S::Device, R::Fixed, 4, R::PinArray, 0),
    SIM_ROW(IOCTL_DRAVIK_GET_GAINS, S::Device, R::Array8, 0, R::SameAsInput, 0),
    SIM_ROW(IOCTL_DRAVIK_GET_CROSSPOINTS, S::Device, R::Array12, 0, R::SameAsInput, 0),
    SIM_ROW(IOCTL_DRAVIK_SET_GAINS, S::Device, R::Array8, 0, R::SameAsInput, 0),
    SIM_ROW(IOCTL_DRAVIK_SET_CROSSPOINTS, S::Device, R::Array12, 0, R::SameAsInput, 0),
    SIM_ROW(IOCTL_DRAVIK_SET_BYPASS_VOLUME, S::Device, R::Fixed, 1, R::Fixed, 0),
    SIM_ROW(IOCTL_DRAVIK_GET_BYPASS_VOLUME, S::Device, R::Fixed, 0, R::Fixed, 1),
    SIM_ROW(IOCTL_DRAVIK_SET_BYPASS_MUTE, S::Device, R::Fixed, 1, R::Fixed, 0),
    SIM_ROW(IOCTL_DRAVIK_GET_BYPASS_MUTE, S::Device, R::Fixed, 0, R::Fixed, 1),
    SIM_ROW(IOCTL_DRAVIK_GET_ENDPOINT_VOLUME, S::Device, R::Fixed, 136, R::Fixed, 136),
    SIM_ROW(IOCTL_DRAVIK_SET_ENDPOINT_VOLUME, S::Device, R::Fixed, 136, R::Fixed, 0),
    SIM_ROW(IOCTL_DRAVIK_SET_EFFECT_PARAMETERS, S::Device, R::Fixed, 520, R::Fixed, 0),
    SIM_ROW(IOCTL_DRAVIK_GET_EFFECT_PARAMETERS, S::Device, R::Fixed, 520, R::Fixed, 520),
    SIM_ROW(IOCTL_DRAVIK_SET_STREAMING_INTERFACE_PARAM, S::Device, R::Fixed, 8, R::Fixed, 0),
    SIM_ROW(IOCTL_DRAVIK_SET_STREAMING_INTERFACE, S::Device, R::Fixed, 8, R::Fixed, 0),
    SIM_ROW(IOCTL_DRAVIK_ASIO_GET_FORMAT, S::Asio, R::Fixed, 0, R::Fixed, 60),
    SIM_ROW(IOCTL_DRAVIK_ASIO_GET_CHANNEL_LIST, S::Asio, R::Fixed, 0, R::Fixed, 1544),
    SIM_ROW(IOCTL_DRAVIK_ASIO_GET_CHANNEL_INFO, S::Asio, R::Fixed, 8, R::Fixed, 108),
    SIM_ROW(IOCTL_DRAVIK_ASIO_GET_LATENCIES, S::Asio, R::Fixed, 0, R::Fixed, 8),
    SIM_ROW(IOCTL_DRAVIK_ASIO_OPEN_CHANNEL, S::Asio, R::Fixed, 8, R::Fixed, 0),
    SIM_ROW(IOCTL_DRAVIK_ASIO_CLOSE_CHANNEL, S::Asio, R::Fixed, 8, R::Fixed, 0),
    SIM_ROW(IOCTL_DRAVIK_ASIO_SET_SWITCH_CONTROL, S::Asio, R::Fixed, 20, R::Fixed, 0),
    SIM_ROW(IOCTL_DRAVIK_ASIO_CLEAR_SWITCH_CONTROL, S::Asio, R::Fixed, 0, R::Fixed, 0),
    SIM_ROW(IOCTL_DRAVIK_ASIO_SET_CHANNEL_BUFFER, S::Asio, R::Fixed, 24, R::Fixed, 0),
    SIM_ROW(IOCTL_DRAVIK_ASIO_START, S::Asio, R::Fixed, 0, R::Fixed, 0),
    SIM_ROW(IOCTL_DRAVIK_ASIO_STOP, S::Asio, R::Fixed, 0, R::Fixed, 0),
};

#undef SIM_ROW

bool arrayFits(uint32_t inSize, uint32_t entry) {
  return inSize > 0 && inSize % entry == 0 && inSize / entry <= kSimMaxArrayEntries;
}

}  // namespace

const SimRequestSpec* simFindRequest(uint32_t code) {
  for (const SimRequestSpec& s : kTable)
    if (s.code == code) return &s;
  return nullptr;
}

const SimRequestSpec* simRequestTable(size_t& count) {
  count = sizeof kTable / sizeof kTable[0];
  return kTable;
}

const char* simRequestName(uint32_t code) {
  const SimRequestSpec* s = simFindRequest(code);
  return s ? s->name : "unknown request";
}

DravikStatus simCheckSizes(const SimRequestSpec& spec, const void* in, uint32_t inSize, uint32_t outSize) {
  switch (spec.inRule) {
    case R::Fixed:
      if (inSize != spec.inSize) return DRAVIK_STATUS_INVALID_INBUFFER_SIZE;
      break;
    case R::Message: {
      if (inSize < DRAVIK_MSG_HEADER_SIZE || inSize > DRAVIK_MSG_MAX_SIZE) return DRAVIK_STATUS_INVALID_INBUFFER_SIZE;
      uint32_t payloadLength = 0;
      std::memcpy(&payloadLength, static_cast<const uint8_t*>(in) + 4, 4);
      if (payloadLength > DRAVIK_MSG_MAX_PAYLOAD) return DRAVIK_STATUS_INVALID_LENGTH;
      if (inSize != DRAVIK_MSG_HEADER_SIZE + payloadLength) return DRAVIK_STATUS_INVALID_INBUFFER_SIZE;
      break;
    }
    case R::Array8:
      if (!arrayFits(inSize, 8)) return DRAVIK_STATUS_INVALID_INBUFFER_SIZE;
      break;
    case R::Array12:
      if (!arrayFits(inSize, 12)) return DRAVIK_STATUS_INVALID_INBUFFER_SIZE;
      break;
    default:
      return DRAVIK_STATUS_INTERNAL_ERROR;
  }
  switch (spec.outRule) {
    case R::Fixed:
      if (outSize < spec.outSize) return DRAVIK_STATUS_INVALID_OUTBUFFER_SIZE;
      break;
    case R::SameAsInput:
      if (outSize < inSize) return DRAVIK_STATUS_INVALID_OUTBUFFER_SIZE;
      break;
    case R::PinArray:
      if (outSize % 4 != 0) return DRAVIK_STATUS_INVALID_OUTBUFFER_SIZE;
      break;
    default:
      return DRAVIK_STATUS_INTERNAL_ERROR;
  }
  return DRAVIK_STATUS_SUCCESS;
}
