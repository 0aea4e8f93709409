#include "driverapi/DravikTransport.h"

#include <atomic>

#include "driverapi/DravikPipeTransport.h"

namespace {

// The real device, or the simulated driver's pipe when an administrator
// opted in (DravikPipeTransport.h).
DravikOptInTransportFactory& defaultFactory() {
  static DravikOptInTransportFactory factory;
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
