#include "tuner/channel_map.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

#include "common/ascii_case.h"
#include "common/text_lines.h"

namespace tuner {
namespace {

constexpr std::uint64_t kMaxChannelFileSize = 1024 * 1024;

bool isSpace(char c) { return c == ' ' || c == '\t'; }

bool sameChannel(const Channel& a, const Channel& b) {
  return a.major == b.major && a.minor == b.minor;
}

// Words from the first given on, one space apart: a name as a line writes it.
std::string joined(const std::vector<std::string_view>& words, std::size_t from = 0) {
  std::string text;
  for (std::size_t i = from; i < words.size(); ++i) {
    text += (text.empty() ? "" : " ") + std::string(words[i]);
  }
  return text;
}

void parseChannelLine(int number, const std::string& text, ChannelEntry& entry) {
  entry = ChannelEntry{};
  entry.line = number;
  const std::size_t first = text.find_first_not_of(" \t");
  entry.comment = first == std::string::npos || text[first] == '#' || text[first] == ';';
  if (entry.comment) return;
  const std::size_t equals = text.find('=');
  if (equals == std::string::npos) {
    entry.problem = "no \"=\" after the tuner name";
    return;
  }
  entry.tuner = text.substr(0, equals);
  const auto words = splitWords(std::string_view(text).substr(equals + 1), isSpace);
  if (words.empty()) {
    entry.problem = "no channel after the \"=\"";
    return;
  }
  if (!readChannel(std::string(words[0]), entry.channel)) {
    entry.problem = "\"" + std::string(words[0]) + "\" is no channel";
    return;
  }
  std::size_t next = 1;
  entry.box = entry.channel;
  if (next < words.size() && sameIgnoringCase(std::string(words[next]), "as")) {
    if (next + 1 >= words.size() || !readChannel(std::string(words[next + 1]), entry.box)) {
      entry.problem = next + 1 >= words.size()
                          ? "no box channel after \"as\""
                          : "box channel \"" + std::string(words[next + 1]) + "\" is no channel";
      return;
    }
    entry.boxGiven = true;
    next += 2;
  }
  entry.name = joined(words, next);
}

}  // namespace

bool walkChannelFile(const std::string& path,
                     const std::function<bool(const ChannelEntry&)>& visit) {
  ChannelEntry entry;
  return walkTextFile(path, kMaxChannelFileSize, [&](int number, const std::string& text) {
    parseChannelLine(number, text, entry);
    return visit(entry);
  });
}

std::vector<ChannelEntry> channelsOf(const std::string& path, const std::string& tuner,
                                     bool anyCase) {
  std::vector<ChannelEntry> exact;
  std::vector<ChannelEntry> folded;  // of the first name of another case
  std::string foldedName;
  walkChannelFile(path, [&](const ChannelEntry& entry) {
    if (entry.comment || !entry.problem.empty()) return true;
    std::vector<ChannelEntry>* into = nullptr;
    if (entry.tuner == tuner) {
      into = &exact;
    } else if (anyCase && sameIgnoringCase(entry.tuner, tuner) &&
               (foldedName.empty() || foldedName == entry.tuner)) {
      foldedName = entry.tuner;
      into = &folded;
    }
    const bool fresh = into != nullptr &&
                       std::none_of(into->begin(), into->end(), [&](const ChannelEntry& earlier) {
                         return sameChannel(earlier.channel, entry.channel);
                       });
    if (fresh) into->push_back(entry);
    return true;
  });
  return exact.empty() ? folded : exact;
}

AskedChannel resolveChannel(const std::string& path, const std::string& tuner, bool anyCase,
                            const Channel& channel) {
  AskedChannel resolved;
  resolved.sent = resolved.asked = channel;
  if (path.empty()) return resolved;
  for (const ChannelEntry& entry : channelsOf(path, tuner, anyCase)) {
    if (!sameChannel(entry.channel, channel)) continue;
    resolved.sent = entry.box;
    resolved.mapped = true;
    resolved.named = channelText(channel);
    break;
  }
  return resolved;
}

bool resolveChannel(const std::string& path, const std::string& tuner, bool anyCase,
                    const std::string& text, AskedChannel& resolved) {
  Channel channel;
  if (readChannel(text, channel)) {
    resolved = resolveChannel(path, tuner, anyCase, channel);
    return true;
  }
  if (path.empty()) return false;
  const std::string name = joined(splitWords(text, isSpace));
  for (const ChannelEntry& entry : channelsOf(path, tuner, anyCase)) {
    if (entry.name.empty() || !sameIgnoringCase(entry.name, name)) continue;
    resolved.sent = entry.box;
    resolved.asked = entry.channel;
    resolved.mapped = true;
    resolved.named = entry.name;
    return true;
  }
  return false;
}

}  // namespace tuner
