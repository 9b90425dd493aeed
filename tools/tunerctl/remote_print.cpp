#include "remote_print.h"

#include <cstdio>
#include <cstring>
#include <sstream>

#include "blaster/blaster_protocol.h"
#include "common/printable_text.h"

namespace {

std::string textOf(const char* text) { return text != nullptr ? tuner::printable(text) : "(null)"; }

std::string hexBytes(const Pattern& pattern) {
  if (pattern.length == 0) return std::string();
  return " " + tuner::protocol::hexText({pattern.bytes, pattern.bytes + pattern.length});
}

bool sameText(const char* a, const char* b) {
  return (a == nullptr || b == nullptr) ? a == b : std::strcmp(a, b) == 0;
}

std::string patternDifference(const Pattern* a, const Pattern* b) {
  for (int index = 0; a != nullptr || b != nullptr; ++index, a = a->next, b = b->next) {
    std::ostringstream where;
    where << "pattern " << index << ": ";
    if (a == nullptr || b == nullptr) return where.str() + "present in only one list";
    if (a->bit_length != b->bit_length) return where.str() + "bit lengths differ";
    if (a->r_flag != b->r_flag) return where.str() + "flags differ";
    if (a->length != b->length ||
        (a->length > 0 && std::memcmp(a->bytes, b->bytes, a->length) != 0)) {
      return where.str() + "bytes differ";
    }
  }
  return std::string();
}

std::string commandDifference(const Command* a, const Command* b) {
  for (int index = 0; a != nullptr || b != nullptr; ++index, a = a->next, b = b->next) {
    std::ostringstream where;
    where << "command " << index << ": ";
    if (a == nullptr || b == nullptr) return where.str() + "present in only one list";
    if (!sameText(a->name, b->name)) return where.str() + "names differ";
    const std::string patterns = patternDifference(a->patterns, b->patterns);
    if (!patterns.empty()) return where.str() + patterns;
  }
  return std::string();
}

}  // namespace

void printRemotes(std::ostream& out, const Remote* first) {
  if (first == nullptr) out << "  (no remotes)\n";
  for (const Remote* remote = first; remote != nullptr; remote = remote->next) {
    out << "  remote \"" << textOf(remote->name) << "\" carrier_freq " << remote->carrier_freq
        << " bit_time " << remote->bit_time << "\n";
    for (const Command* command = remote->commands; command != nullptr; command = command->next) {
      out << "    command \"" << textOf(command->name) << "\"\n";
      for (const Pattern* p = command->patterns; p != nullptr; p = p->next) {
        out << "      pattern bit_length " << p->bit_length << " flag '"
            << tuner::printable(std::string(1, p->r_flag)) << "' bytes " << p->length << ":"
            << hexBytes(*p) << "\n";
      }
    }
  }
}

std::string firstDifference(const Remote* a, const Remote* b) {
  for (int index = 0; a != nullptr || b != nullptr; ++index, a = a->next, b = b->next) {
    std::ostringstream where;
    where << "remote " << index << ": ";
    if (a == nullptr || b == nullptr) return where.str() + "present in only one list";
    if (!sameText(a->name, b->name)) return where.str() + "names differ";
    if (a->carrier_freq != b->carrier_freq) return where.str() + "carrier frequencies differ";
    if (a->bit_time != b->bit_time) return where.str() + "bit times differ";
    const std::string commands = commandDifference(a->commands, b->commands);
    if (!commands.empty()) return where.str() + commands;
  }
  return std::string();
}
