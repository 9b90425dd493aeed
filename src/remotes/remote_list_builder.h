// Builds a remote list line by line as the reader parses it: a remote, its commands and their
// patterns are made and appended once each is complete. Whatever is still being built when the
// builder is destroyed (the heap ran out) is released.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "log/diagnostic_log.h"
#include "remotes/records.h"
#include "remotes/remote_lists.h"
#include "remotes/remotes_tokens.h"

namespace tuner {

class ListBuilder {
 public:
  explicit ListBuilder(const DiagnosticLog& log) : log_(log) {}
  ListBuilder(const ListBuilder&) = delete;
  ListBuilder& operator=(const ListBuilder&) = delete;
  ~ListBuilder() {
    discardRemote();
    releaseRemotes(head_);
  }

  // Returns false when the heap ran out.
  bool startRemote(std::string_view name, std::uint32_t carrierFreq, std::uint32_t bitTime) {
    LogMessage(log_, "Add_Remote:Start\n");
    name_ = String_Space(log_, std::string(name).c_str());
    carrierFreq_ = carrierFreq;
    bitTime_ = bitTime;
    inRemote_ = true;
    LogMessage(log_, "Create_Command_List:Start\n");
    return name_ != nullptr;
  }

  bool inRemote() const { return inRemote_; }
  bool hasCommand() const { return commandName_ != nullptr; }

  // Starts a command; it is made and appended once all its patterns are read.
  bool startCommand(std::string_view name, const ParsedPattern* firstPattern) {
    if (!finishCommand()) return false;
    commandName_ = String_Space(log_, std::string(name).c_str());
    if (commandName_ == nullptr) return false;
    if (firstPattern != nullptr) {
      LogMessage(log_, "create_pat_list:Start\n");
      return addPattern(*firstPattern);
    }
    return true;
  }

  bool addPattern(const ParsedPattern& parsed) {
    Pattern* pattern = makePattern(parsed);
    if (pattern == nullptr) return false;
    if (lastPattern_ == nullptr) {
      patterns_ = pattern;
    } else {
      lastPattern_->next = pattern;
    }
    lastPattern_ = pattern;
    return true;
  }

  bool finishRemote() {
    if (!inRemote_) return true;
    if (!finishCommand()) return false;
    Remote* remote = CreateRemote(log_, name_, carrierFreq_, bitTime_, commands_);
    if (remote == nullptr) return false;
    LogMessage(log_, "AddRemote:Start\n");
    if (tail_ == nullptr) {
      head_ = remote;
    } else {
      tail_->next = remote;
    }
    tail_ = remote;
    forgetRemote();
    return true;
  }

  Remote* release() {
    Remote* head = head_;
    head_ = nullptr;
    tail_ = nullptr;
    return head;
  }

 private:
  Pattern* makePattern(const ParsedPattern& parsed) {
    Pattern* pattern = create_pat_node(log_);
    if (pattern == nullptr) return nullptr;
    pattern->bit_length = parsed.bitLength;
    pattern->r_flag = parsed.flag;
    pattern->length = static_cast<std::uint32_t>(parsed.bytes.size());
    pattern->next = nullptr;
    pattern->bytes = byte_space(log_, parsed.bytes.size());
    if (pattern->bytes == nullptr) {
      std::free(pattern);
      return nullptr;
    }
    if (!parsed.bytes.empty()) {
      std::memcpy(pattern->bytes, parsed.bytes.data(), parsed.bytes.size());
    }
    return pattern;
  }

  bool finishCommand() {
    if (commandName_ == nullptr) return true;
    Command* command = CreateCommand(log_, commandName_, patterns_);
    if (command == nullptr) return false;
    LogMessage(log_, "AddCommand:Start\n");
    if (lastCommand_ == nullptr) {
      commands_ = command;
    } else {
      lastCommand_->next = command;
    }
    lastCommand_ = command;
    forgetCommand();
    return true;
  }

  void discardRemote() {
    std::free(commandName_);
    releasePatterns(patterns_);
    std::free(name_);
    releaseCommands(commands_);
    forgetRemote();
  }

  void forgetCommand() {
    commandName_ = nullptr;
    patterns_ = nullptr;
    lastPattern_ = nullptr;
  }

  void forgetRemote() {
    forgetCommand();
    name_ = nullptr;
    commands_ = nullptr;
    lastCommand_ = nullptr;
    inRemote_ = false;
  }

  const DiagnosticLog& log_;
  Remote* head_ = nullptr;
  Remote* tail_ = nullptr;
  bool inRemote_ = false;
  char* name_ = nullptr;
  std::uint32_t carrierFreq_ = 0;
  std::uint32_t bitTime_ = 0;
  Command* commands_ = nullptr;
  Command* lastCommand_ = nullptr;
  // The command being read.
  char* commandName_ = nullptr;
  Pattern* patterns_ = nullptr;
  Pattern* lastPattern_ = nullptr;
};

}  // namespace tuner
