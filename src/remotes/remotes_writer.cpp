#include <cstdio>
#include <filesystem>
#include <new>
#include <system_error>
#include "common/hex_digits.h"

#include "remotes/list_walk.h"
#include "remotes/remotes_file.h"
#include "remotes/save_files.h"

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
  for (std::uint32_t i = 0; i < pattern.length; ++i) {
    out += ' ';
    appendHexByte(out, pattern.bytes[i]);
  }
  out += '\n';
}

}  // namespace

std::string formatRemotes(const Remote* first) {
  std::string out;
  // A host's list that loops back on itself is written up to the element that closes the loop.
  walkList(first, [&](const Remote* remote) {
    out += remote->name != nullptr ? remote->name : "";
    appendFormatted(out, " %lu", remote->carrier_freq);
    appendFormatted(out, " %lu\n", remote->bit_time);
    walkList(static_cast<const Command*>(remote->commands), [&](const Command* command) {
      out += command->name != nullptr ? command->name : "";
      // A command without patterns still gets a line of its own.
      if (command->patterns == nullptr) out += '\n';
      walkList(static_cast<const Pattern*>(command->patterns),
               [&](const Pattern* pattern) { appendPattern(out, *pattern); });
    });
    out += '\n';
  });
  return out;
}

namespace {

// Temporaries of earlier saves that never finished (the host was killed, the power cut).
void removeStaleTemporaries(const std::string& target, SaveFiles& files) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path targetPath(target);
  const std::string prefix = targetPath.filename().string() + kTemporaryMark;
  const fs::path directory = targetPath.has_parent_path() ? targetPath.parent_path() : ".";
  for (fs::directory_iterator entry(directory, error), end; !error && entry != end;
       entry.increment(error)) {
    const std::string name = entry->path().filename().string();
    const std::size_t endLength = sizeof kTemporaryEnd - 1;
    if (name.size() > prefix.size() + endLength && name.compare(0, prefix.size(), prefix) == 0 &&
        name.compare(name.size() - endLength, endLength, kTemporaryEnd) == 0) {
      files.remove(entry->path().string());
    }
  }
}

bool cannotWrite(const DiagnosticLog& log, const char* path) {
  LogMessage(log, "SaveRemotes:Err: cannot write [%s], file left as it was\n", path);
  return false;
}

}  // namespace

bool SaveRemotes(const DiagnosticLog& log, const Remote* first, const char* path,
                 SaveFiles& files) {
  LogMessage(log, "SaveRemotes:Start\n");
  if (path == nullptr) return false;
  std::string text;
  std::string target;
  try {
    text = formatRemotes(first);
    target = files.finalTarget(path);
  } catch (const std::bad_alloc&) {
    LogMessage(log, "SaveRemotes:Err: out of memory, [%s] left as it was\n", path);
    return false;
  }
  if (!files.mayReplace(target)) return cannotWrite(log, path);
  std::string temporary;
  std::FILE* file = files.createTemporary(target, temporary);
  if (file == nullptr) return cannotWrite(log, path);
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size() &&
                       std::fflush(file) == 0 && std::ferror(file) == 0;
  const bool durable = written && files.makeDurable(file, target);
  const bool closed = std::fclose(file) == 0;
  if (!(durable && closed) || !files.replace(temporary, target)) {
    files.remove(temporary);
    return cannotWrite(log, path);
  }
  removeStaleTemporaries(target, files);
  return true;
}

}  // namespace tuner
