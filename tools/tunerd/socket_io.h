// A client socket's sends and hang-ups, the same for every protocol tunerd serves.
#pragma once

#include "service_limits.h"

#include <chrono>
#include <string>

namespace tunerd {

// Milliseconds from now until when, 0 once it has passed: a poll's time-out.
int msUntil(std::chrono::steady_clock::time_point when);

// Sends the whole text unless the client takes none of it for kSendDeadline or has gone.
bool sendWithin(int fd, const char* text, std::size_t size);
inline bool sendWithin(int fd, const std::string& text) {
  return sendWithin(fd, text.data(), text.size());
}

// Whether the client closed its end: what it sent and what it waits for are not wanted any more.
bool hungUp(int fd);

}  // namespace tunerd
