#include "service/DravikDeviceCtrl.h"

DravikDeviceCtrl::DravikDeviceCtrl() = default;

DravikDeviceCtrl::~DravikDeviceCtrl() = default;

DravikStatus DravikDeviceCtrl::onOpened() { return DRAVIK_STATUS_SUCCESS; }

const char16_t* DravikDeviceCtrl::registryKeyName() {
  // The record's serial need not be terminated within its 20 characters.
  size_t n = 0;
  for (; n < DRAVIK_SERIAL_CHARS && record_.serialNumber[n]; ++n) keyName_[n] = record_.serialNumber[n];
  keyName_[n] = 0;
  return keyName_;
}

DravikStatus DravikDeviceCtrl::beforeTransition(uint32_t, uint32_t, uint32_t) { return DRAVIK_STATUS_SUCCESS; }

void DravikDeviceCtrl::afterTransition(uint32_t, uint32_t, uint32_t) {}

void DravikDeviceCtrl::transitionFailed(uint32_t, uint32_t, DravikStatus) {}

void DravikDeviceCtrl::onHardwareLevelsChanged() {}

void DravikDeviceCtrl::onCaptureEndpointChanged(uint32_t) {}

void DravikDeviceCtrl::onRenderEndpointChanged(uint32_t) {}

DravikStatus DravikDeviceCtrl::setIoFormat(uint8_t) { return DRAVIK_STATUS_SUCCESS; }

DravikStatus DravikDeviceCtrl::checkDevice() { return DRAVIK_STATUS_SUCCESS; }
