// `tunerctl try` and `tunerctl search`: finding the code set a set-top box answers to, with the
// plug-in's own port set-up, probe and key exchange.
#pragma once

#include <ostream>
#include <string>

#include "blaster/blaster_protocol.h"

struct CodeSearch {
  std::string port;  // as tuner.txt names it
  int ueitype = 0;
  int from = 0;  // for try, the one code tried
  int to = tuner::protocol::kMaxUeiCode;
  int key = 1;  // the key pressed with each code set
  bool verbose = false;
};

// Sends one key with code set ueitype,from. Returns 0 when the blaster acknowledged it, else 1.
int tryCodeSet(const CodeSearch& search, std::ostream& out, std::ostream& err);

// Steps through the code sets, then narrows down to the one the user confirms. Returns 0 when
// one was confirmed, 1 when none was (range exhausted, stopped, blaster lost).
int searchCodeSets(const CodeSearch& search, std::ostream& out, std::ostream& err);
