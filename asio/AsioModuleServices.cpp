#include "asio/AsioModuleServices.h"

namespace {

// No module file and no programs: what a build without the DLL's services sees.
class NullModuleServices : public AsioModuleServices {
public:
  uint32_t modulePath(WnInstance, char16_t* out, uint32_t capacity, uint32_t* error) override {
    if (out && capacity) out[0] = 0;
    if (error) *error = WN_ERROR_NOT_SUPPORTED;
    return 0;
  }
  uint32_t startProcess(const char16_t*) override { return WN_ERROR_NOT_SUPPORTED; }
};

NullModuleServices g_nullServices;
AsioModuleServices* g_services = nullptr;

}  // namespace

AsioModuleServices& asioModuleServices() { return g_services ? *g_services : g_nullServices; }

void asioSetModuleServices(AsioModuleServices* services) { g_services = services; }
