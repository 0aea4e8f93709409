// SimDeviceEventPublisher: announces device-interface arrival and removal of
// the simulated devices to other processes, so that they reach those
// programs as a real device's would. It serves the pipe "<pipe>-events";
// the platform layer of every program that registered for device-interface
// notifications with the opt-in set subscribes to it and delivers each
// WnDeviceEventRecord to its registrations (platform/WnSimulatedDriver.h).
//
// A new subscriber first gets one arrival per device present then, as when
// the driver starts with devices plugged in; from then on it gets every
// published event in order. A subscriber that does not take its records
// within a few seconds, or went away, is dropped.
//
// Lifetime: start() once; stop() (also the destructor) ends the listener and
// drops every subscriber. Threading: publish() and change() may be called
// from any thread; they and the greeting of a new subscriber are serialised
// by one lock, so every subscriber sees arrivals and removals in the order
// the devices changed.
//
//   publisher.change([&](std::vector<WnDeviceEventRecord>& events) {
//     DravikStatus s = scenario.unplugDevice(serial);
//     if (s == 0) events.push_back(simDeviceRemoval(serial));
//     return s;
//   });
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "driverapi/DravikStatus.h"
#include "platform/WnPipe.h"
#include "platform/WnSimulatedDriver.h"

// The device-interface class of the driver.
extern const WnGuid kSimInterfaceClass;

// The records of one device's arrival and removal; the interface name is
// built from the identifiers and the serial.
WnDeviceEventRecord simDeviceEvent(uint32_t eventType, uint16_t vendorId, uint16_t productId,
                                   const std::u16string& serial);

class SimDeviceEventPublisher {
public:
  // present: the arrivals a new subscriber is greeted with (called under
  // the publisher's lock).
  using PresentDevices = std::function<std::vector<WnDeviceEventRecord>()>;

  explicit SimDeviceEventPublisher(PresentDevices present) : present_(std::move(present)) {}
  ~SimDeviceEventPublisher();
  SimDeviceEventPublisher(const SimDeviceEventPublisher&) = delete;
  SimDeviceEventPublisher& operator=(const SimDeviceEventPublisher&) = delete;

  // Serves pipePath + "-events"; 0 or the listener's error.
  uint32_t start(const char16_t* pipePath);
  void stop();

  void publish(const WnDeviceEventRecord& record);
  // Runs f under the lock and publishes the events it collected.
  DravikStatus change(const std::function<DravikStatus(std::vector<WnDeviceEventRecord>&)>& f);
  size_t subscriberCount();
  uint64_t published() const { return published_.load(); }

private:
  void acceptMain();
  // Writes to every subscriber under the lock; drops those that fail.
  void sendLocked(const WnDeviceEventRecord& record);

  PresentDevices present_;
  WnPipeListener listener_;
  std::thread acceptor_;
  std::mutex mutex_;
  std::vector<std::unique_ptr<WnPipe>> subscribers_;
  std::atomic<bool> stopping_{false};
  std::atomic<uint64_t> published_{0};
};
