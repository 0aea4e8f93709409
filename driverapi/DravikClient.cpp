#include "driverapi/DravikClient.h"

#include <cstring>

#include "driverapi/DravikIoctl.h"
#include "driverapi/DravikServiceRecords.h"
#include "platform/WnWait.h"

DravikClient::DravikClient() = default;

DravikClient::~DravikClient() = default;

uint32_t DravikClient::lastSequence() {
  WnLockGuard guard(lock_);
  return nextSequence_;
}

void DravikClient::presetSequence(uint32_t value) {
  WnLockGuard guard(lock_);
  nextSequence_ = value;
}

DravikStatus DravikClient::sendRequest(DravikMessage& request, DravikMessage& reply, uint32_t timeoutMs) {
  // The lock stays held until the exchange ends: one exchange per channel,
  // and no other request on the channel slips in between.
  WnLockGuard guard(lock_);

  // Without a message event no reply could ever be seen; do not hand the
  // service a request whose outcome would be reported as a failure.
  const WnRawHandle event = messageEvent_.get();
  if (!event) return DRAVIK_STATUS_FAILED;

  uint32_t sequence = nextSequence_ + 1;
  if (sequence == 0) sequence = 1;
  nextSequence_ = sequence;
  request.sequence = sequence;

  if (DravikStatus s = postMessage(request)) return s;

  for (;;) {
    const uint32_t wait = wnWaitForSingle(event, timeoutMs);
    if (wait == WN_WAIT_TIMEOUT) return DRAVIK_STATUS_TIMEOUT;
    if (wait != WN_WAIT_OBJECT_0) return DRAVIK_STATUS_FAILED;

    // One signal of the auto-reset event may stand for several queued
    // messages, so read until the queue is empty before waiting again.
    for (;;) {
      const DravikStatus status = readMessage(reply);
      if (status == DRAVIK_STATUS_NO_MORE_ITEMS) break;
      if (status != DRAVIK_STATUS_SUCCESS) return status;
      if (reply.type != DRAVIK_MSG_TYPE_REPLY) continue;      // not a reply: dropped
      if (reply.sequence != sequence) continue;              // late reply to an earlier request: dropped
      return DRAVIK_STATUS_SUCCESS;
    }
  }
}

DravikStatus DravikClient::requestWithReply(uint32_t code, const void* payload, uint32_t length,
                                            uint32_t expectedReplyCode, DravikMessage& reply, uint32_t timeoutMs) {
  DravikMessage request;
  request.init(DRAVIK_MSG_TYPE_REQUEST, code);
  if (DravikStatus s = request.setPayload(payload, length)) return s;
  reply.init(DRAVIK_MSG_TYPE_NONE, 0);
  if (DravikStatus s = sendRequest(request, reply, timeoutMs)) return s;
  if (reply.code != expectedReplyCode) return DRAVIK_STATUS_UNEXPECTED_MSG_CODE;
  return reply.status;
}

DravikStatus DravikClient::setSampleRate(uint32_t rateHz, uint32_t timeoutMs) {
  DravikMessage reply;
  return requestWithReply(DRAVIK_MSG_SET_SAMPLE_RATE, &rateHz, sizeof rateHz, DRAVIK_MSG_REPLY, reply, timeoutMs);
}

DravikStatus DravikClient::setBufferSizes(uint32_t streamingBufferSize, uint32_t asioBufferSize,
                                          uint32_t bufferSetting3) {
  DravikBufferSizes sizes{streamingBufferSize, asioBufferSize, bufferSetting3};
  DravikMessage reply;
  return requestWithReply(DRAVIK_MSG_SET_BUFFER_SIZES, &sizes, sizeof sizes, DRAVIK_MSG_REPLY, reply,
                          requestTimeoutMs_);
}

DravikStatus DravikClient::selectStreamingDevice(uint32_t deviceId0, uint32_t deviceId1, uint32_t allDevices) {
  DravikStreamingDeviceSelection selection{deviceId0, deviceId1, allDevices};
  DravikMessage reply;
  return requestWithReply(DRAVIK_MSG_SELECT_STREAMING_DEVICE, &selection, sizeof selection, DRAVIK_MSG_REPLY, reply,
                          requestTimeoutMs_);
}

DravikStatus DravikClient::setIoFormat(uint8_t format, uint32_t timeoutMs) {
  DravikMessage reply;
  return requestWithReply(DRAVIK_MSG_SET_IO_FORMAT, &format, sizeof format, DRAVIK_MSG_REPLY, reply, timeoutMs);
}

DravikStatus DravikClient::setPolicy(uint32_t flags, uint32_t timeoutMs) {
  DravikMessage reply;
  return requestWithReply(DRAVIK_MSG_SET_POLICY, &flags, sizeof flags, DRAVIK_MSG_REPLY, reply, timeoutMs);
}

// --- DravikCplClient.

DravikStatus DravikCplClient::setDeviceConfig(uint32_t deviceId0, uint32_t deviceId1, uint32_t renderConfig,
                                              uint32_t captureConfig) {
  DravikDeviceConfig config{deviceId0, deviceId1, renderConfig, captureConfig};
  DravikMessage reply;
  return requestWithReply(DRAVIK_MSG_SET_DEVICE_CONFIG, &config, sizeof config, DRAVIK_MSG_REPLY, reply,
                          requestTimeout());
}

DravikStatus DravikCplClient::getDeviceConfig(uint32_t deviceId0, uint32_t deviceId1, uint32_t& renderConfig,
                                              uint32_t& captureConfig) {
  DravikDeviceConfig config{deviceId0, deviceId1, 0, 0};
  DravikMessage reply;
  if (DravikStatus s = requestWithReply(DRAVIK_MSG_GET_DEVICE_CONFIG, &config, sizeof config,
                                        DRAVIK_MSG_REPLY_DEVICE_CONFIG, reply, requestTimeout()))
    return s;
  DravikDeviceConfig answer;
  if (DravikStatus s = reply.readExact(&answer, sizeof answer)) return s;
  renderConfig = answer.renderConfig;
  captureConfig = answer.captureConfig;
  return DRAVIK_STATUS_SUCCESS;
}

// --- DravikAsioClient.

namespace {

template <class Record>
DravikStatus readRecord(DravikApiContext& channel, uint32_t code, Record& out) {
  std::memset(&out, 0, sizeof out);
  return channel.ioControl(code, nullptr, 0, &out, sizeof out);
}

uint64_t addressField(const void* p) { return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p)); }

}  // namespace

DravikStatus DravikAsioClient::getFormat(StreamFormat& out) {
  return readRecord(*this, IOCTL_DRAVIK_ASIO_GET_FORMAT, out);
}

DravikStatus DravikAsioClient::getChannelList(DravikAsioChannelLists& out) {
  return readRecord(*this, IOCTL_DRAVIK_ASIO_GET_CHANNEL_LIST, out);
}

DravikStatus DravikAsioClient::getChannelInfo(const DravikChannelKey& key, ChannelDescriptor& out) {
  std::memset(&out, 0, sizeof out);
  return ioControl(IOCTL_DRAVIK_ASIO_GET_CHANNEL_INFO, &key, sizeof key, &out, sizeof out);
}

DravikStatus DravikAsioClient::getLatencies(DravikAsioLatencies& out) {
  return readRecord(*this, IOCTL_DRAVIK_ASIO_GET_LATENCIES, out);
}

DravikStatus DravikAsioClient::setSwitchControl(const SwitchControl& control) {
  return ioControl(IOCTL_DRAVIK_ASIO_SET_SWITCH_CONTROL, &control, sizeof control, nullptr, 0);
}

DravikStatus DravikAsioClient::setSwitchControl(SwitchBlock* block, WnRawHandle switchEvent, uint32_t bufferSize) {
  SwitchControl control{addressField(block), addressField(switchEvent), bufferSize};
  return setSwitchControl(control);
}

DravikStatus DravikAsioClient::clearSwitchControl() {
  return ioControl(IOCTL_DRAVIK_ASIO_CLEAR_SWITCH_CONTROL, nullptr, 0, nullptr, 0);
}

DravikStatus DravikAsioClient::openChannel(const DravikChannelKey& key) {
  return ioControl(IOCTL_DRAVIK_ASIO_OPEN_CHANNEL, &key, sizeof key, nullptr, 0);
}

DravikStatus DravikAsioClient::closeChannel(const DravikChannelKey& key) {
  return ioControl(IOCTL_DRAVIK_ASIO_CLOSE_CHANNEL, &key, sizeof key, nullptr, 0);
}

DravikStatus DravikAsioClient::setChannelBuffer(const ChannelBuffer& buffer) {
  return ioControl(IOCTL_DRAVIK_ASIO_SET_CHANNEL_BUFFER, &buffer, sizeof buffer, nullptr, 0);
}

DravikStatus DravikAsioClient::setChannelBuffer(const DravikChannelKey& key, void* address, uint32_t halfSize) {
  ChannelBuffer buffer{key.channelKey0, key.channelKey1, halfSize, 4, addressField(address)};
  return setChannelBuffer(buffer);
}

DravikStatus DravikAsioClient::start() { return ioControl(IOCTL_DRAVIK_ASIO_START, nullptr, 0, nullptr, 0); }

DravikStatus DravikAsioClient::stop() { return ioControl(IOCTL_DRAVIK_ASIO_STOP, nullptr, 0, nullptr, 0); }
