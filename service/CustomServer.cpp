#include "service/CustomServer.h"

#include <new>

CustomServer::CustomServer() = default;

CustomServer::~CustomServer() = default;

DravikDevice* CustomServer::createDevice() { return new (std::nothrow) CustomDevice; }

CustomDevice* CustomServer::findCustomDevice(uint32_t deviceId0, uint32_t deviceId1) const {
  return dynamic_cast<CustomDevice*>(findDevice(deviceId0, deviceId1));
}

DravikStatus CustomServer::onCustomRequest(const DravikMessage& request, DravikMessage& reply) {
  switch (request.code) {
    case DRAVIK_MSG_GET_DEVICE_CONFIG: {
      // Every answer to 11002 is a 12001, failures too: the asking client
      // expects that code and then reports the status it carries.
      reply.code = DRAVIK_MSG_REPLY_DEVICE_CONFIG;
      DravikDeviceConfig query{};
      if (DravikStatus s = request.readExact(&query, sizeof query)) return s;
      DravikDeviceConfig answer{};
      if (DravikStatus s = getDeviceConfig(query, answer)) return s;
      reply.setPayload(&answer, sizeof answer);
      return DRAVIK_STATUS_SUCCESS;
    }
    case DRAVIK_MSG_SET_DEVICE_CONFIG: {
      DravikDeviceConfig config{};
      if (DravikStatus s = request.readExact(&config, sizeof config)) return s;
      return setDeviceConfig(config);
    }
    default:
      return DRAVIK_STATUS_INVALID_COMMAND;
  }
}

DravikStatus CustomServer::getDeviceConfig(const DravikDeviceConfig& query, DravikDeviceConfig& out) {
  CustomDevice* device = findCustomDevice(query.deviceId0, query.deviceId1);
  if (!device) return DRAVIK_STATUS_OBJECT_NOT_FOUND;
  out = DravikDeviceConfig{query.deviceId0, query.deviceId1, device->renderConfiguration(),
                           device->captureConfiguration()};
  return DRAVIK_STATUS_SUCCESS;
}

DravikStatus CustomServer::setDeviceConfig(const DravikDeviceConfig& config) {
  CustomDevice* device = findCustomDevice(config.deviceId0, config.deviceId1);
  if (!device) return DRAVIK_STATUS_OBJECT_NOT_FOUND;
  if (config.renderConfig != 0 || config.captureConfig != 0) return DRAVIK_STATUS_INVALID_PARAMETER;
  DravikStreamState state;
  if (DravikStatus s = getStreamState(state)) return s;
  if (state.useCount0 != 0) return DRAVIK_STATUS_SOUND_DEVICE_IN_USE;
  if (DravikStatus s = lowerStreaming(0)) return s;
  const DravikStatus applied = device->applyWdmConfiguration(config);
  const DravikStatus raised = raiseStreaming(0);
  // Raising comes first; when it worked, a failed apply must still be told.
  return raised != DRAVIK_STATUS_SUCCESS ? raised : applied;
}
