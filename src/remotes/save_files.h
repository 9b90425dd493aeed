// What a save needs from the platform's files so that it replaces a file whole or not at all,
// and survives a crash or a power cut. One backend per platform provides platformSaveFiles().
#pragma once

#include <cstdio>
#include <string>

namespace tuner {

class SaveFiles {
 public:
  virtual ~SaveFiles() = default;

  // The file a save to path replaces: the target of a symbolic link that only the caller or
  // root could have made, else path itself (an untrusted link is replaced, not followed).
  virtual std::string finalTarget(const std::string& path) = 0;
  // False when target exists and is read-only, or is no regular file (a folder, a device):
  // a save must not replace it.
  virtual bool mayReplace(const std::string& target) = 0;
  // Creates a file that did not exist before (never through a link), beside target and named
  // after it with kTemporaryMark and an unguessable number, with target's permissions from the
  // start, open for writing in text mode; null when none can be made.
  virtual std::FILE* createTemporary(const std::string& target, std::string& temporary) = 0;
  // Pushes what was written to stable storage and gives the file target's permissions.
  virtual bool makeDurable(std::FILE* file, const std::string& target) = 0;
  // Renames temporary over target, retrying for about a second while target is briefly held,
  // and makes the rename itself durable.
  virtual bool replace(const std::string& temporary, const std::string& target) = 0;
  virtual void remove(const std::string& path) = 0;
};

// Temporaries are named target + kTemporaryMark + a number + kTemporaryEnd.
constexpr char kTemporaryMark[] = ".~save";
constexpr char kTemporaryEnd[] = ".tmp";

SaveFiles& platformSaveFiles();

}  // namespace tuner
