#include "service/ServiceProcess.h"

#include <atomic>

#include "platform/WnThread.h"

namespace {

ServiceBase* gServices[ServiceProcess::kMaxServices] = {};
std::atomic<size_t> gCount{0};
std::atomic<bool> gConsoleMode{false};

}  // namespace

bool ServiceProcess::add(ServiceBase* service) {
  const size_t n = gCount.load();
  if (!service || n >= kMaxServices) return false;
  gServices[n] = service;
  gCount.store(n + 1);
  return true;
}

size_t ServiceProcess::count() { return gCount.load(); }

ServiceBase* ServiceProcess::at(size_t index) { return index < gCount.load() ? gServices[index] : nullptr; }

void ServiceProcess::clear() {
  gCount.store(0);
  for (ServiceBase*& s : gServices) s = nullptr;
}

void ServiceProcess::setConsoleMode(bool on) { gConsoleMode.store(on); }

bool ServiceProcess::consoleMode() { return gConsoleMode.load(); }

bool ServiceProcess::runConsoleThreads() {
  const size_t n = count();
  WnThreadCallbackForwarderT<ServiceBase> bodies[kMaxServices];
  WnThread threads[kMaxServices];
  bool ok = true;
  for (size_t i = 0; i < n; ++i) {
    bodies[i].bind(gServices[i], &ServiceBase::runConsole);
    if (threads[i].start(&bodies[i], 0, 0) != 0) ok = false;
  }
  for (size_t i = 0; i < n; ++i) threads[i].wait(WN_INFINITE);
  return ok;
}

void ServiceProcess::stopAll() {
  const size_t n = count();
  for (size_t i = 0; i < n; ++i) gServices[i]->stopRequest();
}

DravikService& dravikServiceInstance() {
  static DravikService service;
  return service;
}
