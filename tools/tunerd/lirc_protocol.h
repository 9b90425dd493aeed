// The LIRC daemon's socket protocol as tunerd serves it, as pure functions: a request line is
// taken apart into its command and words, and every answer is a reply packet
//   BEGIN / the command as received / SUCCESS or ERROR / [DATA / n / n lines] / END.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tuner/request_limits.h"

namespace tunerd {

struct Request {
  std::string line;                // as received, without its line feed: the reply's echo
  std::string command;             // the first word, in capitals
  std::vector<std::string> words;  // the words after it (a final carriage return is no word)
  bool hasNul = false;             // a NUL byte in the line: no request at all
};

Request parseRequest(const std::string& line);

std::string reply(const std::string& line, bool success, const std::vector<std::string>& data = {});

// The key number a button presses: KEY_0 ... KEY_9, KEY_NUMERIC_0 ... KEY_NUMERIC_9 and the bare
// digits press the digit keys (0 is key 10); KEY_1 ... KEY_255 and KEY#1 ... KEY#255 press that
// key number. Case does not matter.
std::optional<int> buttonKey(const std::string& button);

// The buttons LIST names for a remote: the ten digit keys.
std::vector<std::string> digitButtons();

// A key as LIST shows it, in lircd's two fields: "000000000000000a KEY_0".
std::string listedButton(int key, const std::string& name);

// SEND_ONCE remote button... [count]: the remote, the buttons' keys and the count, or the
// sentence that says what is wrong.
struct SendOnce {
  std::string remote;
  std::vector<int> keys;  // each pressed count times, in order
  int count = 1;
  std::string problem;
  std::string unknownButton;  // the problem is this button, which the remote has not
};
// A button of a remote: one of named (the remote's own names, in capitals) before the built-in
// ones.
std::optional<int> remoteButtonKey(const std::string& button,
                                   const std::map<std::string, int>& named);

// Buttons are looked up as remoteButtonKey looks them up.
SendOnce parseSendOnce(const Request& request, const std::map<std::string, int>& named = {});

}  // namespace tunerd
