#include "tools/asiohost/AsioInProcessRig.h"

#include "asio/AsioProduct.h"
#include "asio/AsioServer.h"
#include "driverapi/DravikIoctl.h"
#include "driverapi/DravikMessage.h"
#include "driverapi/DravikStatus.h"
#include "platform/WnTime.h"
#include "platform/WnWait.h"

namespace {

constexpr uint32_t kServerStartMs = 30000;

}  // namespace

AsioInProcessRig::AsioInProcessRig(const SimDriverConfig& config)
    : sim_(config), factory_(sim_), body_(this, &AsioInProcessRig::serverBody) {
  stop_.create(false, false);
  arrival_.create(false, false);
}

AsioInProcessRig::~AsioInProcessRig() { stop(); }

uint32_t AsioInProcessRig::serverBody() {
  runResult_ = server_.run(stop_.get(), arrival_.get());
  return 0;
}

DravikStatus AsioInProcessRig::start(std::string& error) {
  dravikSetTransportFactory(&factory_);
  installed_ = true;
  if (DravikStatus s = client_.connectAs(DRAVIK_DEVICE_NAME, DRAVIK_INITIATOR_CPL_DEVICES)) {
    error = std::string("cannot connect to the simulated driver: ") + DravikStatusName(s);
    return s;
  }
  if (uint32_t e = thread_.start(&body_, 0, 0)) {
    error = "cannot start the service's thread";
    return e;
  }
  // The server's start-up ends with the device list notification.
  const uint64_t deadline = wnMonotonicNanos() + uint64_t{kServerStartMs} * 1000000u;
  for (;;) {
    DravikMessage message;
    while (client_.nextNotification(message) == DRAVIK_STATUS_SUCCESS)
      if (message.code == DRAVIK_NOTIFY_DEVICE_LIST_CHANGED) return DRAVIK_STATUS_SUCCESS;
    const uint64_t now = wnMonotonicNanos();
    if (now >= deadline) break;
    wnWaitForSingle(client_.notificationEventHandle(), static_cast<uint32_t>((deadline - now) / 1000000u) + 1);
  }
  error = "the device control service did not start";
  return DRAVIK_STATUS_TIMEOUT;
}

void AsioInProcessRig::stop() {
  if (thread_.isValid()) {
    stop_.set();
    thread_.wait(WN_INFINITE);
  }
  client_.disconnect();
  if (installed_) {
    dravikSetTransportFactory(nullptr);
    installed_ = false;
  }
}

IASIO* AsioInProcessRig::createDriver(std::string& error) {
  void* object = nullptr;
  WnHResult hr = asioDllGetClassObject(kTovix8AsioClsid, WN_IID_ICLASSFACTORY, &object);
  if (wnFailed(hr) || !object) {
    error = "the ASIO driver's class object is not available";
    return nullptr;
  }
  auto* factory = static_cast<WnIClassFactory*>(object);
  void* asio = nullptr;
  hr = factory->CreateInstance(nullptr, kTovix8AsioClsid, &asio);
  factory->Release();
  if (wnFailed(hr) || !asio) {
    error = "the ASIO driver object could not be created";
    return nullptr;
  }
  return static_cast<IASIO*>(asio);
}

DravikStatus AsioInProcessRig::setSampleRate(uint32_t rateHz) {
  return client_.setSampleRate(rateHz, DRAVIK_REQUEST_TIMEOUT_MS);
}
