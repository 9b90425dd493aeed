#include "remotes/remotes_file.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "remotes/remote_lists.h"
#include "temp_dir.h"
#include "test_heap.h"

namespace tuner {
namespace {

using testing::readFile;
using testing::TempDir;
using testing::writeFile;

char* heapText(const std::string& text) {
  char* copy = static_cast<char*>(std::malloc(text.size() + 1));
  std::memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

Pattern* heapPattern(std::uint32_t bitLength, char flag, const std::vector<unsigned char>& bytes) {
  auto* p = static_cast<Pattern*>(std::malloc(sizeof(Pattern)));
  p->bit_length = bitLength;
  p->r_flag = flag;
  p->length = static_cast<std::uint32_t>(bytes.size());
  p->bytes = static_cast<unsigned char*>(std::malloc(bytes.size() + 1));
  if (!bytes.empty()) std::memcpy(p->bytes, bytes.data(), bytes.size());
  p->next = nullptr;
  return p;
}

// Holds a list and frees it at the end of the test.
struct OwnedList {
  Remote* head = nullptr;
  ~OwnedList() { releaseRemotes(head); }
};

bool equalLists(const Remote* a, const Remote* b, std::string& why) {
  for (; a != nullptr && b != nullptr; a = a->next, b = b->next) {
    if (std::strcmp(a->name, b->name) != 0 || a->carrier_freq != b->carrier_freq ||
        a->bit_time != b->bit_time) {
      why = std::string("remote ") + a->name;
      return false;
    }
    const Command* ca = a->commands;
    const Command* cb = b->commands;
    for (; ca != nullptr && cb != nullptr; ca = ca->next, cb = cb->next) {
      if (std::strcmp(ca->name, cb->name) != 0) {
        why = std::string("command ") + ca->name;
        return false;
      }
      const Pattern* pa = ca->patterns;
      const Pattern* pb = cb->patterns;
      for (; pa != nullptr && pb != nullptr; pa = pa->next, pb = pb->next) {
        if (pa->bit_length != pb->bit_length || pa->r_flag != pb->r_flag ||
            pa->length != pb->length ||
            (pa->length != 0 && std::memcmp(pa->bytes, pb->bytes, pa->length) != 0)) {
          why = std::string("pattern of ") + ca->name;
          return false;
        }
      }
      if (pa != pb) {
        why = std::string("pattern count of ") + ca->name;
        return false;
      }
    }
    if (ca != cb) {
      why = std::string("command count of ") + a->name;
      return false;
    }
  }
  if (a != b) why = "remote count";
  return a == b;
}

class RemotesFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    writeFile(log.path, "");
    testing::failAllocationAfter(-1);
  }
  void TearDown() override { testing::failAllocationAfter(-1); }

  Remote* load(const std::string& content) {
    writeFile(path, content);
    return LoadRemotes(log, path.c_str(), devName, sizeof devName);
  }

  // The example remote: TV 38000 500 with Power of two patterns.
  static Remote* exampleList() {
    Pattern* first = heapPattern(16, 'a', {0x20, 0xdf});
    first->next = heapPattern(16, 'b', {0x20, 0xdf});
    auto* power = static_cast<Command*>(std::malloc(sizeof(Command)));
    *power = Command{heapText("Power"), first, nullptr};
    auto* tv = static_cast<Remote*>(std::malloc(sizeof(Remote)));
    *tv = Remote{heapText("TV"), 38000, 500, power, nullptr};
    return tv;
  }

  TempDir dir;
  DiagnosticLog log{dir.file("TunerDLL.log")};
  std::string path = dir.file("Tuner1.txt");
  char devName[256] = "unset";
};

TEST_F(RemotesFileTest, WritesTheFormatByteForByte) {
  OwnedList list{exampleList()};
  ASSERT_TRUE(SaveRemotes(log, list.head, path.c_str(), platformSaveFiles()));
  EXPECT_EQ(readFile(path), "TV 38000 500\nPower 16 a 20 df\n 16 b 20 df\n\n");
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
}

TEST_F(RemotesFileTest, ReadsTheExampleBack) {
  OwnedList list{load("TV 38000 500\nPower 16 a 20 DF\n 16 b 20 df\n\n")};
  OwnedList expected{exampleList()};
  std::string why;
  EXPECT_TRUE(equalLists(list.head, expected.head, why)) << why;
  // Only a backslash separates the last component: a POSIX path stays whole.
  EXPECT_EQ(devName, path.substr(0, path.size() - 3));
  // A command is made once all its patterns are read, a remote once all its commands are.
  EXPECT_EQ(readFile(log.path),
            "LoadRemotes:Start: path [" + path +
                "]\nAdd_Remote:Start\nString_Space:Start\nCreate_Command_List:Start\n"
                "String_Space:Start\ncreate_pat_list:Start\ncreate_pat_node:Start\n"
                "byte_space:Start\ncreate_pat_node:Start\nbyte_space:Start\nCreateCommand:Start\n"
                "AddCommand:Start\nCreateRemote:Start\nAddRemote:Start\n"
                "LoadRemotes:End: loadedDevName [" +
                std::string(devName) + "]\n");
}

TEST_F(RemotesFileTest, EveryFlagAndNameByteLoadsBack) {
  // Names hold any byte but the separators; flags any byte but space, tab and line feed.
  std::string nameBytes;
  for (int b = 1; b < 256; ++b) {
    if (b != ' ' && b != '\t' && b != '\n' && b != '\r') nameBytes += static_cast<char>(b);
  }
  Pattern* patterns = nullptr;
  Pattern** tail = &patterns;
  for (int flag = 255; flag >= 1; --flag) {
    if (flag == ' ' || flag == '\t' || flag == '\n') continue;
    *tail = heapPattern(8, static_cast<char>(flag), {static_cast<unsigned char>(flag)});
    tail = &(*tail)->next;
  }
  auto* command = static_cast<Command*>(std::malloc(sizeof(Command)));
  *command = Command{heapText(nameBytes), patterns, nullptr};
  auto* remote = static_cast<Remote*>(std::malloc(sizeof(Remote)));
  *remote = Remote{heapText(nameBytes), 4294967295u, 0, command, nullptr};
  OwnedList list{remote};
  ASSERT_TRUE(SaveRemotes(log, list.head, path.c_str(), platformSaveFiles()));
  OwnedList loaded{LoadRemotes(log, path.c_str(), devName, sizeof devName)};
  std::string why;
  EXPECT_TRUE(equalLists(list.head, loaded.head, why)) << why;
  EXPECT_EQ(readFile(log.path).find("ERR"), std::string::npos);
}

TEST_F(RemotesFileTest, CarriageReturnOnlyLineEndsAreReported) {
  OwnedList list{load("TV 1 2\rPower 16 a 01\r\r")};
  ASSERT_NE(list.head, nullptr);
  EXPECT_NE(readFile(log.path).find("LoadRemotes:ERR: line 1: text after the bit time skipped"),
            std::string::npos);
  // One field too many is reported the same way; three are not.
  writeFile(log.path, "");
  OwnedList four{load("TV 1 2 x\n\nRadio 3 4\n\n")};
  EXPECT_EQ(readFile(log.path).find("line 3:"), std::string::npos);
  EXPECT_NE(readFile(log.path).find("LoadRemotes:ERR: line 1: text after the bit time skipped"),
            std::string::npos);
}

TEST_F(RemotesFileTest, CommandWithoutPatternsKeepsALineOfItsOwn) {
  auto* bare = static_cast<Command*>(std::malloc(sizeof(Command)));
  *bare = Command{heapText("Mute"), nullptr, nullptr};
  OwnedList list{exampleList()};
  list.head->commands->next = bare;
  ASSERT_TRUE(SaveRemotes(log, list.head, path.c_str(), platformSaveFiles()));
  EXPECT_EQ(readFile(path), "TV 38000 500\nPower 16 a 20 df\n 16 b 20 df\nMute\n\n");
  OwnedList loaded{LoadRemotes(log, path.c_str(), devName, sizeof devName)};
  std::string why;
  EXPECT_TRUE(equalLists(loaded.head, list.head, why)) << why;
}

TEST_F(RemotesFileTest, EmptyListWritesEmptyFileWhichLoadsAsNull) {
  ASSERT_TRUE(SaveRemotes(log, nullptr, path.c_str(), platformSaveFiles()));
  EXPECT_EQ(readFile(path), "");
  EXPECT_EQ(LoadRemotes(log, path.c_str(), devName, sizeof devName), nullptr);
}

TEST_F(RemotesFileTest, MissingFileIsCreatedEmpty) {
  const std::size_t descriptors = testing::openDescriptors();
  EXPECT_EQ(LoadRemotes(log, path.c_str(), devName, sizeof devName), nullptr);
  EXPECT_EQ(testing::openDescriptors(), descriptors);
  EXPECT_TRUE(std::filesystem::exists(path));
  EXPECT_EQ(readFile(log.path).find("ERR"), std::string::npos);
}

TEST_F(RemotesFileTest, DeviceNameIsRecordedEvenWhenTheFileCannotBeMade) {
  const std::string unreachable = dir.file("no-such-dir") + "/c:\\remotes\\Tuner7.txt";
  EXPECT_EQ(LoadRemotes(log, unreachable.c_str(), devName, sizeof devName), nullptr);
  EXPECT_STREQ(devName, "Tuner7.");
  EXPECT_NE(readFile(log.path).find("LoadRemotes:ERR: FP Null from fopen w\n"
                                    "LoadRemotes:End: loadedDevName [Tuner7.]\n"),
            std::string::npos);
}

TEST_F(RemotesFileTest, NullPathLeavesTheDeviceNameEmpty) {
  EXPECT_EQ(LoadRemotes(log, nullptr, devName, sizeof devName), nullptr);
  EXPECT_STREQ(devName, "");
}

TEST(DeviceName, CutsExactlyThreeCharactersOfTheLastComponent) {
  EXPECT_EQ(deviceNameFromPath("c:\\remotes\\Tuner1.txt", 256), "Tuner1.");
  EXPECT_EQ(deviceNameFromPath("abc.de", 256), "abc");
  EXPECT_EQ(deviceNameFromPath("dir/with/slashes.txt", 256), "dir/with/slashes.");
  EXPECT_EQ(deviceNameFromPath("c:\\x\\abc", 256), "");
  EXPECT_EQ(deviceNameFromPath("c:\\x\\ab", 256), "");
  EXPECT_EQ(deviceNameFromPath("c:\\x\\", 256), "");
  EXPECT_EQ(deviceNameFromPath("", 256), "");
  EXPECT_EQ(deviceNameFromPath(std::string(400, 'n').c_str(), 256), std::string(255, 'n'));
}

TEST_F(RemotesFileTest, LastLinesWithoutLineFeedAreLoaded) {
  OwnedList list{load("TV 1 2\nPower 16 a 01\nMute 8 b 02")};
  ASSERT_NE(list.head, nullptr);
  ASSERT_NE(list.head->commands->next, nullptr);
  EXPECT_STREQ(list.head->commands->next->name, "Mute");
  OwnedList headerOnly{load("Radio 3 4")};
  ASSERT_NE(headerOnly.head, nullptr);
  EXPECT_STREQ(headerOnly.head->name, "Radio");
  EXPECT_EQ(headerOnly.head->commands, nullptr);
}

TEST_F(RemotesFileTest, PatternWithoutBytesAndCrLfLines) {
  OwnedList list{load("TV 1 2\r\nPower 16 a\r\n 8 z ff\r\n\r\n")};
  ASSERT_NE(list.head, nullptr);
  const Pattern* first = list.head->commands->patterns;
  EXPECT_EQ(first->length, 0u);
  EXPECT_EQ(first->r_flag, 'a');
  ASSERT_NE(first->next, nullptr);
  EXPECT_EQ(first->next->bytes[0], 0xFF);
  EXPECT_EQ(readFile(log.path).find("ERR"), std::string::npos);
}

TEST_F(RemotesFileTest, MalformedLinesAreSkippedWithTheirLineNumber) {
  const std::string content =
      "TV 1\n"               // 1: header with too few tokens: the whole remote is skipped
      "Power 16 a 20\n"      // 2
      "\n"                   // 3
      "\n"                   // 4: a second empty line is harmless
      "Radio 38000 500\n"    // 5
      "Bad 16\n"             // 6: no flag
      " 16 b 20\n"           // 7: continues the skipped command
      "Hex 16 a 2g\n"        // 8: not hexadecimal
      "Good 16 a 0x1F 20\n"  // 9
      " x a 20\n"            // 10: bit length not a number
      " 8 c\n"               // 11
      "\t\n"                 // 12: tabs only
      "Last 1 f\n";          // 13
  OwnedList list{load(content)};
  ASSERT_NE(list.head, nullptr);
  EXPECT_STREQ(list.head->name, "Radio");
  EXPECT_EQ(list.head->next, nullptr);
  const Command* good = list.head->commands;
  ASSERT_NE(good, nullptr);
  EXPECT_STREQ(good->name, "Good");
  EXPECT_EQ(good->patterns->length, 2u);
  EXPECT_EQ(good->patterns->bytes[0], 0x1F);
  ASSERT_NE(good->patterns->next, nullptr);
  EXPECT_EQ(good->patterns->next->r_flag, 'c');
  EXPECT_STREQ(good->next->name, "Last");
  const std::string trace = readFile(log.path);
  for (const char* expected :
       {"LoadRemotes:ERR: line 1:", "LoadRemotes:ERR: line 6:", "LoadRemotes:ERR: line 8:",
        "LoadRemotes:ERR: line 10:", "LoadRemotes:ERR: line 12:"}) {
    EXPECT_NE(trace.find(expected), std::string::npos) << expected;
  }
  EXPECT_EQ(trace.find("line 7:"), std::string::npos);
}

TEST_F(RemotesFileTest, LineBeginningWithATabIsNoPatternLine) {
  // Only a space continues a command; a tab starts a line of its own.
  OwnedList list{load("TV 1 2\nPower 16 a 01\n\t8 b 02\n\n")};
  ASSERT_NE(list.head, nullptr);
  ASSERT_NE(list.head->commands, nullptr);
  EXPECT_EQ(list.head->commands->patterns->next, nullptr);
  EXPECT_NE(readFile(log.path).find("LoadRemotes:ERR: line 3:"), std::string::npos);
}

TEST_F(RemotesFileTest, BinaryJunkAndNulBytesNeverCrash) {
  std::mt19937 random(7);
  for (int round = 0; round < 200; ++round) {
    std::string junk(static_cast<std::size_t>(random() % 600), '\0');
    for (char& c : junk) {
      const unsigned pick = random() % 8;
      c = pick == 0 ? '\n' : pick == 1 ? ' ' : pick == 2 ? '\0' : static_cast<char>(random());
    }
    OwnedList list{load(junk)};
    for (const Remote* r = list.head; r != nullptr; r = r->next) {
      ASSERT_NE(r->name, nullptr);
      for (const Command* c = r->commands; c != nullptr; c = c->next) {
        ASSERT_NE(c->name, nullptr);
        for (const Pattern* p = c->patterns; p != nullptr; p = p->next) {
          ASSERT_NE(p->bytes, nullptr);
        }
      }
    }
  }
}

// Random lists within the format's limits: names without white space, flags that are not
// white space, patterns of 0 to 300 bytes, and commands with no patterns.
Remote* randomList(std::mt19937& random) {
  auto randomName = [&random]() {
    static const char kChars[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789._-+#";
    std::string name(1 + random() % 12, 'x');
    for (char& c : name) c = kChars[random() % (sizeof kChars - 1)];
    return name;
  };
  Remote* head = nullptr;
  Remote** tail = &head;
  const int remotes = static_cast<int>(random() % 4);
  for (int r = 0; r < remotes; ++r) {
    auto* remote = static_cast<Remote*>(std::malloc(sizeof(Remote)));
    *remote = Remote{heapText(randomName()), static_cast<std::uint32_t>(random()),
                     static_cast<std::uint32_t>(random()), nullptr, nullptr};
    Command** commandTail = &remote->commands;
    const int commands = static_cast<int>(random() % 5);
    for (int c = 0; c < commands; ++c) {
      auto* command = static_cast<Command*>(std::malloc(sizeof(Command)));
      *command = Command{heapText(randomName()), nullptr, nullptr};
      Pattern** patternTail = &command->patterns;
      const int patterns = static_cast<int>(random() % 4);
      for (int p = 0; p < patterns; ++p) {
        std::vector<unsigned char> bytes(random() % 301);
        for (unsigned char& b : bytes) b = static_cast<unsigned char>(random());
        char flag = 0;
        do {
          flag = static_cast<char>(random());
        } while (flag == ' ' || flag == '\0' || (flag >= '\t' && flag <= '\r'));
        *patternTail = heapPattern(static_cast<std::uint32_t>(random()), flag, bytes);
        patternTail = &(*patternTail)->next;
      }
      *commandTail = command;
      commandTail = &command->next;
    }
    *tail = remote;
    tail = &remote->next;
  }
  return head;
}

TEST_F(RemotesFileTest, EverySavedListLoadsBackEqual) {
  const DiagnosticLog quiet{};
  std::mt19937 random(2026);
  for (int round = 0; round < 2000; ++round) {
    OwnedList list{randomList(random)};
    ASSERT_TRUE(SaveRemotes(quiet, list.head, path.c_str(), platformSaveFiles()));
    OwnedList loaded{LoadRemotes(quiet, path.c_str(), devName, sizeof devName)};
    std::string why;
    ASSERT_TRUE(equalLists(list.head, loaded.head, why)) << "round " << round << ": " << why;
  }
}

// The platform's save files with one step made to fail, and a record of the steps taken.
class FaultySaveFiles final : public SaveFiles {
 public:
  enum Step { kNone, kMayReplace, kCreate, kDurable, kReplace };
  explicit FaultySaveFiles(Step failing) : failing_(failing) {}

  std::string finalTarget(const std::string& path) override { return real_.finalTarget(path); }
  bool mayReplace(const std::string& target) override {
    steps.push_back("may-replace");
    return failing_ != kMayReplace && real_.mayReplace(target);
  }
  std::FILE* createTemporary(const std::string& target, std::string& temporary) override {
    steps.push_back("create");
    return failing_ == kCreate ? nullptr : real_.createTemporary(target, temporary);
  }
  bool makeDurable(std::FILE* file, const std::string& target) override {
    steps.push_back("durable");
    return failing_ != kDurable && real_.makeDurable(file, target);
  }
  bool replace(const std::string& temporary, const std::string& target) override {
    steps.push_back("replace");
    return failing_ != kReplace && real_.replace(temporary, target);
  }
  void remove(const std::string& path) override { real_.remove(path); }

  std::vector<std::string> steps;

 private:
  Step failing_;
  SaveFiles& real_ = platformSaveFiles();
};

std::vector<std::string> filesIn(const TempDir& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST_F(RemotesFileTest, EachFailingSaveStepLeavesTheOldFileAndNoTemporary) {
  OwnedList list{exampleList()};
  const std::size_t descriptors = testing::openDescriptors();
  for (const auto step : {FaultySaveFiles::kMayReplace, FaultySaveFiles::kCreate,
                          FaultySaveFiles::kDurable, FaultySaveFiles::kReplace}) {
    writeFile(path, "old content\n");
    writeFile(log.path, "");
    FaultySaveFiles files(step);
    EXPECT_FALSE(SaveRemotes(log, list.head, path.c_str(), files)) << step;
    EXPECT_EQ(readFile(path), "old content\n") << step;
    EXPECT_EQ(testing::openDescriptors(), descriptors) << step;
    EXPECT_EQ(filesIn(dir), (std::vector<std::string>{"Tuner1.txt", "TunerDLL.log"})) << step;
    EXPECT_EQ(readFile(log.path), "SaveRemotes:Start\nSaveRemotes:Err: cannot write [" + path +
                                      "], file left as it was\n")
        << step;
  }
  // The data reaches the disk before the rename does.
  FaultySaveFiles files(FaultySaveFiles::kNone);
  EXPECT_TRUE(SaveRemotes(log, list.head, path.c_str(), files));
  EXPECT_EQ(files.steps, (std::vector<std::string>{"may-replace", "create", "durable", "replace"}));
}

TEST_F(RemotesFileTest, SaveKeepsWhatTheUserSetOnTheFile) {
  namespace fs = std::filesystem;
  OwnedList list{exampleList()};
  // A file of the user's named like the old temporary is left alone.
  writeFile(path + ".tmp", "mine\n");
  // Permissions are kept.
  writeFile(path, "old\n");
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  ASSERT_TRUE(SaveRemotes(log, list.head, path.c_str(), platformSaveFiles()));
  EXPECT_EQ(fs::status(path).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(readFile(path + ".tmp"), "mine\n");
  // A read-only file is not replaced, even for root.
  fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_FALSE(SaveRemotes(log, nullptr, path.c_str(), platformSaveFiles()));
  EXPECT_NE(readFile(path), "");
  // A symbolic link is written through to its target.
  const std::string target = dir.file("real.txt");
  const std::string link = dir.file("Link.txt");
  writeFile(target, "old\n");
  fs::create_symlink(target, link);
  ASSERT_TRUE(SaveRemotes(log, list.head, link.c_str(), platformSaveFiles()));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(readFile(target), "TV 38000 500\nPower 16 a 20 df\n 16 b 20 df\n\n");
  // The temporary is a new file: a link planted where it would go is not written through.
  const std::string victim = dir.file("victim.txt");
  writeFile(victim, "victim\n");
  fs::create_symlink(victim,
                     path + kTemporaryMark + std::to_string(getpid()) + "-0" + kTemporaryEnd);
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
  ASSERT_TRUE(SaveRemotes(log, list.head, path.c_str(), platformSaveFiles()));
  EXPECT_EQ(readFile(victim), "victim\n");
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(path)));
}

TEST_F(RemotesFileTest, KilledSavesLeaveTheOldOrTheNewFileWhole) {
  // A list of about 1 MB, saved by a child process that is killed at a random moment.
  OwnedList list{exampleList()};
  std::vector<unsigned char> bytes(60);
  Pattern** tail = &list.head->commands->patterns->next->next;
  for (int i = 0; i < 5000; ++i) {
    *tail = heapPattern(static_cast<std::uint32_t>(i), 'k', bytes);
    tail = &(*tail)->next;
  }
  const std::string oldContent = "TV 1 2\nOld 8 a 01\n\n";
  const std::string newContent = formatRemotes(list.head);
  const DiagnosticLog quiet{};
  // Kills land within the time one save takes, counted from the fork.
  const auto started = std::chrono::steady_clock::now();
  ASSERT_TRUE(SaveRemotes(quiet, list.head, path.c_str(), platformSaveFiles()));
  const auto saveUs = std::chrono::duration_cast<std::chrono::microseconds>(
                          std::chrono::steady_clock::now() - started)
                          .count();
  std::mt19937 random(11);
  int killedMidway = 0;
  int temporariesLeft = 0;
  for (int run = 0; run < 40; ++run) {
    writeFile(path, oldContent);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      SaveRemotes(quiet, list.head, path.c_str(), platformSaveFiles());
      _exit(0);
    }
    usleep(static_cast<useconds_t>(random() % (saveUs + 1)));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    killedMidway += WIFSIGNALED(status) ? 1 : 0;
    const std::string content = readFile(path);
    ASSERT_TRUE(content == oldContent || content == newContent) << "run " << run;
    temporariesLeft += filesIn(dir).size() > 2 ? 1 : 0;
  }
  EXPECT_GT(killedMidway, 0);
  std::printf("%d of 40 saves killed midway, %d left a temporary\n", killedMidway, temporariesLeft);
  ASSERT_TRUE(SaveRemotes(quiet, list.head, path.c_str(), platformSaveFiles()));
  EXPECT_EQ(filesIn(dir), (std::vector<std::string>{"Tuner1.txt", "TunerDLL.log"}));
}

TEST_F(RemotesFileTest, SaveIntoMissingDirectoryFailsCleanly) {
  OwnedList list{exampleList()};
  const std::string missing = dir.file("absent") + "/remotes.txt";
  EXPECT_FALSE(SaveRemotes(log, list.head, missing.c_str(), platformSaveFiles()));
  EXPECT_FALSE(std::filesystem::exists(dir.file("absent")));
}

TEST_F(RemotesFileTest, WriteFailingPartWayLeavesTheOldFileAndNoTemporary) {
  writeFile(path, "old content\n");
  // A list far larger than the file size limit: the write fails part way.
  OwnedList list{exampleList()};
  list.head->commands->patterns->length = 0;
  std::free(list.head->commands->patterns->bytes);
  std::vector<unsigned char> big(100000, 0xAB);
  list.head->commands->patterns->bytes = static_cast<unsigned char*>(std::malloc(big.size()));
  std::memcpy(list.head->commands->patterns->bytes, big.data(), big.size());
  list.head->commands->patterns->length = static_cast<std::uint32_t>(big.size());

  rlimit previous{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = previous;
  small.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool saved = SaveRemotes(log, list.head, path.c_str(), platformSaveFiles());
  setrlimit(RLIMIT_FSIZE, &previous);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_FALSE(saved);
  EXPECT_EQ(readFile(path), "old content\n");
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
  EXPECT_NE(readFile(log.path).find("SaveRemotes:Err:"), std::string::npos);
}

TEST_F(RemotesFileTest, HeapExhaustedAtEveryAllocationOfALoad) {
  const std::string content =
      "TV 38000 500\nPower 16 a 20 df\n 16 b 20 df\nMute\n\nRadio 1 2\nOn 8 c 01 02 03\n\n";
  writeFile(path, content);
  const DiagnosticLog quiet{};
  testing::failAllocationAfter(-1);
  OwnedList whole{LoadRemotes(quiet, path.c_str(), devName, sizeof devName)};
  const long allocations = testing::allocationsMade();
  ASSERT_GT(allocations, 10);
  const std::size_t descriptors = testing::openDescriptors();
  for (long failing = 0; failing < allocations; ++failing) {
    testing::failAllocationAfter(failing);
    Remote* partial = LoadRemotes(log, path.c_str(), devName, sizeof devName);
    EXPECT_EQ(partial, nullptr) << "allocation " << failing;
    EXPECT_EQ(testing::openDescriptors(), descriptors) << "allocation " << failing;
    EXPECT_EQ(testing::quitRequests(), 1);
    releaseRemotes(partial);
  }
  testing::failAllocationAfter(-1);
  EXPECT_NE(readFile(log.path).find("LoadRemotes:ERR: out of memory"), std::string::npos);
}

TEST_F(RemotesFileTest, LongPatternLinesLoadWhole) {
  OwnedList list{exampleList()};
  std::vector<unsigned char> bytes(300);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(i);
  list.head->commands->patterns->next->next = heapPattern(999, 'q', bytes);
  ASSERT_TRUE(SaveRemotes(log, list.head, path.c_str(), platformSaveFiles()));
  OwnedList loaded{LoadRemotes(log, path.c_str(), devName, sizeof devName)};
  std::string why;
  EXPECT_TRUE(equalLists(list.head, loaded.head, why)) << why;
}

}  // namespace
}  // namespace tuner

namespace tuner {
namespace {

TEST_F(RemotesFileTest, LoadReadsOnlyARegularFileAndCreatesOnlyWhereNothingStands) {
  namespace fs = std::filesystem;
  TempDir elsewhere;
  // A dangling link: what it names is not created.
  const std::string named = elsewhere.file("made-by-root");
  fs::create_symlink(named, path);
  EXPECT_EQ(LoadRemotes(log, path.c_str(), devName, sizeof devName), nullptr);
  EXPECT_FALSE(fs::exists(fs::symlink_status(named)));
  EXPECT_NE(readFile(log.path).find("LoadRemotes:ERR: FP Null from fopen w\n"), std::string::npos);
  fs::remove(path);
  // A pipe, a device and a folder are refused at once, each with its line.
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  const std::string folder = dir.file("folder.txt");
  fs::create_directory(folder);
  for (const std::string& unreadable : {path, std::string("/dev/zero"), folder}) {
    writeFile(log.path, "");
    EXPECT_EQ(LoadRemotes(log, unreadable.c_str(), devName, sizeof devName), nullptr);
    EXPECT_NE(readFile(log.path).find("LoadRemotes:ERR: [" + unreadable +
                                      "] is not a regular file, nothing loaded\n"),
              std::string::npos)
        << unreadable;
  }
  fs::remove(path);
  // Too large a file is not read at all.
  writeFile(path, "");
  fs::resize_file(path, kMaxRemotesFileSize + 1);
  writeFile(log.path, "");
  EXPECT_EQ(LoadRemotes(log, path.c_str(), devName, sizeof devName), nullptr);
  EXPECT_NE(readFile(log.path).find("is larger than 16777216 bytes, nothing loaded\n"),
            std::string::npos);
}

TEST_F(RemotesFileTest, AnOverlongLineIsSkippedAndTheRestLoads) {
  writeFile(log.path, "");
  OwnedList list{load("TV 38000 500\n" + std::string(kMaxRemotesLineLength + 1, 'x') +
                      "\nPower 16 a 20 df\n\n")};
  ASSERT_NE(list.head, nullptr);
  ASSERT_NE(list.head->commands, nullptr);
  EXPECT_STREQ(list.head->commands->name, "Power");
  EXPECT_EQ(list.head->commands->next, nullptr);
  EXPECT_NE(readFile(log.path).find("LoadRemotes:ERR: line 2: longer than 65536 characters; "
                                    "line skipped\n"),
            std::string::npos);
}

TEST_F(RemotesFileTest, SaveReplacesALinkAnyoneCouldHavePlantedInsteadOfItsTarget) {
  namespace fs = std::filesystem;
  TempDir elsewhere;
  const std::string victim = elsewhere.file("victim");
  writeFile(victim, "root's own\n");
  fs::permissions(victim, fs::perms::owner_read | fs::perms::owner_write);
  // A folder everybody may write, as /tmp.
  fs::permissions(dir.path(), fs::perms::all | fs::perms::sticky_bit);
  fs::create_symlink(victim, path);
  OwnedList list{exampleList()};
  ASSERT_TRUE(SaveRemotes(log, list.head, path.c_str(), platformSaveFiles()));
  EXPECT_EQ(readFile(victim), "root's own\n");
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(path)));
  EXPECT_EQ(readFile(path), "TV 38000 500\nPower 16 a 20 df\n 16 b 20 df\n\n");
  // Nor one in a folder only its group may write (a group tunerdll of recorders' users, say).
  writeFile(victim, "root's own\n");
  TempDir shared;
  const std::string grouped = shared.file("grouped.txt");
  fs::permissions(shared.path(), fs::perms::owner_all | fs::perms::group_all);
  fs::create_symlink(victim, grouped);
  ASSERT_TRUE(SaveRemotes(log, list.head, grouped.c_str(), platformSaveFiles()));
  EXPECT_EQ(readFile(victim), "root's own\n");
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(grouped)));
  // Nor is anything but a regular file replaced.
  const std::string pipe = dir.file("pipe.txt");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  EXPECT_FALSE(SaveRemotes(log, list.head, pipe.c_str(), platformSaveFiles()));
  EXPECT_TRUE(fs::is_fifo(fs::symlink_status(pipe)));
}

// A save keeps the file as its owner made it: every mode bit, the group's write, setgid and
// sticky among them, whatever the saver's umask.
TEST_F(RemotesFileTest, SaveKeepsEveryModeBitOfTheFileItReplaces) {
  OwnedList list{exampleList()};
  writeFile(path, "old\n");
  ASSERT_EQ(chmod(path.c_str(), 03664), 0);
  const mode_t previous = umask(022);
  const bool saved = SaveRemotes(log, list.head, path.c_str(), platformSaveFiles());
  umask(previous);
  ASSERT_TRUE(saved);
  struct stat after {};
  ASSERT_EQ(stat(path.c_str(), &after), 0);
  EXPECT_EQ(after.st_mode & 07777, 03664u);
  EXPECT_EQ(readFile(path), "TV 38000 500\nPower 16 a 20 df\n 16 b 20 df\n\n");
}

}  // namespace
}  // namespace tuner
