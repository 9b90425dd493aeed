// The remotes file: each remote a header line "name carrier_freq bit_time", then one line per
// command "name bit_length flag hh hh ..." with each further pattern on a line that begins with a
// space, and an empty line to end the remote.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

#include "log/diagnostic_log.h"
#include "remotes/records.h"
#include "remotes/save_files.h"

namespace tuner {

// The device name a remotes file stands for: its last component (after the last backslash) less
// its last three characters; empty when that is shorter than three. Cut to fit capacity - 1.
std::string deviceNameFromPath(const char* path, std::size_t capacity);

// The whole text SaveRemotes writes for a list.
std::string formatRemotes(const Remote* first);

// Writes the list to path, replacing the file only once the whole list is on stable storage; a
// read-only file is kept. Returns whether the file now holds the list.
bool SaveRemotes(const DiagnosticLog& log, const Remote* first, const char* path, SaveFiles& files);

// LoadRemotes reads only a regular file of at most this many bytes, and skips a line longer
// than kMaxRemotesLineLength (a pattern line of some 21,000 bytes).
constexpr std::size_t kMaxRemotesFileSize = 16 * 1024 * 1024;
constexpr std::size_t kMaxRemotesLineLength = 64 * 1024;

// Reads the regular file at path (created empty when missing, never through a link) into a new
// list, and records the device name in devName (devNameCapacity bytes). Returns the first remote,
// or null.
Remote* LoadRemotes(const DiagnosticLog& log, const char* path, char* devName,
                    std::size_t devNameCapacity);

// Parses an open remotes file into a new list; null when it holds none or the heap ran out.
Remote* readRemotes(const DiagnosticLog& log, std::FILE* file);

}  // namespace tuner
