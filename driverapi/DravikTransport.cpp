#include "driverapi/DravikTransport.h"

#include <atomic>

#include "driverapi/DravikDeviceTransport.h"

namespace {

DravikDeviceTransportFactory& defaultFactory() {
  static DravikDeviceTransportFactory factory;
  return factory;
}

std::atomic<DravikTransportFactory*> installedFactory{nullptr};

}  // namespace

void dravikSetTransportFactory(DravikTransportFactory* factory) {
  installedFactory.store(factory, std::memory_order_release);
}

DravikTransportFactory& dravikTransportFactory() {
  if (DravikTransportFactory* factory = installedFactory.load(std::memory_order_acquire)) return *factory;
  return defaultFactory();
}
