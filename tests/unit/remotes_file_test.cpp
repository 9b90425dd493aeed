#include "remotes/remotes_file.h"

#include <sys/resource.h>

#include <csignal>
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
  ASSERT_TRUE(SaveRemotes(log, list.head, path.c_str()));
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
  const std::string trace = readFile(log.path);
  EXPECT_EQ(trace.rfind("LoadRemotes:Start: path [" + path + "]\n", 0), 0u);
  EXPECT_NE(trace.find("Add_Remote:Start\nString_Space:Start\nCreate_Command_List:Start\n"
                       "String_Space:Start\ncreate_pat_list:Start\ncreate_pat_node:Start\n"
                       "byte_space:Start\n"),
            std::string::npos);
  EXPECT_NE(trace.find("LoadRemotes:End: loadedDevName [" + std::string(devName) + "]\n"),
            std::string::npos);
}

TEST_F(RemotesFileTest, CommandWithoutPatternsKeepsALineOfItsOwn) {
  auto* bare = static_cast<Command*>(std::malloc(sizeof(Command)));
  *bare = Command{heapText("Mute"), nullptr, nullptr};
  OwnedList list{exampleList()};
  list.head->commands->next = bare;
  ASSERT_TRUE(SaveRemotes(log, list.head, path.c_str()));
  EXPECT_EQ(readFile(path), "TV 38000 500\nPower 16 a 20 df\n 16 b 20 df\nMute\n\n");
  OwnedList loaded{LoadRemotes(log, path.c_str(), devName, sizeof devName)};
  std::string why;
  EXPECT_TRUE(equalLists(loaded.head, list.head, why)) << why;
}

TEST_F(RemotesFileTest, EmptyListWritesEmptyFileWhichLoadsAsNull) {
  ASSERT_TRUE(SaveRemotes(log, nullptr, path.c_str()));
  EXPECT_EQ(readFile(path), "");
  EXPECT_EQ(LoadRemotes(log, path.c_str(), devName, sizeof devName), nullptr);
}

TEST_F(RemotesFileTest, MissingFileIsCreatedEmpty) {
  EXPECT_EQ(LoadRemotes(log, path.c_str(), devName, sizeof devName), nullptr);
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
    ASSERT_TRUE(SaveRemotes(quiet, list.head, path.c_str()));
    OwnedList loaded{LoadRemotes(quiet, path.c_str(), devName, sizeof devName)};
    std::string why;
    ASSERT_TRUE(equalLists(list.head, loaded.head, why)) << "round " << round << ": " << why;
  }
}

TEST_F(RemotesFileTest, FailedSaveLeavesTheOldFileAsItWas) {
  writeFile(path, "old content\n");
  // The temporary cannot be made: its name is taken by a directory.
  std::filesystem::create_directory(path + ".tmp");
  OwnedList list{exampleList()};
  EXPECT_FALSE(SaveRemotes(log, list.head, path.c_str()));
  EXPECT_EQ(readFile(path), "old content\n");
  EXPECT_NE(readFile(log.path).find("SaveRemotes:Err:"), std::string::npos);
}

TEST_F(RemotesFileTest, SaveIntoMissingDirectoryFailsCleanly) {
  OwnedList list{exampleList()};
  const std::string missing = dir.file("absent") + "/remotes.txt";
  EXPECT_FALSE(SaveRemotes(log, list.head, missing.c_str()));
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
  const bool saved = SaveRemotes(log, list.head, path.c_str());
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
  for (long failing = 0; failing < allocations; ++failing) {
    testing::failAllocationAfter(failing);
    Remote* partial = LoadRemotes(log, path.c_str(), devName, sizeof devName);
    EXPECT_EQ(partial, nullptr) << "allocation " << failing;
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
  ASSERT_TRUE(SaveRemotes(log, list.head, path.c_str()));
  OwnedList loaded{LoadRemotes(log, path.c_str(), devName, sizeof devName)};
  std::string why;
  EXPECT_TRUE(equalLists(list.head, loaded.head, why)) << why;
}

}  // namespace
}  // namespace tuner
