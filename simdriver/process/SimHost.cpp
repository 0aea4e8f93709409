#include "simdriver/process/SimHost.h"

#include "platform/WnDeviceNotification.h"
#include "platform/WnWait.h"
#include "simdriver/SimScenario.h"
#include "simdriver/process/SimText.h"

SimHost::SimHost(const SimHostOptions& options) : options_(options) { stopEvent_.create(true, false); }

SimHost::~SimHost() { stop(); }

uint32_t SimHost::start(std::string& error) {
  if (started_) return WN_ERROR_ALREADY_INITIALIZED;
  if (!wnFormatPipePath(options_.pipe.c_str(), path_)) {
    error = "bad pipe name";
    return WN_ERROR_BAD_PATHNAME;
  }
  if (!stopEvent_.isValid()) {
    error = "cannot create the stop event";
    return WN_ERROR_NOT_ENOUGH_MEMORY;
  }
  if (!simCheckDriverConfig(options_.driver, error)) return WN_ERROR_INVALID_PARAMETER;

  // One simulator per pipe name (the name alone is not always exclusive).
  std::u16string mutexName = u"tovix8sim-";
  for (const char16_t* p = path_; *p; ++p) mutexName += *p == u'\\' ? u'_' : *p;
  const uint32_t m = instance_.create(false, mutexName.c_str());
  if (m == WN_ERROR_ALREADY_EXISTS || !instance_.isValid()) {
    instance_.close();
    error = "another simulator serves " + simToUtf8(path_, WN_PIPE_NAME_CHARS);
    return WN_ERROR_ALREADY_EXISTS;
  }

  try {
    driver_ = std::make_unique<SimDriver>(options_.driver);
    server_ = std::make_unique<SimPipeServer>(*driver_);
    SimScenario& sc = driver_->scenario();
    publisher_ = std::make_unique<SimDeviceEventPublisher>([&sc] {
      std::vector<WnDeviceEventRecord> out;
      for (const DravikDeviceRecord& r : sc.deviceList())
        out.push_back(simDeviceEvent(WN_DBT_DEVICEARRIVAL, r.vendorId, r.productId,
                                     simFromUtf8(simToUtf8(r.serialNumber, DRAVIK_SERIAL_CHARS))));
      return out;
    });
    SimCommandInterpreter::Hooks hooks;
    hooks.pipe = simToUtf8(path_, WN_PIPE_NAME_CHARS);
    hooks.server = server_.get();
    hooks.publisher = publisher_.get();
    hooks.stoppable = true;
    interpreter_ = std::make_unique<SimCommandInterpreter>(*driver_, hooks);
    control_ = std::make_unique<SimControlServer>(*interpreter_, [this] { requestStop(); });
  } catch (...) {
    error = "out of memory";
    return WN_ERROR_NOT_ENOUGH_MEMORY;
  }

  started_ = true;
  const std::string where = simToUtf8(path_, WN_PIPE_NAME_CHARS);
  if (uint32_t err = publisher_->start(path_)) {
    error = simFormat("cannot serve %s-events (system error %u)", where.c_str(), err);
    stop();
    return err;
  }
  if (uint32_t err = server_->start(path_)) {
    error = simFormat("cannot serve %s (system error %u)", where.c_str(), err);
    stop();
    return err;
  }
  if (uint32_t err = control_->start(path_)) {
    error = simFormat("cannot serve %s-ctl (system error %u)", where.c_str(), err);
    stop();
    return err;
  }
  return 0;
}

void SimHost::requestStop() { stopEvent_.set(); }

void SimHost::waitForStop() { wnWaitForSingle(stopEvent_.get(), WN_INFINITE); }

void SimHost::stop() {
  if (!started_) return;
  started_ = false;
  if (control_) control_->stop();
  if (server_) server_->stop();
  if (publisher_) publisher_->stop();
  control_.reset();
  interpreter_.reset();
  server_.reset();
  publisher_.reset();
  driver_.reset();
  instance_.close();
}
