// The device server under test: a simulated driver in this process, a
// CustomServer whose loop runs on a thread of its own (as in the service),
// a PnP notificator that sets the server's arrival event, and a control
// panel client that sends requests and collects the notifications every
// program receives.
//
// Waits are on events or on the simulator's journal, with time-outs of
// seconds; nothing sleeps.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "driverapi/DravikClient.h"
#include "driverapi/DravikIoctl.h"
#include "platform/WnDeviceNotification.h"
#include "platform/WnHandle.h"
#include "platform/WnThread.h"
#include "service/CustomServer.h"
#include "simdriver/SimDriver.h"
#include "simdriver/SimInProcessTransport.h"
#include "simdriver/SimScenario.h"

constexpr uint32_t kRequestTimeoutMs = 10000;
constexpr uint32_t kWaitMs = 10000;
inline const std::u16string kSerial = u"T8-0001";

// Removes the per-device registry keys the tests use (both platforms).
void clearDeviceRegistry();
// Writes one value below HKLM\Software\HALVENOR\tovix8\Devices\<serial>.
void writeDeviceValue(const std::u16string& serial, const char16_t* name, uint32_t type, const void* data,
                      uint32_t size);
// Reads a REG_DWORD value there; false when it cannot be read.
bool readDeviceDword(const std::u16string& serial, const char16_t* name, uint32_t& value);

// Requests of the journal, decoded.
std::vector<uint32_t> streamCommands(const std::vector<SimJournalEntry>& entries);
// Codes of the messages of this type posted in the entries.
std::vector<uint32_t> postedCodes(const std::vector<SimJournalEntry>& entries, uint32_t type);
size_t countCode(const std::vector<SimJournalEntry>& entries, uint32_t code);

class ServerFixture : public ::testing::Test {
protected:
  ServerFixture();
  ~ServerFixture() override;
  void TearDown() override;

  // Creates the simulated driver and installs it as the process's driver.
  void startSim(const SimDriverConfig& config = SimDriverConfig());
  // Connects the client, starts the server's loop on its thread and waits
  // for the 3030 that ends the server's start-up.
  void startServer();
  // Sets the stop event and joins the loop; the loop's result.
  DravikStatus stopServer();

  SimScenario& sc() { return sim_->scenario(); }
  SimHandleId serverHandle() { return sc().findHandle(DRAVIK_INITIATOR_SERVICE); }
  DravikDeviceId deviceIds(const std::u16string& serial = kSerial);
  SimDeviceSnapshot snapshot(const std::u16string& serial = kSerial);

  // The journal from now on: mark() then since(mark).
  uint64_t mark();
  std::vector<SimJournalEntry> since(uint64_t mark, SimHandleId handle = SIM_NO_HANDLE);

  // True once the client received a notification with this code after the
  // last one this waited for (the search goes on from there next time).
  bool waitForNotification(uint32_t code, uint32_t timeoutMs = kWaitMs);
  // Every notification code received so far, in order.
  const std::vector<uint32_t>& received();
  void forgetNotifications();
  // Returns once the server handled every notification raised before: a
  // 3020 goes through the same queue and the server answers it with 3030.
  void barrier();

  // Plugs a device. Where the platform cannot raise the device-interface
  // arrival for the simulator (Win32), the arrival event is set by hand.
  DravikStatus plugDevice(const SimDeviceConfig& config);
  static bool platformRaisesInterfaceEvents();

  // One request with any payload; the reply's status (or the exchange's).
  DravikStatus rawRequest(uint32_t code, const void* payload, uint32_t length, DravikMessage* replyOut = nullptr);

  std::unique_ptr<SimDriver> sim_;
  std::unique_ptr<SimInProcessTransportFactory> factory_;
  std::unique_ptr<CustomServer> server_;
  DravikCplClient client_;
  WnEvent stop_;
  WnEvent arrival_;
  DravikStatus runResult_ = 0xFFFFFFFFu;

private:
  uint32_t serverBody();
  void onDeviceChange(uint32_t eventType, const WnDeviceInterfaceBroadcast* header);
  void drainClient();

  WnThread thread_;
  WnThreadCallbackForwarderT<ServerFixture> body_;
  WnPnPNotificator pnp_;
  WnPnPNotificatorCallbackForwarderT<ServerFixture> pnpForwarder_;
  std::vector<uint32_t> received_;
  size_t cursor_ = 0;
};
