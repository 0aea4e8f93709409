// AsioComDriverLoader: the way an ASIO host finds and creates a driver: look
// through the subkeys of HKEY_LOCAL_MACHINE\SOFTWARE\ASIO for the driver's
// key name, read its "CLSID" string, initialise COM on the calling thread
// and create the object with CoCreateInstance (in-process server, the CLSID
// as class and as interface identifier). On Windows only; elsewhere load()
// fails with an explanation.
//
// Lifetime: the loader owns the one reference it got and releases it in
// release() or its destructor, then uninitialises COM. Threading: the
// thread that called load() uses the object and ends it (apartment model).
//
//   AsioComDriverLoader loader;
//   std::string error;
//   IASIO* asio = loader.load(u"Tovix8 ASIO", error);
//   ...
//   loader.release();
#pragma once

#include <string>

#include "asio/IASIO.h"

class AsioComDriverLoader {
public:
  AsioComDriverLoader() = default;
  ~AsioComDriverLoader() { release(); }
  AsioComDriverLoader(const AsioComDriverLoader&) = delete;
  AsioComDriverLoader& operator=(const AsioComDriverLoader&) = delete;

  // The driver registered under keyName, or null with error set.
  IASIO* load(const char16_t* keyName, std::string& error);
  void release();

private:
  IASIO* asio_ = nullptr;
  bool comInitialised_ = false;
};
