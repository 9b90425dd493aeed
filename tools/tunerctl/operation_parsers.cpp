// How each operation takes its words from the command line; the table of operations names the
// one of each.
#include "operation_parsers.h"

#include <climits>
#include <cstddef>
#include <utility>

#include "blaster/blaster_protocol.h"
#include "host_files.h"
#include "operations.h"
#include "tuner/channel_text.h"

namespace {

using tuner::protocol::kMaxKey;
using tuner::protocol::kMaxUeiCode;
using tuner::protocol::kMaxUeiType;
using tuner::protocol::kMinKey;

// Exactly count words that are not operations.
bool takeWords(const std::vector<std::string>& args, std::size_t& next, Operation& op,
               std::string& error, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    if (next >= args.size() || isOperation(args[next])) {
      error = op.name + ": " + std::to_string(count) + " argument" + (count == 1 ? "" : "s") +
              " needed";
      return false;
    }
    op.args.push_back(args[next++]);
  }
  return true;
}

}  // namespace

bool takeNothing(const std::vector<std::string>&, std::size_t&, Operation&, std::string&) {
  return true;
}

bool takePath(const std::vector<std::string>& args, std::size_t& next, Operation& op,
              std::string& error) {
  return takeWords(args, next, op, error, 1);
}

bool takeLoad(const std::vector<std::string>& args, std::size_t& next, Operation& op,
              std::string& error) {
  op.namesTuner = true;
  return takeWords(args, next, op, error, 1);
}

bool takePlay(const std::vector<std::string>& args, std::size_t& next, Operation& op,
              std::string& error) {
  return takeWords(args, next, op, error, 2);
}

bool takeOpen(const std::vector<std::string>& args, std::size_t& next, Operation& op,
              std::string& error) {
  if (!takeWords(args, next, op, error, 1)) return false;
  if (!tuner::parseWholeNumber(op.args[0], INT_MIN, INT_MAX, op.number)) {
    error = "open: port \"" + op.args[0] + "\" is not a whole number";
    return false;
  }
  return true;
}

bool takeFind(const std::vector<std::string>& args, std::size_t& next, Operation& op,
              std::string&) {
  while (next < args.size() && !isOperation(args[next])) op.args.push_back(args[next++]);
  return true;
}

// check [--probe] [PATH]: a path is any word that is not the next operation.
bool takeCheck(const std::vector<std::string>& args, std::size_t& next, Operation& op,
               std::string& error) {
  while (next < args.size() && !isOperation(args[next])) {
    const std::string& word = args[next++];
    if (word == "--probe") {
      op.args.push_back(word);
    } else if (!word.empty() && word[0] == '-') {
      error = "check: unknown option " + word;
      return false;
    } else if (op.args.empty() || op.args.back() == "--probe") {
      op.args.push_back(word);
    } else {
      error = "check: more than one path (" + word + ")";
      return false;
    }
  }
  return true;
}

// tune [--tuner NAME] [--digits N] [--before KEY] [--enter KEY] [--pause MS] CHANNEL, the
// options in any order.
bool takeTune(const std::vector<std::string>& args, std::size_t& next, Operation& op,
              std::string& error) {
  const std::pair<const char*, int*> settings[] = {{"digits", &op.recipe.digits},
                                                   {"before", &op.recipe.before},
                                                   {"enter", &op.recipe.enter},
                                                   {"pause", &op.recipe.pauseMs},
                                                   {"repeat", &op.recipe.repeatMs}};
  while (next < args.size() && args[next].compare(0, 2, "--") == 0) {
    const std::string option = args[next];
    if (next + 1 >= args.size()) {
      error = "tune: " + option + " needs a value";
      return false;
    }
    const std::string& value = args[next + 1];
    next += 2;
    if (option == "--tuner" && op.args.empty()) {
      op.args.push_back(value);
      continue;
    }
    int* setting = nullptr;
    for (const auto& [name, field] : settings) {
      if (option == std::string("--") + name && *field == tuner::kNotGiven) setting = field;
    }
    if (setting == nullptr) {
      error = "tune: unknown or repeated option " + option;
      return false;
    }
    int number = 0;
    if (!tuner::parseWholeNumber(value, INT_MIN, INT_MAX, number)) {
      error = "tune: " + option + " \"" + value + "\" is not a whole number";
      return false;
    }
    const std::string problem = tuner::settingProblem(option.c_str() + 2, number);
    if (!problem.empty()) {
      error = "tune: " + problem;
      return false;
    }
    *setting = number;
  }
  if (!op.args.empty() && !usableFileName(op.args[0])) {
    error = "tune: tuner name \"" + op.args[0] +
            "\" cannot be a file name (no / \\ : * ? \" < > | or control characters)";
    return false;
  }
  op.needsLoadedTuner = op.args.empty();
  if (next >= args.size() || isOperation(args[next])) {
    error = "tune: channel missing";
    return false;
  }
  const std::string& channel = args[next++];
  // Text that is no channel goes to the plug-in too, which says why in the words every other
  // way in says it.
  tuner::Channel read;
  if (!tuner::readChannel(channel, read) || !read.minor.empty()) op.channel = channel;
  op.number = read.major;
  return true;
}

// try PORT TYPE,CODE [KEY]
bool takeTry(const std::vector<std::string>& args, std::size_t& next, Operation& op,
             std::string& error) {
  if (next + 1 >= args.size() || isOperation(args[next]) || isOperation(args[next + 1])) {
    error = "try: a port and a code set TYPE,CODE needed";
    return false;
  }
  op.args.push_back(args[next++]);
  if (!tuner::protocol::parseCodeSet(args[next], op.ueitype, op.from)) {
    error = "try: code set \"" + args[next] + "\" is not TYPE,CODE (TYPE 0 to " +
            std::to_string(kMaxUeiType) + ", CODE 0 to " + std::to_string(kMaxUeiCode) + ")";
    return false;
  }
  ++next;
  if (next < args.size() && !isOperation(args[next])) {
    if (!tuner::parseWholeNumber(args[next], kMinKey, kMaxKey, op.key)) {
      error = "try: key \"" + args[next] + "\" is not a key number from " +
              std::to_string(kMinKey) + " to " + std::to_string(kMaxKey);
      return false;
    }
    ++next;
  }
  return true;
}

// search PORT --type TYPE [--from CODE] [--to CODE] [--key KEY] [--verbose]
bool takeSearch(const std::vector<std::string>& args, std::size_t& next, Operation& op,
                std::string& error) {
  if (next >= args.size() || isOperation(args[next]) || args[next].rfind("--", 0) == 0) {
    error = "search: a port needed";
    return false;
  }
  op.args.push_back(args[next++]);
  bool typed = false;
  struct NumberOption {
    const char* name;
    int* value;
    long long low;
    long long high;
  };
  const NumberOption options[] = {{"--type", &op.ueitype, 0, kMaxUeiType},
                                  {"--from", &op.from, 0, kMaxUeiCode},
                                  {"--to", &op.to, 0, kMaxUeiCode},
                                  {"--key", &op.key, kMinKey, kMaxKey}};
  while (next < args.size() && !isOperation(args[next])) {
    const std::string word = args[next++];
    if (word == "--verbose") {
      op.verbose = true;
      continue;
    }
    const NumberOption* option = nullptr;
    for (const NumberOption& candidate : options) {
      if (word == candidate.name) option = &candidate;
    }
    if (option == nullptr) {
      error = "search: unknown option " + word;
      return false;
    }
    if (next >= args.size() ||
        !tuner::parseWholeNumber(args[next], option->low, option->high, *option->value)) {
      error = "search: " + word + " needs a whole number from " + std::to_string(option->low) +
              " to " + std::to_string(option->high);
      return false;
    }
    ++next;
    typed = typed || option->value == &op.ueitype;
  }
  if (!typed) {
    error = "search: --type TYPE needed (the blaster's code-set type, 0 to " +
            std::to_string(kMaxUeiType) + ")";
    return false;
  }
  if (op.from > op.to) {
    error = "search: --from " + std::to_string(op.from) + " is above --to " + std::to_string(op.to);
    return false;
  }
  return true;
}
