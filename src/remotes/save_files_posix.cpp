// Saving whole files over POSIX: exclusive creation, fsync of the file and of its directory.
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "common/hex_digits.h"
#include "remotes/save_files.h"

namespace tuner {
namespace {

std::string directoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// A link is followed only where nobody but its owner and root could have put it there: the
// link belongs to the caller or root, and so does its folder, which no one else may write.
bool linkIsTrusted(const std::string& path, const struct stat& link) {
  const uid_t caller = geteuid();
  if (link.st_uid != caller && link.st_uid != 0) return false;
  struct stat folder {};
  if (stat(directoryOf(path).c_str(), &folder) != 0) return false;
  if (folder.st_uid != caller && folder.st_uid != 0) return false;
  return (folder.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// A number nobody can guess, so that a name planted in advance never blocks the save.
std::string unguessable() {
  unsigned char bytes[8] = {};
  if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
    static unsigned counter = 0;
    const unsigned fallback = static_cast<unsigned>(getpid()) * 2654435761u + ++counter;
    std::memcpy(bytes, &fallback, sizeof fallback);
  }
  std::string text;
  for (unsigned char byte : bytes) appendHexByte(text, byte);
  return text;
}

class PosixSaveFiles final : public SaveFiles {
 public:
  std::string finalTarget(const std::string& path) override {
    struct stat link {};
    if (lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) return path;
    // An untrusted link is itself what the save replaces.
    if (!linkIsTrusted(path, link)) return path;
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) != nullptr) return resolved;
    // A link to a file not made yet: the file it names.
    char named[PATH_MAX];
    const ssize_t length = readlink(path.c_str(), named, sizeof named - 1);
    if (length <= 0) return path;
    const std::string target(named, static_cast<std::size_t>(length));
    return target[0] == '/' ? target : directoryOf(path) + "/" + target;
  }

  bool mayReplace(const std::string& target) override {
    struct stat existing {};
    if (lstat(target.c_str(), &existing) != 0) return errno == ENOENT;
    if (S_ISLNK(existing.st_mode)) return true;
    // Never a folder, a pipe or a device; no write bit binds root too, as the read-only
    // attribute does on Windows.
    return S_ISREG(existing.st_mode) && (existing.st_mode & 0222) != 0 &&
           access(target.c_str(), W_OK) == 0;
  }

  std::FILE* createTemporary(const std::string& target, std::string& temporary) override {
    // Created with the mode it will keep, so the text is never readable by more people.
    struct stat existing {};
    const bool replacing = lstat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode);
    const mode_t mode = replacing ? existing.st_mode & 0777 : 0666;
    for (int attempt = 0; attempt < 100; ++attempt) {
      temporary =
          target + kTemporaryMark + std::to_string(getpid()) + "-" + unguessable() + kTemporaryEnd;
      const int fd =
          ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
      if (fd < 0 && errno == EEXIST) continue;
      if (fd < 0) return nullptr;
      std::FILE* file = fdopen(fd, "w");
      if (file == nullptr) {
        ::close(fd);
        ::unlink(temporary.c_str());
      }
      return file;
    }
    return nullptr;
  }

  bool makeDurable(std::FILE* file, const std::string& target) override {
    if (std::fflush(file) != 0) return false;
    const int fd = fileno(file);
    struct stat existing {};
    if (lstat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
      if (fchmod(fd, existing.st_mode & 07777) != 0) return false;
      // Only root may give the file away; anyone else keeps it as their own.
      if (fchown(fd, existing.st_uid, existing.st_gid) != 0 && errno != EPERM) return false;
    }
    return fsync(fd) == 0;
  }

  bool replace(const std::string& temporary, const std::string& target) override {
    if (std::rename(temporary.c_str(), target.c_str()) != 0) return false;
    const int directory = ::open(directoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory < 0) return false;
    const bool synced = fsync(directory) == 0;
    ::close(directory);
    return synced;
  }

  void remove(const std::string& path) override { ::unlink(path.c_str()); }
};

}  // namespace

SaveFiles& platformSaveFiles() {
  static PosixSaveFiles files;
  return files;
}

}  // namespace tuner
