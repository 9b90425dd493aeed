#include "remotes/remote_lists.h"

#include <cstdlib>
#include <cstring>

#include "remotes/heap.h"
#include "remotes/list_walk.h"

namespace tuner {
namespace {

void* heapBlock(std::size_t size) {
  void* block = allocateBlock(size);
  if (block == nullptr) reportHeapExhausted();
  return block;
}

// Appends record at the end, or refuses (the list unchanged) with the problem: a record that is
// already in the list would make it loop back on itself.
template <typename Record>
const char* appendAtEnd(Record* record, Record** head) {
  if (record == nullptr || head == nullptr) return nullptr;
  if (loopClosing<Record>(*head) != nullptr) return "the list loops back on itself";
  Record* last = nullptr;
  for (Record* walked = *head; walked != nullptr; walked = walked->next) {
    if (walked == record) return "the record is already in the list";
    last = walked;
  }
  record->next = nullptr;
  if (last == nullptr) {
    *head = record;
  } else {
    last->next = record;
  }
  return nullptr;
}

}  // namespace

unsigned char* byte_space(const DiagnosticLog& log, std::size_t n) {
  LogMessage(log, "byte_space:Start\n");
  return static_cast<unsigned char*>(heapBlock(n));
}

Pattern* create_pat_node(const DiagnosticLog& log) {
  LogMessage(log, "create_pat_node:Start\n");
  return static_cast<Pattern*>(heapBlock(sizeof(Pattern)));
}

char* String_Space(const DiagnosticLog& log, const char* text) {
  LogMessage(log, "String_Space:Start\n");
  const std::size_t size = std::strlen(text) + 1;
  auto* copy = static_cast<char*>(heapBlock(size));
  if (copy != nullptr) std::memcpy(copy, text, size);
  return copy;
}

Command* CreateCommand(const DiagnosticLog& log, char* name, Pattern* patterns) {
  LogMessage(log, "CreateCommand:Start\n");
  auto* command = static_cast<Command*>(heapBlock(sizeof(Command)));
  if (command == nullptr) return nullptr;
  command->name = name;
  command->patterns = patterns;
  command->next = nullptr;
  return command;
}

Remote* CreateRemote(const DiagnosticLog& log, char* name, std::uint32_t carrier_freq,
                     std::uint32_t bit_time, Command* commands) {
  LogMessage(log, "CreateRemote:Start\n");
  auto* remote = static_cast<Remote*>(heapBlock(sizeof(Remote)));
  if (remote == nullptr) return nullptr;
  remote->name = name;
  remote->carrier_freq = carrier_freq;
  remote->bit_time = bit_time;
  remote->commands = commands;
  remote->next = nullptr;
  return remote;
}

void AddRemote(const DiagnosticLog& log, Remote* remote, Remote** head) {
  LogMessage(log, "AddRemote:Start\n");
  if (const char* problem = appendAtEnd(remote, head)) {
    LogMessage(log, "AddRemote:Err: %s, remote not added\n", problem);
  }
}

void AddCommand(const DiagnosticLog& log, Command* command, Command** head) {
  LogMessage(log, "AddCommand:Start\n");
  if (const char* problem = appendAtEnd(command, head)) {
    LogMessage(log, "AddCommand:Err: %s, command not added\n", problem);
  }
}

// Each element once, even of a list that loops back on itself.
void releasePatterns(Pattern* patterns) {
  walkList(patterns, [](Pattern* pattern) {
    std::free(pattern->bytes);
    std::free(pattern);
  });
}

void releaseCommands(Command* commands) {
  walkList(commands, [](Command* command) {
    releasePatterns(command->patterns);
    std::free(command->name);
    std::free(command);
  });
}

void releaseRemotes(Remote* remotes) {
  walkList(remotes, [](Remote* remote) {
    releaseCommands(remote->commands);
    std::free(remote->name);
    std::free(remote);
  });
}

void FreeRemotes(const DiagnosticLog& log, Remote** head) {
  LogMessage(log, "FreeRemotes:Start\n");
  if (head == nullptr) return;
  releaseRemotes(*head);
  *head = nullptr;
}

}  // namespace tuner
