// One request of one connection, answered as lircd answers it: SEND_ONCE, LIST, VERSION and
// tunerd's own TUNE remote channel; every ERROR says why in the plug-in's own sentences.
#pragma once

#include <string>

#include "service.h"

namespace tunerd {

struct Answer {
  std::string reply;  // the whole reply packet
  bool success = false;
  std::string summary;  // the sentence of an ERROR, for the log
  bool close = false;   // the line was no request (an HTTP header, say): nothing more is read
};

Answer answer(Service& service, const std::string& line, const Client& client);

}  // namespace tunerd
