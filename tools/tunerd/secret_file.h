// A secret given in a file (the broker's password, the web API's token): the file's first line.
// Only a regular file of at most kMaxSecretFile bytes is read, so that a FIFO or a device named
// by mistake never holds tunerd's start; the secret itself never appears in a message.
#pragma once

#include "service_limits.h"

#include <string>

namespace tunerd {

// False, with why in problem (a sentence that names option and path), when the file cannot be
// read or its first line is empty.
bool readSecretFile(const char* option, const std::string& path, std::string& secret,
                    std::string& problem);

}  // namespace tunerd
