// Buttons of the user's own naming: buttons.txt beside the tuner file gives a remote's other keys
// names, one line per remote, "Living.=KEY_ENTER 11 KEY_EXIT 12" (the numbers are the blaster's
// key numbers, which `tunerctl try PORT TYPE,CODE KEY` finds one at a time). The first line of
// a remote counts.
#pragma once

#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace tuner {

struct NamedButton {
  std::string name;     // in capitals: names match without regard to case
  std::string written;  // as the line spells it, for people to read
  int key = 0;
};

struct ButtonLine {
  int number = 0;
  std::string remote;                 // empty: no "NAME=" at all
  std::vector<NamedButton> named;     // as given
  std::vector<std::string> problems;  // pairs left out, and why
};

// Visits each line that is not blank; visit returns false to stop.
void walkButtonLines(const std::string& path, const std::function<bool(const ButtonLine&)>& visit);

// The named buttons of remote with their key numbers; pairs that are not a name and a key
// number from 1 to 255 are left out.
// With anyCase, the remote's name matches as lircd matches remotes: a line spelt exactly so
// first, else the first whatever its case.
std::map<std::string, int> namedButtons(const std::string& path, const std::string& remote,
                                        bool anyCase = false);
// The same, in the line's order and spelling.
std::vector<NamedButton> buttonsAsWritten(const std::string& path, const std::string& remote,
                                          bool anyCase = false);

// A name in the words topics and Home Assistant's ids are made of ([a-z0-9_]): lower case, each
// run of other characters one "_", none at either end, 40 characters at most.
std::string slugOf(const std::string& name);

// The id a button is known by over MQTT: "key_enter" for KEY_ENTER (and for KEY-ENTER); a name of
// no letters or digits gets "button_" and a hash of it.
std::string buttonId(const std::string& name);

// The remote's buttons that get an id of their own, in order: one whose id an earlier button has
// is left out, with why in problems when given.
std::vector<NamedButton> buttonsWithIds(const std::vector<NamedButton>& named,
                                        std::vector<std::string>* problems = nullptr);

// buttons.txt in the folder of the tuner file.
std::string buttonsFileBeside(const std::string& tunerFile);

// Prints one diagnosis per line of the buttons file, if there is one; 0 when there is none or
// every line can be used, else 1.
int checkButtons(const std::string& buttonsFile, const std::string& tunerFile, std::ostream& out);

}  // namespace tuner
