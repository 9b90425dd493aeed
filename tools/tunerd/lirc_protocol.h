// The LIRC daemon's socket protocol as tunerd serves it, as pure functions: a request line is
// taken apart into its command and words, and every answer is a reply packet
//   BEGIN / the command as received / SUCCESS or ERROR / [DATA / n / n lines] / END.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tuner/channel_text.h"

namespace tunerd {

// Longest request line taken, line feed included; a longer one ends the connection.
constexpr std::size_t kMaxRequestLength = 1024;
// The most keys one request presses: SEND_ONCE's buttons times its count, or TUNE's channel
// with its recipe's keys, so that nobody waits long behind one request.
constexpr int kMaxPresses = 10;
// The longest channel TUNE takes: as many digits as a recipe pads to at the most.
constexpr int kMaxChannelDigits = 8;

struct Request {
  std::string line;                // as received, without its line feed: the reply's echo
  std::string command;             // the first word, in capitals
  std::vector<std::string> words;  // the words after it (a final carriage return is no word)
  bool hasNul = false;             // a NUL byte in the line: no request at all
};

Request parseRequest(const std::string& line);

// Names of remotes and buttons compare as lircd compares them: without regard to case.
bool sameIgnoringCase(const std::string& a, const std::string& b);

std::string reply(const std::string& line, bool success, const std::vector<std::string>& data = {});

// The key number a button presses: KEY_0 ... KEY_9, KEY_NUMERIC_0 ... KEY_NUMERIC_9 and the bare
// digits press the digit keys (0 is key 10); KEY_1 ... KEY_255 and KEY#1 ... KEY#255 press that
// key number. Case does not matter.
std::optional<int> buttonKey(const std::string& button);

// The buttons LIST names for a remote: the ten digit keys.
std::vector<std::string> digitButtons();

// A channel as TUNE takes it: a whole number from 1, or a sub-channel ("4.1", "7-1"), each part
// of at most kMaxChannelDigits digits.
bool parseChannel(const std::string& text, tuner::Channel& channel);

// A key as LIST shows it, in lircd's two fields: "000000000000000a KEY_0".
std::string listedButton(int key, const std::string& name);

// SEND_ONCE remote button... [count]: the remote, the buttons' keys and the count, or the
// sentence that says what is wrong.
struct SendOnce {
  std::string remote;
  std::vector<int> keys;  // each pressed count times, in order
  int count = 1;
  std::string problem;
};
// Buttons are looked up in named (the remote's own names, in capitals) before the built-in ones.
SendOnce parseSendOnce(const Request& request, const std::map<std::string, int>& named = {});

}  // namespace tunerd
