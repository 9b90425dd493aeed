// Buttons of the user's own naming: buttons.txt beside the tuner file gives a remote's other keys
// names, one line per remote, "Living.=KEY_ENTER 11 KEY_EXIT 12" (the numbers are the blaster's
// key numbers, which `tunerctl try PORT TYPE,CODE KEY` finds one at a time).
#pragma once

#include <map>
#include <string>

namespace tunerd {

// The named buttons of remote, in capitals, with their key numbers; pairs that are not a name
// and a key number from 1 to 255 are left out.
std::map<std::string, int> namedButtons(const std::string& path, const std::string& remote);

}  // namespace tunerd
