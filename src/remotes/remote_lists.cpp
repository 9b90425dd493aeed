#include "remotes/remote_lists.h"

#include <cstdlib>
#include <cstring>

#include "remotes/heap.h"

namespace tuner {
namespace {

void* heapBlock(std::size_t size) {
  void* block = allocateBlock(size);
  if (block == nullptr) reportHeapExhausted();
  return block;
}

template <typename Record>
void appendAtEnd(Record* record, Record** head) {
  if (record == nullptr || head == nullptr) return;
  record->next = nullptr;
  if (*head == nullptr) {
    *head = record;
    return;
  }
  Record* last = *head;
  while (last->next != nullptr) last = last->next;
  last->next = record;
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
  appendAtEnd(remote, head);
}

void AddCommand(const DiagnosticLog& log, Command* command, Command** head) {
  LogMessage(log, "AddCommand:Start\n");
  appendAtEnd(command, head);
}

void releasePatterns(Pattern* patterns) {
  while (patterns != nullptr) {
    Pattern* pattern = patterns;
    patterns = pattern->next;
    std::free(pattern->bytes);
    std::free(pattern);
  }
}

void releaseCommands(Command* commands) {
  while (commands != nullptr) {
    Command* command = commands;
    commands = command->next;
    releasePatterns(command->patterns);
    std::free(command->name);
    std::free(command);
  }
}

void releaseRemotes(Remote* remotes) {
  while (remotes != nullptr) {
    Remote* remote = remotes;
    remotes = remote->next;
    releaseCommands(remote->commands);
    std::free(remote->name);
    std::free(remote);
  }
}

void FreeRemotes(const DiagnosticLog& log, Remote** head) {
  LogMessage(log, "FreeRemotes:Start\n");
  if (head == nullptr) return;
  releaseRemotes(*head);
  *head = nullptr;
}

}  // namespace tuner
