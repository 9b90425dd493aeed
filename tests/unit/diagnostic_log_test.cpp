#include "log/diagnostic_log.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "temp_dir.h"

namespace tuner {
namespace {

using testing::readFile;
using testing::TempDir;
using testing::writeFile;

TEST(DiagnosticLog, MessagesAccumulateInOrderAtTheEnd) {
  TempDir dir;
  const DiagnosticLog log{dir.file("TunerDLL.log")};
  writeFile(log.path, "");
  LogMessage(log, "PlayCommand:Start name[%s]\n", "Power");
  LogMessage(log, "Emit:End [%d]\n", 1);
  LogMessage(log, "x\n");
  EXPECT_EQ(readFile(log.path), "PlayCommand:Start name[Power]\nEmit:End [1]\nx\n");
}

// A call's session opens the trace once: each message is in the file before the next is made, a
// trace that was absent at the first message stays off for the call, and the checks of the open
// still hold (a link in the trace's place is not written through).
TEST(DiagnosticLog, ASessionWritesEachMessageAtOnceAndOpensTheTraceOnce) {
  TempDir dir;
  DiagnosticLog log{dir.file("TunerDLL.log")};
  writeFile(log.path, "");
  {
    TraceSession session;
    log.session = &session;
    LogMessage(log, "MacroTune:Start\n");
    EXPECT_EQ(readFile(log.path), "MacroTune:Start\n");
    // Replaced meanwhile: the call goes on writing the trace it opened.
    std::filesystem::rename(log.path, dir.file("moved.log"));
    writeFile(log.path, "");
    LogMessage(log, "MacroTune:End\n");
    EXPECT_EQ(readFile(dir.file("moved.log")), "MacroTune:Start\nMacroTune:End\n");
  }
  EXPECT_EQ(readFile(log.path), "");
  std::filesystem::remove(log.path);
  {
    TraceSession session;
    log.session = &session;
    LogMessage(log, "a\n");
    writeFile(log.path, "");
    LogMessage(log, "b\n");
  }
  EXPECT_EQ(readFile(log.path), "");
  std::filesystem::remove(log.path);
  const std::string victim = dir.file("victim");
  writeFile(victim, "kept\n");
  std::filesystem::create_symlink(victim, log.path);
  {
    TraceSession session;
    log.session = &session;
    LogMessage(log, "never\n");
  }
  EXPECT_EQ(readFile(victim), "kept\n");
}

TEST(DiagnosticLog, AbsentLogIsNeverCreated) {
  TempDir dir;
  const DiagnosticLog log{dir.file("TunerDLL.log")};
  EXPECT_EQ(LogMessage(log, "DeviceName:Start\n"), 0);
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(DiagnosticLog, MessagesAroundTheBufferSize) {
  // The buffer holds 255 bytes with the terminating zero: 254 characters with the line feed.
  for (const auto& [textLength, kept] : std::vector<std::pair<std::size_t, std::size_t>>{
           {253, 254}, {254, 254}, {1000, 254}, {10, 11}}) {
    TempDir dir;
    const DiagnosticLog log{dir.file("TunerDLL.log")};
    writeFile(log.path, "");
    const std::string text(textLength, 'n');
    LogMessage(log, "%s\n", text.c_str());
    LogMessage(log, "next\n");
    EXPECT_EQ(readFile(log.path), text.substr(0, kept - 1) + "\nnext\n") << textLength;
  }
}

// Makes the log read-only in a way that binds root too: a read-only file system in a mount
// namespace of a child process. Returns the child's verdict, or nullopt if namespaces are denied.
std::optional<bool> dropsMessageOnReadOnlyFileSystem(const std::string& directory) {
  const pid_t child = fork();
  if (child == 0) {
    if (unshare(CLONE_NEWNS) != 0 ||
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tmpfs", directory.c_str(), "tmpfs", 0, nullptr) != 0) {
      _exit(77);
    }
    const DiagnosticLog log{directory + "/TunerDLL.log"};
    writeFile(log.path, "before\n");
    if (mount(nullptr, directory.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0) _exit(77);
    const int result = LogMessage(log, "dropped\n");
    _exit(result == 0 && readFile(log.path) == "before\n" ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) == 77) return std::nullopt;
  return WEXITSTATUS(status) == 0;
}

TEST(DiagnosticLog, ReadOnlyLogDropsMessageAndCallerCarriesOn) {
  TempDir dir;
  if (geteuid() == 0) {
    const std::optional<bool> dropped = dropsMessageOnReadOnlyFileSystem(dir.path().string());
    if (!dropped.has_value()) GTEST_SKIP() << "no mount namespace to make a read-only log in";
    EXPECT_TRUE(*dropped);
    return;
  }
  const DiagnosticLog log{dir.file("TunerDLL.log")};
  writeFile(log.path, "before\n");
  std::filesystem::permissions(log.path, std::filesystem::perms::owner_read);
  EXPECT_EQ(LogMessage(log, "dropped\n"), 0);
  EXPECT_EQ(readFile(log.path), "before\n");
}

TEST(DiagnosticLog, LogThatIsADirectoryDropsMessage) {
  // A path that cannot be opened for writing, even by root: nothing is made in its place.
  TempDir dir;
  const DiagnosticLog log{dir.file("TunerDLL.log")};
  std::filesystem::create_directory(log.path);
  LogMessage(log, "dropped\n");
  EXPECT_TRUE(std::filesystem::is_directory(log.path));
  EXPECT_TRUE(std::filesystem::is_empty(log.path));
}

TEST(DiagnosticLog, LockedLogStillTakesMessagesWithoutBlocking) {
  // Another process holding an advisory lock must not stall the plug-in.
  TempDir dir;
  const DiagnosticLog log{dir.file("TunerDLL.log")};
  writeFile(log.path, "");
  const int holder = ::open(log.path.c_str(), O_RDWR);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(flock(holder, LOCK_EX), 0);
  LogMessage(log, "while locked\n");
  ::close(holder);
  EXPECT_EQ(readFile(log.path), "while locked\n");
}

TEST(DiagnosticLog, LogStaysWithinOneMebibyte) {
  TempDir dir;
  const DiagnosticLog log{dir.file("TunerDLL.log")};
  // A message that fits up to the last byte is appended; the next one restarts the trace.
  const std::string message(9, 'm');  // and its line feed, taken as two bytes on disk
  writeFile(log.path, std::string(1024 * 1024 - 11, 'x'));
  LogMessage(log, "%s\n", message.c_str());
  EXPECT_EQ(std::filesystem::file_size(log.path), 1024u * 1024u - 1u);
  LogMessage(log, "next\n");
  EXPECT_EQ(readFile(log.path), "LogMessage:Trace restarted, it had reached 1 MiB\nnext\n");
}

TEST(DiagnosticLog, EmptyPathMeansTraceOff) {
  // Not even a log in the working directory is written to.
  TempDir dir;
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  writeFile("TunerDLL.log", "");
  LogMessage(DiagnosticLog{}, "nothing\n");
  std::filesystem::current_path(previous);
  EXPECT_EQ(readFile(dir.file("TunerDLL.log")), "");
}

TEST(DiagnosticLog, NothingButTheTraceItselfIsEverWritten) {
  namespace fs = std::filesystem;
  TempDir dir;
  TempDir elsewhere;
  const DiagnosticLog log{dir.file("TunerDLL.log")};
  // Someone else's file, large enough that a restart would empty it.
  const std::string victim = elsewhere.file("victim");
  const std::string content(2000000, 'v');
  writeFile(victim, content);
  fs::permissions(victim, fs::perms::owner_read | fs::perms::owner_write);
  const auto untouched = [&] { return readFile(victim) == content; };

  fs::create_symlink(victim, log.path);
  LogMessage(log, "through a link\n");
  EXPECT_TRUE(untouched());
  fs::remove(log.path);

  fs::create_hard_link(victim, log.path);
  LogMessage(log, "through a second name\n");
  EXPECT_TRUE(untouched());
  fs::remove(log.path);

  // A pipe with nobody reading: the message is dropped at once.
  ASSERT_EQ(mkfifo(log.path.c_str(), 0600), 0);
  LogMessage(log, "into a pipe\n");
  fs::remove(log.path);

  if (geteuid() == 0) {
    // Root writes only a trace that root owns.
    writeFile(log.path, "");
    ASSERT_EQ(chown(log.path.c_str(), 65534, 65534), 0);
    LogMessage(log, "into a user's file\n");
    EXPECT_EQ(readFile(log.path), "");
  }
}

TEST(DiagnosticLog, ControlBytesInAMessageCannotStartALine) {
  TempDir dir;
  const DiagnosticLog log{dir.file("TunerDLL.log")};
  writeFile(log.path, "");
  LogMessage(log, "MacroTune:Start tuner[%s]\n", "A\nevil::0:0::.:sh\r\x1b");
  EXPECT_EQ(readFile(log.path), "MacroTune:Start tuner[A\\x0aevil::0:0::.:sh\\x0d\\x1b]\n");
  // Escapes never push the line past the longest message, which still ends its line.
  writeFile(log.path, "");
  LogMessage(log, "%s\n", std::string(300, '\n').c_str());
  const std::string cut = readFile(log.path);
  EXPECT_LE(cut.size(), kLogMessageCapacity);
  EXPECT_EQ(cut.find('\n'), cut.size() - 1);
}

}  // namespace
}  // namespace tuner
