// Guarded opens over Windows: the file is opened once by handle (never through a reparse point
// for the trace) and judged on that handle before the C runtime gets it.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdint>

#include "common/guarded_files.h"
#include "common/open_file.h"

namespace tuner {
namespace {

bool isDiskFile(HANDLE handle, BY_HANDLE_FILE_INFORMATION& info) {
  return GetFileType(handle) == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &info) != 0 &&
         (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::FILE* streamOf(HANDLE handle, int flags, const char* mode) {
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags);
  if (fd < 0) {
    CloseHandle(handle);
    return nullptr;
  }
  std::FILE* file = _fdopen(fd, mode);
  if (file == nullptr) _close(fd);
  return file;
}

TraceState unopenedTraceState(const char* path, DWORD error) {
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return TraceState::kAbsent;
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return TraceState::kLink;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return TraceState::kNotRegular;
  return error == ERROR_ACCESS_DENIED ? TraceState::kNotWritable : TraceState::kAbsent;
}

}  // namespace

std::FILE* openTrace(const char* path, TraceState& state) {
  state = TraceState::kAbsent;
  if (!roomToOpenStream()) return nullptr;
  const HANDLE handle = CreateFileA(
      path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    state = unopenedTraceState(path, GetLastError());
    return nullptr;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!isDiskFile(handle, info)) {
    state = TraceState::kNotRegular;
  } else if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    state = TraceState::kLink;
  } else if (info.nNumberOfLinks != 1) {
    state = TraceState::kHardLinked;
  } else {
    state = TraceState::kWritable;
  }
  if (state != TraceState::kWritable) {
    CloseHandle(handle);
    return nullptr;
  }
  std::FILE* file = streamOf(handle, _O_APPEND | _O_TEXT, "a");
  if (file == nullptr) state = TraceState::kAbsent;
  return file;
}

bool emptyOpenFile(std::FILE* file) {
  return std::fflush(file) == 0 && _chsize(_fileno(file), 0) == 0;
}

std::FILE* openForReading(const char* path, bool create, std::uint64_t maxSize, ReadOpen& outcome) {
  outcome = ReadOpen::kCannotOpen;
  if (!roomToOpenStream()) return nullptr;
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
  HANDLE handle = CreateFileA(path, GENERIC_READ, share, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  outcome = ReadOpen::kOpened;
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      outcome = ReadOpen::kNotRegular;
      return nullptr;
    }
    if (!create || (error != ERROR_FILE_NOT_FOUND)) {
      outcome = ReadOpen::kCannotOpen;
      return nullptr;
    }
    handle =
        CreateFileA(path, GENERIC_READ, share, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    outcome = handle == INVALID_HANDLE_VALUE ? ReadOpen::kCannotCreate : ReadOpen::kCreated;
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!isDiskFile(handle, info)) {
    outcome = ReadOpen::kNotRegular;
  } else if ((static_cast<std::uint64_t>(info.nFileSizeHigh) << 32 | info.nFileSizeLow) > maxSize) {
    outcome = ReadOpen::kTooLarge;
  }
  if (outcome != ReadOpen::kOpened && outcome != ReadOpen::kCreated) {
    CloseHandle(handle);
    return nullptr;
  }
  std::FILE* file = streamOf(handle, _O_RDONLY | _O_BINARY, "rb");
  if (file == nullptr) outcome = ReadOpen::kCannotOpen;
  return file;
}

}  // namespace tuner
