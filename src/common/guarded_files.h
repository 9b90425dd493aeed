// Opening files in folders that others may write: no link is followed where that could reach
// someone else's file, nothing blocks, and only regular files are read or written. One backend
// per platform, chosen at link time.
#pragma once

#include <cstdint>
#include <cstdio>

namespace tuner {

// What stands at the trace's path, as this caller sees it.
enum class TraceState {
  kAbsent,       // the trace is off
  kWritable,     // it is written
  kLink,         // a symbolic link: never written through
  kNotRegular,   // a folder, a pipe, a device
  kHardLinked,   // more than one name: never written
  kNotRootsOwn,  // the caller is root and root does not own it
  kNotWritable,  // this user may not write it
};

// The trace at path, open for appending in text mode, or null with the reason (kAbsent when
// there is none).
std::FILE* openTrace(const char* path, TraceState& state);

// Empties an open file; its next write goes to its start.
bool emptyOpenFile(std::FILE* file);

enum class ReadOpen {
  kOpened,
  kCreated,       // it did not exist: made empty, and opened
  kCannotOpen,    // it exists and cannot be read, or did not exist and create was not asked
  kCannotCreate,  // it did not exist and could not be made (a dangling link stands there, say)
  kNotRegular,    // a folder, a pipe, a device
  kTooLarge,      // larger than maxSize bytes
};

// A regular file of at most maxSize bytes, open for reading in binary. With create, a file that
// does not exist is made empty, never through a link.
std::FILE* openForReading(const char* path, bool create, std::uint64_t maxSize, ReadOpen& outcome);

}  // namespace tuner
