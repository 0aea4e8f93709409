// AsioComDriverLoader where there is no COM: nothing can be loaded.
#include "tools/asiohost/AsioComDriverLoader.h"

IASIO* AsioComDriverLoader::load(const char16_t*, std::string& error) {
  error = "ASIO drivers are created through COM, which only Windows has; use --inprocess";
  return nullptr;
}

void AsioComDriverLoader::release() {}
