// Guarded opens over POSIX: O_NOFOLLOW and O_NONBLOCK at the open, the rest judged on the open
// descriptor, so nothing can be swapped in between the check and the use.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "common/guarded_files.h"
#include "common/open_file.h"

namespace tuner {
namespace {

TraceState traceStateOf(const struct stat& file) {
  if (!S_ISREG(file.st_mode)) return TraceState::kNotRegular;
  if (file.st_nlink != 1) return TraceState::kHardLinked;
  if (geteuid() == 0 && file.st_uid != 0) return TraceState::kNotRootsOwn;
  return TraceState::kWritable;
}

TraceState unopenedTraceState(const char* path, int openError) {
  struct stat file {};
  if (lstat(path, &file) != 0) return TraceState::kAbsent;
  if (S_ISLNK(file.st_mode)) return TraceState::kLink;
  if (!S_ISREG(file.st_mode)) return TraceState::kNotRegular;
  return openError == EACCES || openError == EROFS || openError == EPERM ? TraceState::kNotWritable
                                                                         : TraceState::kAbsent;
}

// Back to blocking reads and writes once the file is known to be regular.
bool clearNonBlocking(int fd) {
  const int flags = fcntl(fd, F_GETFL);
  return flags >= 0 && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

std::FILE* streamOf(int fd, const char* mode) {
  std::FILE* file = clearNonBlocking(fd) ? fdopen(fd, mode) : nullptr;
  if (file == nullptr) ::close(fd);
  return file;
}

}  // namespace

std::FILE* openTrace(const char* path, TraceState& state) {
  if (!roomToOpenStream()) {
    state = TraceState::kAbsent;
    return nullptr;
  }
  const int fd = ::open(path, O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    state = unopenedTraceState(path, errno);
    return nullptr;
  }
  struct stat file {};
  state = fstat(fd, &file) == 0 ? traceStateOf(file) : TraceState::kNotRegular;
  if (state != TraceState::kWritable) {
    ::close(fd);
    return nullptr;
  }
  return streamOf(fd, "a");
}

bool emptyOpenFile(std::FILE* file) {
  return std::fflush(file) == 0 && ftruncate(fileno(file), 0) == 0;
}

std::FILE* openForReading(const char* path, bool create, std::uint64_t maxSize, ReadOpen& outcome) {
  if (!roomToOpenStream()) {
    outcome = ReadOpen::kCannotOpen;
    return nullptr;
  }
  outcome = ReadOpen::kOpened;
  int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0 && errno == ENOENT && create) {
    // O_EXCL: a link standing at path, even a dangling one, makes this fail.
    fd = ::open(path, O_RDONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0666);
    outcome = fd < 0 ? ReadOpen::kCannotCreate : ReadOpen::kCreated;
    if (fd < 0) return nullptr;
  }
  if (fd < 0) {
    outcome = ReadOpen::kCannotOpen;
    return nullptr;
  }
  struct stat file {};
  if (fstat(fd, &file) != 0 || !S_ISREG(file.st_mode)) {
    outcome = ReadOpen::kNotRegular;
  } else if (static_cast<std::uint64_t>(file.st_size) > maxSize) {
    outcome = ReadOpen::kTooLarge;
  }
  if (outcome != ReadOpen::kOpened && outcome != ReadOpen::kCreated) {
    ::close(fd);
    return nullptr;
  }
  std::FILE* stream = streamOf(fd, "rb");
  if (stream == nullptr) outcome = ReadOpen::kCannotOpen;
  return stream;
}

}  // namespace tuner
