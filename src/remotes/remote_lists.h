// Making, linking and releasing the remote, command and pattern records.
#pragma once

#include <cstddef>
#include <cstdint>

#include "log/diagnostic_log.h"
#include "remotes/records.h"

namespace tuner {

// Allocation helpers: null (after the quit request) when the heap is exhausted.
unsigned char* byte_space(const DiagnosticLog& log, std::size_t n);
Pattern* create_pat_node(const DiagnosticLog& log);
char* String_Space(const DiagnosticLog& log, const char* text);

// Record makers: the texts and lists given are taken over, not copied.
Command* CreateCommand(const DiagnosticLog& log, char* name, Pattern* patterns);
Remote* CreateRemote(const DiagnosticLog& log, char* name, std::uint32_t carrier_freq,
                     std::uint32_t bit_time, Command* commands);

// Append at the end of the list, walking it; the appended record's next becomes null.
void AddRemote(const DiagnosticLog& log, Remote* remote, Remote** head);
void AddCommand(const DiagnosticLog& log, Command* command, Command** head);

// Releases the whole list; the head is null afterwards.
void FreeRemotes(const DiagnosticLog& log, Remote** head);

// Release a remote list, a command list or a pattern list, silently.
void releaseRemotes(Remote* remotes);
void releaseCommands(Command* commands);
void releasePatterns(Pattern* patterns);

}  // namespace tuner
