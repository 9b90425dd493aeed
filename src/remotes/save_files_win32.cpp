// Saving whole files over Windows: exclusive creation, FlushFileBuffers and a write-through
// rename that waits out a virus scanner or indexer holding the old file.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "common/open_file.h"
#include "remotes/save_files.h"

namespace tuner {
namespace {

constexpr int kReplaceAttempts = 20;
constexpr DWORD kReplaceRetryMs = 50;

class Win32SaveFiles final : public SaveFiles {
 public:
  std::string finalTarget(const std::string& path) override { return path; }

  bool mayReplace(const std::string& target) override {
    const DWORD attributes = GetFileAttributesA(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return true;
    return (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) == 0;
  }

  std::FILE* createTemporary(const std::string& target, std::string& temporary) override {
    for (int attempt = 0; attempt < 100; ++attempt) {
      temporary = target + kTemporaryMark + std::to_string(GetCurrentProcessId()) + "-" +
                  std::to_string(attempt) + kTemporaryEnd;
      const int fd =
          _open(temporary.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_TEXT, _S_IREAD | _S_IWRITE);
      if (fd < 0 && errno == EEXIST) continue;
      if (fd < 0) return nullptr;
      std::FILE* file = _fdopen(fd, "w");
      if (file == nullptr) {
        _close(fd);
        DeleteFileA(temporary.c_str());
      }
      return file;
    }
    return nullptr;
  }

  bool makeDurable(std::FILE* file, const std::string&) override {
    if (std::fflush(file) != 0) return false;
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    return handle != INVALID_HANDLE_VALUE && FlushFileBuffers(handle) != 0;
  }

  bool replace(const std::string& temporary, const std::string& target) override {
    for (int attempt = 0; attempt < kReplaceAttempts; ++attempt) {
      if (MoveFileExA(temporary.c_str(), target.c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0) {
        return true;
      }
      const DWORD error = GetLastError();
      if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) return false;
      Sleep(kReplaceRetryMs);
    }
    return false;
  }

  void remove(const std::string& path) override { DeleteFileA(path.c_str()); }
};

}  // namespace

SaveFiles& platformSaveFiles() {
  static Win32SaveFiles files;
  return files;
}

}  // namespace tuner
