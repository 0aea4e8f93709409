#include "simdriver/SimFaultInjector.h"

void SimFaultInjector::add(uint32_t code, DravikStatus status, int times, SimHandleId handle) {
  if (times == 0 || times < SIM_FAULT_ALWAYS) return;
  faults_.push_back(Fault{code, handle, status, times});
}

void SimFaultInjector::clear(uint32_t code) {
  if (code == 0) {
    faults_.clear();
    return;
  }
  for (size_t i = faults_.size(); i-- > 0;)
    if (faults_[i].code == code) faults_.erase(faults_.begin() + static_cast<std::ptrdiff_t>(i));
}

bool SimFaultInjector::take(uint32_t code, SimHandleId handle, DravikStatus& status) {
  for (size_t i = 0; i < faults_.size(); ++i) {
    Fault& f = faults_[i];
    if (f.code != code || (f.handle != SIM_NO_HANDLE && f.handle != handle)) continue;
    status = f.status;
    if (f.remaining > 0 && --f.remaining == 0) faults_.erase(faults_.begin() + static_cast<std::ptrdiff_t>(i));
    return true;
  }
  return false;
}
