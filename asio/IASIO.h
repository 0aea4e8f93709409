// IASIO: the ASIO driver interface as hosts call it. The three IUnknown
// operations come first (COM convention), then the driver operations in
// their fixed slot order as plain C++ virtual member functions (thiscall on
// 32-bit Windows). No virtual destructor: the table holds exactly these
// slots. A host obtains the interface by creating the driver's COM class
// with the class identifier as interface identifier.
//
// Threading: the host calls every operation from its own threads; the driver
// calls the host back (ASIOCallbacks) from its streaming thread.
//
//   IASIO* asio = nullptr;
//   factory->CreateInstance(nullptr, kTovix8AsioClsid, reinterpret_cast<void**>(&asio));
//   if (asio->init(nullptr)) asio->getChannels(&in, &out);
//   asio->Release();
#pragma once

#include "asio/AsioRecords.h"
#include "asio/AsioTypes.h"
#include "platform/WnCom.h"

class IASIO : public WnIUnknown {
public:
  virtual ASIOBool init(void* sysHandle) = 0;
  virtual void getDriverName(char* name) = 0;
  virtual AsioLong getDriverVersion() = 0;
  virtual void getErrorMessage(char* string) = 0;
  virtual ASIOError start() = 0;
  virtual ASIOError stop() = 0;
  virtual ASIOError getChannels(AsioLong* numInputChannels, AsioLong* numOutputChannels) = 0;
  virtual ASIOError getLatencies(AsioLong* inputLatency, AsioLong* outputLatency) = 0;
  virtual ASIOError getBufferSize(AsioLong* minSize, AsioLong* maxSize, AsioLong* preferredSize,
                                  AsioLong* granularity) = 0;
  virtual ASIOError canSampleRate(ASIOSampleRate sampleRate) = 0;
  virtual ASIOError getSampleRate(ASIOSampleRate* sampleRate) = 0;
  virtual ASIOError setSampleRate(ASIOSampleRate sampleRate) = 0;
  virtual ASIOError getClockSources(ASIOClockSource* clocks, AsioLong* numSources) = 0;
  virtual ASIOError setClockSource(AsioLong reference) = 0;
  virtual ASIOError getSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp) = 0;
  virtual ASIOError getChannelInfo(ASIOChannelInfo* info) = 0;
  virtual ASIOError createBuffers(ASIOBufferInfo* bufferInfos, AsioLong numChannels, AsioLong bufferSize,
                                  ASIOCallbacks* callbacks) = 0;
  virtual ASIOError disposeBuffers() = 0;
  virtual ASIOError controlPanel() = 0;
  virtual ASIOError future(AsioLong selector, void* opt) = 0;
  virtual ASIOError outputReady() = 0;

protected:
  ~IASIO() = default;
};
