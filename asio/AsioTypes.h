// Scalar types and enumerations of the ASIO driver interface as ASIO hosts
// see it: result codes, booleans, sample types, the selectors of the host's
// asioMessage callback and of the driver's future operation, the time info
// and time code flags and the I/O format types.
//
// The interface's "long" is 32 bits on the hosts' platform; AsioLong keeps
// it 32 bits on every build so that the portable core and its tests see
// the same values and record layouts' fields as the 32-bit DLL.
//
// Plain constants; no state, no threading concerns.
#pragma once

#include <cstdint>

using AsioLong = int32_t;
using AsioULong = uint32_t;
using ASIOError = AsioLong;
using ASIOBool = AsioLong;
using ASIOSampleRate = double;
using ASIOSampleType = AsioLong;

constexpr ASIOBool ASIOFalse = 0;
constexpr ASIOBool ASIOTrue = 1;

// Results of the driver's operations.
enum : ASIOError {
  ASE_OK = 0,
  ASE_SUCCESS = 0x3F4847A0,
  ASE_NotPresent = -1000,
  ASE_HWMalfunction = -999,
  ASE_InvalidParameter = -998,
  ASE_InvalidMode = -997,
  ASE_SPNotAdvancing = -996,
  ASE_NoClock = -995,
  ASE_NoMemory = -994,
};

// Sample types of a channel (ASIOChannelInfo::type).
enum : ASIOSampleType {
  ASIOSTInt16MSB = 0,
  ASIOSTInt24MSB = 1,
  ASIOSTInt32MSB = 2,
  ASIOSTFloat32MSB = 3,
  ASIOSTFloat64MSB = 4,
  ASIOSTInt32MSB16 = 8,
  ASIOSTInt32MSB18 = 9,
  ASIOSTInt32MSB20 = 10,
  ASIOSTInt32MSB24 = 11,
  ASIOSTInt16LSB = 16,
  ASIOSTInt24LSB = 17,
  ASIOSTInt32LSB = 18,
  ASIOSTFloat32LSB = 19,
  ASIOSTFloat64LSB = 20,
  ASIOSTInt32LSB16 = 24,
  ASIOSTInt32LSB18 = 25,
  ASIOSTInt32LSB20 = 26,
  ASIOSTInt32LSB24 = 27,
  ASIOSTDSDInt8LSB1 = 32,
  ASIOSTDSDInt8MSB1 = 33,
  ASIOSTDSDInt8NER8 = 40,
  ASIOSTLastEntry,
};

// Selectors of the host's asioMessage callback.
enum : AsioLong {
  kAsioSelectorSupported = 1,
  kAsioEngineVersion = 2,
  kAsioResetRequest = 3,
  kAsioBufferSizeChange = 4,
  kAsioResyncRequest = 5,
  kAsioLatenciesChanged = 6,
  kAsioSupportsTimeInfo = 7,
  kAsioSupportsTimeCode = 8,
  kAsioMMCCommand = 9,
  kAsioSupportsInputMonitor = 10,
  kAsioSupportsInputGain = 11,
  kAsioSupportsInputMeter = 12,
  kAsioSupportsOutputGain = 13,
  kAsioSupportsOutputMeter = 14,
  kAsioOverload = 15,
  kAsioNumMessageSelectors,
};

// Selectors of the driver's future operation.
enum : AsioLong {
  kAsioEnableTimeCodeRead = 1,
  kAsioDisableTimeCodeRead = 2,
  kAsioSetInputMonitor = 3,
  kAsioTransport = 4,
  kAsioSetInputGain = 5,
  kAsioGetInputMeter = 6,
  kAsioSetOutputGain = 7,
  kAsioGetOutputMeter = 8,
  kAsioCanInputMonitor = 9,
  kAsioCanTimeInfo = 10,
  kAsioCanTimeCode = 11,
  kAsioCanTransport = 12,
  kAsioCanInputGain = 13,
  kAsioCanInputMeter = 14,
  kAsioCanOutputGain = 15,
  kAsioCanOutputMeter = 16,
  kAsioOptionalOne = 17,
  kAsioSetIoFormat = 0x23111961,
  kAsioGetIoFormat = 0x23111983,
  kAsioCanDoIoFormat = 0x23112004,
  kAsioCanReportOverload = 0x24042012,
  kAsioGetInternalBufferSamples = 0x25042012,
};

// AsioTimeInfo::flags.
enum : AsioULong {
  kSystemTimeValid = 1,
  kSamplePositionValid = 1 << 1,
  kSampleRateValid = 1 << 2,
  kSpeedValid = 1 << 3,
  kSampleRateChanged = 1 << 4,
  kClockSourceChanged = 1 << 5,
};

// ASIOTimeCode::flags.
enum : AsioULong {
  kTcValid = 1,
  kTcRunning = 1 << 1,
  kTcReverse = 1 << 2,
  kTcOnspeed = 1 << 3,
  kTcStill = 1 << 4,
  kTcSpeedValid = 1 << 8,
};

// ASIOIoFormat::FormatType.
enum ASIOIoFormatType : int32_t {
  kASIOFormatInvalid = -1,
  kASIOPCMFormat = 0,
  kASIODSDFormat = 1,
};
