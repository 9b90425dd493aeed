// The device a port name opens on POSIX systems: /dev/<name>, or a path under /dev given whole;
// never a path that leaves /dev.
#pragma once

#include <string>

namespace tuner {

// The path, or empty for a name that would leave /dev.
std::string devicePath(const std::string& name);

}  // namespace tuner
