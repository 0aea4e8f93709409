// DravikClient: a DravikDriver that sends requests to the device control
// service over the driver's message relay and waits for the replies.
// DravikCplClient (control panel) adds the sound-device configuration
// requests; DravikAsioClient (ASIO driver) adds the ASIO streaming requests.
//
// Lifetime: as DravikDriver; the sequence counter lives as long as the
// object and is not reset by reconnecting.
// Threading: sendRequest holds the channel's lock for the whole exchange,
// including the wait for the reply, so on one client only one exchange runs
// at a time and every other request on the channel (from any thread) waits
// for it. The request time-out (requestTimeoutMs) is set by the owner before
// the client is shared.
//
//   DravikCplClient client;
//   if (client.connect(DRAVIK_DEVICE_NAME) == 0)
//     status = client.setSampleRate(48000, DRAVIK_REQUEST_TIMEOUT_MS);
#pragma once

#include <cstdint>

#include "driverapi/DravikAsioRecords.h"
#include "driverapi/DravikDriver.h"
#include "driverapi/DravikMessage.h"
#include "driverapi/DravikStatus.h"

// The time-out every caller uses for its requests to the service.
constexpr uint32_t DRAVIK_REQUEST_TIMEOUT_MS = 30000;

class DravikClient : public DravikDriver {
public:
  DravikClient();
  ~DravikClient() override;

  // One request-and-reply exchange. Stamps the request with the next
  // sequence number (1, 2, ... 0xFFFFFFFF, 1, ...), posts it and waits on
  // the message event up to timeoutMs each time; replies of other sequence
  // numbers and messages that are not replies are dropped. Success means
  // reply holds the reply to this request (the caller looks at its code and
  // status). Post failure: its status, at once. No signal in time:
  // DRAVIK_STATUS_TIMEOUT. Any other wait outcome: DRAVIK_STATUS_FAILED.
  // Other read failures: their status.
  DravikStatus sendRequest(DravikMessage& request, DravikMessage& reply, uint32_t timeoutMs);

  // Typed requests: the exchange's failure, else the reply's status when its
  // code is the expected one (2001), else DRAVIK_STATUS_UNEXPECTED_MSG_CODE.
  DravikStatus setSampleRate(uint32_t rateHz, uint32_t timeoutMs);
  DravikStatus setBufferSizes(uint32_t streamingBufferSize, uint32_t asioBufferSize, uint32_t bufferSetting3);
  DravikStatus selectStreamingDevice(uint32_t deviceId0, uint32_t deviceId1, uint32_t allDevices);
  // format: 0 PCM, 1 DSD.
  DravikStatus setIoFormat(uint8_t format, uint32_t timeoutMs);
  DravikStatus setPolicy(uint32_t flags, uint32_t timeoutMs);

  // Time-out of the requests that take none from their caller
  // (DRAVIK_REQUEST_TIMEOUT_MS unless changed).
  void setRequestTimeout(uint32_t timeoutMs) { requestTimeoutMs_ = timeoutMs; }
  uint32_t requestTimeout() const { return requestTimeoutMs_; }

  // The last sequence number used (0 before the first request). presetSequence
  // makes the next request use value + 1 (wrapping to 1); for tests.
  uint32_t lastSequence();
  void presetSequence(uint32_t value);

protected:
  // Builds request (type 1, code, payload) and a reply record, runs the
  // exchange and evaluates the reply as the typed requests do; reply holds
  // the reply on return.
  DravikStatus requestWithReply(uint32_t code, const void* payload, uint32_t length, uint32_t expectedReplyCode,
                                DravikMessage& reply, uint32_t timeoutMs);

private:
  uint32_t nextSequence_ = 0;
  uint32_t requestTimeoutMs_ = DRAVIK_REQUEST_TIMEOUT_MS;
};

// The control panel's client.
class DravikCplClient : public DravikClient {
public:
  DravikStatus setDeviceConfig(uint32_t deviceId0, uint32_t deviceId1, uint32_t renderConfig, uint32_t captureConfig);
  // Expects reply 12001; a non-zero reply status is returned unchanged; the
  // payload must be exactly 16 bytes (longer: DRAVIK_STATUS_INVALID_LENGTH,
  // shorter: DRAVIK_STATUS_INVALID_MSG_SIZE). The outputs are set only on
  // success.
  DravikStatus getDeviceConfig(uint32_t deviceId0, uint32_t deviceId1, uint32_t& renderConfig,
                               uint32_t& captureConfig);
};

// The ASIO driver's client: the ASIO streaming requests on the driver channel.
class DravikAsioClient : public DravikClient {
public:
  // Outputs are zeroed first.
  DravikStatus getFormat(StreamFormat& out);
  DravikStatus getChannelList(DravikAsioChannelLists& out);
  // IOCTL_DRAVIK_ASIO_GET_CHANNEL_INFO for the key. (The driver-level
  // IOCTL_DRAVIK_GET_CHANNEL_INFO stays reachable as getChannelInfo(key0, key1, out).)
  DravikStatus getChannelInfo(const DravikChannelKey& key, ChannelDescriptor& out);
  using DravikDriver::getChannelInfo;
  DravikStatus getLatencies(DravikAsioLatencies& out);
  DravikStatus setSwitchControl(const SwitchControl& control);
  // Builds the record: block address and event handle zero-extended to 64 bits.
  DravikStatus setSwitchControl(SwitchBlock* block, WnRawHandle switchEvent, uint32_t bufferSize);
  DravikStatus clearSwitchControl();
  DravikStatus openChannel(const DravikChannelKey& key);
  DravikStatus closeChannel(const DravikChannelKey& key);
  DravikStatus setChannelBuffer(const ChannelBuffer& buffer);
  // Builds the record: halfSize bytes per half, the value 4, address zero-extended.
  DravikStatus setChannelBuffer(const DravikChannelKey& key, void* address, uint32_t halfSize);
  DravikStatus start();
  DravikStatus stop();
};
