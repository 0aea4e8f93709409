#include "service/DravikService.h"

#include <new>

#include "service/ServiceIdentity.h"
#include "service/WideFormat.h"

DravikService::DravikService() : server_(new (std::nothrow) CustomServer) {
  arrivalEvent_.create(false, false);
  const char16_t* guid = server_ ? server_->interfaceGuidString() : TOVIX8_INTERFACE_GUID_STRING;
  wideFormat(mutexName_, TOVIX8_MUTEX_NAME_CHARS, u"%s-%s", serviceName(), guid);
}

void DravikService::setInstanceMutexName(const char16_t* name) {
  wideCopy(mutexName_, TOVIX8_MUTEX_NAME_CHARS, name);
}

DravikService::~DravikService() { delete server_; }

const char16_t* DravikService::serviceName() const {
  return server_ ? server_->serviceName() : TOVIX8_SERVICE_NAME;
}

const char16_t* DravikService::displayName() const {
  return server_ ? server_->displayName() : TOVIX8_SERVICE_DISPLAY_NAME;
}

const char16_t* DravikService::description() const {
  return server_ ? server_->description() : TOVIX8_SERVICE_DESCRIPTION;
}

void DravikService::onDeviceEvent(uint32_t eventType, const WnDeviceInterfaceBroadcast*) {
  if (eventType == WN_DBT_DEVICEARRIVAL) arrivalEvent_.set();
}

void DravikService::print(const char16_t* text) {
  if (output_) output_->print(text);
}

uint32_t DravikService::createInstanceMutex() {
  instanceMutex_.close();
  const uint32_t result = instanceMutex_.create(true, mutexName_);
  // An existing mutex belongs to the other instance: do not keep it.
  if (result != 0) instanceMutex_.close();
  return result;
}

void DravikService::runServer() {
  if (server_) server_->run(stopEvent_.get(), arrivalEvent_.get());
}

uint32_t DravikService::runConsole() {
  if (createInstanceMutex() != 0) {
    print(TOVIX8_TEXT_ANOTHER_INSTANCE_CONSOLE);
    return 1;
  }
  WnGuid guid{};
  if (server_) server_->interfaceGuid(guid);
  uint32_t error = 0;
  if (!pnp_.isRunning()) error = pnp_.start(&pnpForwarder_, nullptr);
  if (error == 0) error = pnp_.registerInterface(guid);
  if (error != 0) {
    print(TOVIX8_TEXT_PNP_FAILED_CONSOLE);
    closeInstanceMutex();
    return 1;
  }
  runServer();
  closeInstanceMutex();
  return 0;
}

void DravikService::serviceMain(ServiceRuntime& runtime) {
  WnServiceStatusHandle handle = nullptr;
  if (runtime.registerControlHandler(serviceName(), &controlForwarder_, handle) != 0) return;
  statusHandle_ = handle;
  stopEvent_.reset();

  reportStatus(runtime, WN_SERVICE_START_PENDING, TOVIX8_START_WAIT_HINT_MS, 0, 0);
  if (uint32_t error = runtime.openEventLog(serviceName())) {
    reportStatus(runtime, WN_SERVICE_STOPPED, 0, error, error);
    return;
  }

  uint32_t error = 0;
  char16_t path[WN_MODULE_PATH_CHARS] = {};
  if ((error = runtime.moduleFileName(path)) != 0) {
    runtime.reportError(TOVIX8_TEXT_MODULE_NAME_FAILED);
  } else {
    char16_t text[1024];
    wideFormat(text, 1024, TOVIX8_TEXT_STARTED_EVENT, serviceName(), path, TOVIX8_VERSION_MAJOR,
               TOVIX8_VERSION_MINOR, TOVIX8_VERSION_BUILD, TOVIX8_INTERFACE_VERSION_MAJOR,
               TOVIX8_INTERFACE_VERSION_MINOR);
    runtime.reportInformation(text);

    if ((error = createInstanceMutex()) != 0) {
      runtime.reportError(TOVIX8_TEXT_ANOTHER_INSTANCE_EVENT);
    } else {
      WnGuid guid{};
      if (server_) server_->interfaceGuid(guid);
      if ((error = notifications_.addForService(statusHandle_, guid)) != 0) {
        runtime.reportError(TOVIX8_TEXT_PNP_FAILED_EVENT);
        closeInstanceMutex();
      }
    }
  }
  if (error != 0) {
    reportStatus(runtime, WN_SERVICE_STOPPED, 0, error, error);
    runtime.closeEventLog();
    return;
  }

  reportStatus(runtime, WN_SERVICE_RUNNING, 0, 0, 0);
  runServer();
  reportStatus(runtime, WN_SERVICE_STOPPED, 0, 0, 0);
  closeInstanceMutex();
  char16_t text[600];
  wideFormat(text, 600, TOVIX8_TEXT_TERMINATING_EVENT, serviceName());
  runtime.reportInformation(text);
  runtime.closeEventLog();
}
