// The LIRC daemon's socket protocol as tunerd serves it, as pure functions: a request line is
// taken apart into its command and words, and every answer is a reply packet
//   BEGIN / the command as received / SUCCESS or ERROR / [DATA / n / n lines] / END.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tunerd {

// Longest request line taken, line feed included; a longer one ends the connection.
constexpr std::size_t kMaxRequestLength = 1024;
// SEND_ONCE's repeat count: a key is pressed that many times in all, at most this many.
constexpr int kMaxRepeats = 20;

struct Request {
  std::string line;                // as received, without its line end
  std::string command;             // the first word, in capitals
  std::vector<std::string> words;  // the words after it
};

Request parseRequest(const std::string& line);

std::string reply(const std::string& line, bool success, const std::vector<std::string>& data = {});

// The key number a button presses: KEY_0 ... KEY_9, KEY_NUMERIC_0 ... KEY_NUMERIC_9 and the bare
// digits press the digit keys (0 is key 10); KEY_1 ... KEY_255 and KEY#1 ... KEY#255 press that
// key number. Case does not matter.
std::optional<int> buttonKey(const std::string& button);

// The buttons LIST names for a remote: the ten digit keys.
std::vector<std::string> digitButtons();

// A channel as TUNE takes it: a whole number from 1 to 2147483647.
bool parseChannel(const std::string& text, int& channel);

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
