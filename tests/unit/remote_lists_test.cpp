#include "remotes/remote_lists.h"

#include "remotes/remotes_file.h"

#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

#include "temp_dir.h"
#include "test_heap.h"

namespace tuner {
namespace {

using testing::readFile;
using testing::TempDir;
using testing::writeFile;

char* heapText(const char* text) {
  char* copy = static_cast<char*>(std::malloc(std::strlen(text) + 1));
  std::strcpy(copy, text);
  return copy;
}

class RemoteListsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    writeFile(log.path, "");
    testing::failAllocationAfter(-1);
  }
  void TearDown() override { testing::failAllocationAfter(-1); }

  Remote* remote(const char* name) { return CreateRemote(log, heapText(name), 1, 2, nullptr); }

  TempDir dir;
  DiagnosticLog log{dir.file("TunerDLL.log")};
};

TEST_F(RemoteListsTest, AddRemoteAppendsInOrder) {
  Remote* head = nullptr;
  Remote* first = remote("a");
  AddRemote(log, first, &head);
  EXPECT_EQ(head, first);
  AddRemote(log, remote("b"), &head);
  AddRemote(log, remote("c"), &head);
  AddRemote(log, remote("d"), &head);
  std::string names;
  for (Remote* r = head; r != nullptr; r = r->next) names += r->name;
  EXPECT_EQ(names, "abcd");
  FreeRemotes(log, &head);
  EXPECT_EQ(head, nullptr);
}

TEST_F(RemoteListsTest, AppendedRemoteLosesItsOldLink) {
  Remote* head = nullptr;
  Remote* a = remote("a");
  Remote* b = remote("b");
  a->next = b;
  AddRemote(log, a, &head);
  EXPECT_EQ(head->next, nullptr);
  FreeRemotes(log, &head);
  std::free(b->name);
  std::free(b);
}

TEST_F(RemoteListsTest, CreateRemoteTakesItsArgumentsOver) {
  char* name = heapText("TV");
  Command* commands = CreateCommand(log, heapText("Power"), nullptr);
  Remote* r = CreateRemote(log, name, 38000, 500, commands);
  EXPECT_EQ(r->name, name);
  EXPECT_EQ(r->carrier_freq, 38000u);
  EXPECT_EQ(r->bit_time, 500u);
  EXPECT_EQ(r->commands, commands);
  EXPECT_EQ(r->next, nullptr);
  EXPECT_EQ(commands->patterns, nullptr);
  FreeRemotes(log, &r);
  EXPECT_EQ(readFile(log.path), "CreateCommand:Start\nCreateRemote:Start\nFreeRemotes:Start\n");
}

TEST_F(RemoteListsTest, AddCommandAppendsInOrder) {
  Command* head = nullptr;
  for (const char* name : {"1", "2", "3"}) {
    AddCommand(log, CreateCommand(log, heapText(name), nullptr), &head);
  }
  EXPECT_STREQ(head->name, "1");
  EXPECT_STREQ(head->next->next->name, "3");
  EXPECT_EQ(head->next->next->next, nullptr);
  Remote* r = CreateRemote(log, heapText("r"), 0, 0, head);
  FreeRemotes(log, &r);
}

TEST_F(RemoteListsTest, FreeRemotesOnEmptyListOnlyLogs) {
  Remote* head = nullptr;
  FreeRemotes(log, &head);
  EXPECT_EQ(head, nullptr);
  EXPECT_EQ(readFile(log.path), "FreeRemotes:Start\n");
}

TEST_F(RemoteListsTest, FreeRemotesReleasesEverythingOnceWhoeverMadeIt) {
  // Host-made blocks beside plug-in-made ones; LeakSanitizer and ASan catch any miss or repeat.
  Pattern* pattern = create_pat_node(log);
  pattern->bit_length = 16;
  pattern->length = 0;
  pattern->bytes = byte_space(log, 0);
  pattern->next = nullptr;
  auto* hostPattern = static_cast<Pattern*>(std::malloc(sizeof(Pattern)));
  *hostPattern = Pattern{8, 2, 'x', static_cast<unsigned char*>(std::malloc(2)), nullptr};
  pattern->next = hostPattern;
  Command* commands = nullptr;
  AddCommand(log, CreateCommand(log, String_Space(log, "Power"), pattern), &commands);
  AddCommand(log, CreateCommand(log, heapText("Mute"), nullptr), &commands);
  Remote* head = nullptr;
  AddRemote(log, CreateRemote(log, heapText("TV"), 1, 2, commands), &head);
  AddRemote(log, remote("empty"), &head);
  FreeRemotes(log, &head);
  EXPECT_EQ(head, nullptr);
}

TEST_F(RemoteListsTest, HelpersCopyAndLog) {
  char* copy = String_Space(log, "hello");
  EXPECT_STREQ(copy, "hello");
  unsigned char* bytes = byte_space(log, 0);
  EXPECT_NE(bytes, nullptr);
  std::free(copy);
  std::free(bytes);
  EXPECT_EQ(readFile(log.path), "String_Space:Start\nbyte_space:Start\n");
}

TEST_F(RemoteListsTest, ExhaustedHeapRequestsQuitAndReturnsNull) {
  testing::failAllocationAfter(0);
  EXPECT_EQ(byte_space(log, 10), nullptr);
  testing::failAllocationAfter(0);
  EXPECT_EQ(create_pat_node(log), nullptr);
  testing::failAllocationAfter(0);
  EXPECT_EQ(String_Space(log, "x"), nullptr);
  testing::failAllocationAfter(0);
  EXPECT_EQ(CreateCommand(log, nullptr, nullptr), nullptr);
  testing::failAllocationAfter(0);
  EXPECT_EQ(CreateRemote(log, nullptr, 0, 0, nullptr), nullptr);
  EXPECT_EQ(testing::quitRequests(), 1);
  EXPECT_EQ(readFile(log.path),
            "byte_space:Start\ncreate_pat_node:Start\nString_Space:Start\nCreateCommand:Start\n"
            "CreateRemote:Start\n");
}

TEST_F(RemoteListsTest, NullHeadPointersAreIgnored) {
  Remote* r = remote("a");
  Remote* other = remote("b");
  r->next = other;
  AddRemote(log, r, nullptr);
  AddCommand(log, nullptr, nullptr);
  FreeRemotes(log, nullptr);
  // Nothing was linked, cleared or released.
  EXPECT_EQ(r->next, other);
  EXPECT_STREQ(r->name, "a");
  EXPECT_EQ(readFile(log.path),
            "CreateRemote:Start\nCreateRemote:Start\nAddRemote:Start\nAddCommand:Start\n"
            "FreeRemotes:Start\n");
  FreeRemotes(log, &r);
  EXPECT_EQ(r, nullptr);
}

TEST_F(RemoteListsTest, ARecordAlreadyInTheListIsNotAddedAgain) {
  Remote* head = nullptr;
  Remote* a = remote("a");
  Remote* b = remote("b");
  AddRemote(log, a, &head);
  AddRemote(log, b, &head);
  AddRemote(log, a, &head);
  AddRemote(log, b, &head);
  EXPECT_EQ(head, a);
  EXPECT_EQ(a->next, b);
  EXPECT_EQ(b->next, nullptr);
  EXPECT_NE(readFile(log.path).find("AddRemote:Err: the record is already in the list, remote "
                                    "not added\n"),
            std::string::npos);
  Command* commands = nullptr;
  Command* power = CreateCommand(log, heapText("Power"), nullptr);
  AddCommand(log, power, &commands);
  AddCommand(log, power, &commands);
  EXPECT_EQ(power->next, nullptr);
  a->commands = commands;
  FreeRemotes(log, &head);
}

TEST_F(RemoteListsTest, AListThatLoopsBackIsWalkedOnceAndFreedOnce) {
  // Built by a host: the third remote points back to the second, and so does a command.
  Remote* head = remote("a");
  head->next = remote("b");
  head->next->next = remote("c");
  head->next->next->next = head->next;
  Command* on = CreateCommand(log, heapText("On"), nullptr);
  on->next = on;
  head->commands = on;
  EXPECT_EQ(formatRemotes(head), "a 1 2\nOn\n\nb 1 2\n\nc 1 2\n\n");
  Remote* extra = remote("d");
  AddRemote(log, extra, &head);
  EXPECT_EQ(extra->next, nullptr);
  EXPECT_NE(readFile(log.path).find("AddRemote:Err: the list loops back on itself"),
            std::string::npos);
  FreeRemotes(log, &head);
  EXPECT_EQ(head, nullptr);
  releaseRemotes(extra);
}

}  // namespace
}  // namespace tuner
