// A blaster's port held open: opened by name, set up at 19200 8-N-1 and probed, then used for
// keys until it is closed, which happens on every way out. A holder may keep it between
// requests and open it again after a failure.
#pragma once

#include "blaster/blaster_link.h"
#include "blaster/port_setup.h"

namespace tuner {

class OpenBlaster {
 public:
  explicit OpenBlaster(const BlasterLink& link) : link_(link) {}
  ~OpenBlaster() { close(); }
  OpenBlaster(const OpenBlaster&) = delete;
  OpenBlaster& operator=(const OpenBlaster&) = delete;

  // Opens, sets up and probes the named port, closing any port held before; false, with
  // problem() telling which step failed, when no blaster can be used there.
  bool open(const char* portName);
  bool isOpen() const { return hndl_ != kInvalidPort; }
  const PortProblem& problem() const { return problem_; }

  // One key with its settle time; false when the blaster did not acknowledge it.
  bool press(int key, int ueitype, int ueicode);

  // Lets other programs take the port while it stays open here, unused.
  void release();
  // Takes the port back for keys after release(), opening it if it is not open. Where another
  // program had it meanwhile, the port is opened afresh (waiting its turn as open() does) and
  // probed again; else what came in unasked is dropped. False, as open(), when it cannot be used.
  bool reclaim(const char* portName);

  // Waits, as a box that needs more time between keys wants.
  void pause(unsigned milliseconds) { link_.serial.sleep(milliseconds); }

  void close();

 private:
  BlasterLink link_;
  PortHandle hndl_ = kInvalidPort;
  PortProblem problem_;
};

}  // namespace tuner
