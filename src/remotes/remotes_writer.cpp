#include <cstdio>

#include "remotes/file_replace.h"
#include "remotes/remotes_file.h"

namespace tuner {
namespace {

void appendFormatted(std::string& out, const char* format, unsigned long value) {
  char field[32];
  const int length = std::snprintf(field, sizeof field, format, value);
  if (length > 0) out.append(field, static_cast<std::size_t>(length));
}

void appendPattern(std::string& out, const Pattern& pattern) {
  appendFormatted(out, " %lu", pattern.bit_length);
  out += ' ';
  out += pattern.r_flag;
  static const char kHexDigits[] = "0123456789abcdef";
  for (std::uint32_t i = 0; i < pattern.length; ++i) {
    out += ' ';
    out += kHexDigits[pattern.bytes[i] >> 4];
    out += kHexDigits[pattern.bytes[i] & 0x0F];
  }
  out += '\n';
}

}  // namespace

std::string formatRemotes(const Remote* first) {
  std::string out;
  for (const Remote* remote = first; remote != nullptr; remote = remote->next) {
    out += remote->name != nullptr ? remote->name : "";
    appendFormatted(out, " %lu", remote->carrier_freq);
    appendFormatted(out, " %lu\n", remote->bit_time);
    for (const Command* command = remote->commands; command != nullptr; command = command->next) {
      out += command->name != nullptr ? command->name : "";
      // A command without patterns still gets a line of its own.
      if (command->patterns == nullptr) out += '\n';
      for (const Pattern* pattern = command->patterns; pattern != nullptr;
           pattern = pattern->next) {
        appendPattern(out, *pattern);
      }
    }
    out += '\n';
  }
  return out;
}

bool SaveRemotes(const DiagnosticLog& log, const Remote* first, const char* path) {
  LogMessage(log, "SaveRemotes:Start\n");
  if (path == nullptr) return false;
  const std::string text = formatRemotes(first);
  const std::string temporary = std::string(path) + ".tmp";
  std::FILE* file = std::fopen(temporary.c_str(), "wt");
  if (file == nullptr) {
    LogMessage(log, "SaveRemotes:Err: cannot write [%s], file left as it was\n", path);
    return false;
  }
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  const bool flushed = std::fflush(file) == 0 && std::ferror(file) == 0;
  const bool closed = std::fclose(file) == 0;
  if (!(written && flushed && closed) || !replaceFile(temporary.c_str(), path)) {
    std::remove(temporary.c_str());
    LogMessage(log, "SaveRemotes:Err: cannot write [%s], file left as it was\n", path);
    return false;
  }
  return true;
}

}  // namespace tuner
