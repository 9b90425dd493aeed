#include "blaster/open_blaster.h"

namespace tuner {

bool OpenBlaster::open(const char* portName) {
  close();
  return detectComPortHandle(link_, portName, hndl_, &problem_) == 1;
}

bool OpenBlaster::press(int key, int ueitype, int ueicode) {
  return isOpen() && Emit(link_, hndl_, key, ueitype, ueicode) == 1;
}

void OpenBlaster::release() {
  if (isOpen()) link_.serial.unlock(hndl_);
}

bool OpenBlaster::reclaim(const char* portName) {
  if (!isOpen() || !link_.serial.lock(hndl_)) return open(portName);
  link_.serial.discardInput(hndl_);
  return true;
}

void OpenBlaster::close() {
  if (hndl_ != kInvalidPort) link_.serial.close(hndl_);
  hndl_ = kInvalidPort;
}

}  // namespace tuner
