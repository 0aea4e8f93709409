#include "tools/asiohost/AsioErrorCounterReader.h"

#include "driverapi/DravikIoctl.h"

DravikStatus AsioErrorCounterReader::open() {
  if (open_) return DRAVIK_STATUS_SUCCESS;
  if (DravikStatus s = driver_.openDriver(DRAVIK_DEVICE_NAME, false, false)) return s;
  open_ = true;
  return DRAVIK_STATUS_SUCCESS;
}

DravikStatus AsioErrorCounterReader::readAsioErrors(uint32_t& out) {
  out = 0;
  if (!open_) return DRAVIK_STATUS_FAILED;
  DravikErrorCounters counters{};
  if (DravikStatus s = driver_.getErrorCounters(counters)) return s;
  out = counters.asioErrors;
  return DRAVIK_STATUS_SUCCESS;
}
