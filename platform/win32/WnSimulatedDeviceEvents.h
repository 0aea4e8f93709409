// Internal to the Win32 backend: the hooks through which device-notification
// registrations reach the simulated-driver event feed (WnSimulatedDriver.h).
// registerDeviceNotification calls simulatedEventsRegistered after a
// successful registration; unregisterDeviceNotification calls
// simulatedEventsUnregistered before it gives the handle back. Without the
// opt-in both do nothing.
#pragma once

#include "platform/WnTypes.h"

namespace wn::detail {

// kind: 0 window, 1 service status handle.
void simulatedEventsRegistered(int kind, void* recipient, const WnGuid& classGuid, void* notifyHandle);
// After this returns no call of a service handler for that registration is
// in progress (a message sent to a window that is going away simply fails).
void simulatedEventsUnregistered(void* notifyHandle);

}  // namespace wn::detail
