// The DLL shell of the ASIO driver: the entry point and the four COM server
// exports. Everything they do is in the portable core; this file only
// remembers the module, installs the Win32 module services and shows the
// registration failure message box.
#include <windows.h>

#include "asio/AsioProduct.h"
#include "asio/AsioRegistration.h"
#include "asio/AsioServer.h"
#include "asio/win32/AsioWin32ModuleServices.h"
#include "platform/WnCom.h"

namespace {

AsioWin32ModuleServices g_moduleServices;

LONG reportFailure(const char16_t* text, int32_t code) {
  char16_t message[kAsioFailureTextChars];
  asioFormatRegistrationFailure(text, code, message, kAsioFailureTextChars);
  MessageBoxW(nullptr, reinterpret_cast<const wchar_t*>(message), reinterpret_cast<const wchar_t*>(kAsioDescription),
              MB_OK);
  return -1;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(instance);
    asioSetModuleServices(&g_moduleServices);
    asioServerProcessAttach(instance);
  } else if (reason == DLL_PROCESS_DETACH) {
    asioServerProcessDetach();
  }
  return TRUE;
}

extern "C" LONG WINAPI DllGetClassObject(const WnGuid* rclsid, const WnGuid* riid, void** ppv) {
  if (!rclsid || !riid) return WN_E_INVALIDARG;
  return asioDllGetClassObject(*rclsid, *riid, ppv);
}

extern "C" LONG WINAPI DllCanUnloadNow() { return asioDllCanUnloadNow(); }

extern "C" LONG WINAPI DllRegisterServer() {
  if (int32_t result = asioRegisterThisModule()) return reportFailure(kAsioRegisterFailedText, result);
  return 0;
}

extern "C" LONG WINAPI DllUnregisterServer() {
  if (int32_t result = asioUnregisterThisModule()) return reportFailure(kAsioUnregisterFailedText, result);
  return 0;
}
