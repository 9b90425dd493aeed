// Every bound tunerd holds its clients to, in one place: the usage text and the manual page's
// table of limits say these (a test holds the one to the other), and each part of tunerd takes
// its own from here. What one request may ask is the core's (tuner/request_limits.h).
#pragma once

#include <chrono>
#include <cstddef>

#include "tuner/request_limits.h"

namespace tunerd {

// LIRC clients: at once, of one user (a uid on the socket, an address on TCP), over TCP.
constexpr std::size_t kMaxClients = 64;
constexpr std::size_t kMaxClientsPerUser = 16;
constexpr std::size_t kMaxTcpClients = 16;
// A request line, line feed included; a longer one ends the connection.
constexpr std::size_t kMaxRequestLength = 1024;
// A LIRC client that sends no whole request for this long is closed.
constexpr auto kClientIdle = std::chrono::seconds(60);
// Every client takes its answers within this, or is closed.
constexpr auto kSendDeadline = std::chrono::seconds(5);
// Clients turned away are told why: this many at once, of one user, each for this long.
constexpr std::size_t kMaxRefusing = 32;
constexpr std::size_t kMaxRefusingPerUser = 4;
constexpr auto kRefusalWait = std::chrono::seconds(1);

// HTTP clients: their own room, of which one address has kMaxClientsPerUser.
constexpr std::size_t kMaxWebClients = 32;
// An HTTP request: whole within kRequestTime, its head and its body each of at most so many
// bytes; kWebIdle between requests.
constexpr auto kRequestTime = std::chrono::seconds(10);
constexpr std::size_t kMaxHeadBytes = 16 * 1024;
constexpr std::size_t kMaxBodyLength = 16 * 1024;
constexpr std::size_t kMaxRequestBytes = kMaxHeadBytes + kMaxBodyLength;
constexpr auto kWebIdle = std::chrono::seconds(30);
constexpr int kMaxRequestsPerConnection = 1000;

// A blaster's turn: a client keeps it between requests that follow within kHold, for the keys
// of one request at most while others wait; nobody waits longer than the core's turn wait. A
// port stays open kPortIdle unused.
constexpr auto kHold = std::chrono::milliseconds(500);
constexpr int kHoldPresses = tuner::kMaxPresses;
constexpr auto kTurnWait = std::chrono::seconds(tuner::kTurnWaitSeconds);
constexpr auto kPortIdle = std::chrono::milliseconds(2000);

// Code-set searches: at once; a search stops unwatched for kSearchWatch, and when a question
// stays unanswered for kQuestionWait.
constexpr std::size_t kMaxSearches = 8;
constexpr auto kSearchWatch = std::chrono::seconds(5);
constexpr auto kQuestionWait = std::chrono::seconds(60);

// Requests that do not wait for their keys: waiting at most, and the workers that run them.
constexpr std::size_t kMaxBackground = 32;
constexpr int kBackgroundWorkers = 4;

// MQTT: commands waiting, and presses of one tuner among them; a channel payload's bytes; a
// try to connect given up unanswered, and tries at most so far apart.
constexpr std::size_t kMaxMqttCommands = 32;
constexpr std::size_t kMaxMqttPresses = tuner::kMaxPresses;
constexpr std::size_t kMaxMqttPayload = 32;
constexpr std::size_t kMaxMqttFavourite = 128;  // a favourite's name
constexpr auto kConnectWait = std::chrono::seconds(10);
constexpr auto kMostBetweenTries = std::chrono::seconds(60);
constexpr int kMqttWorkers = 4;

// A password or token file's bytes.
constexpr std::size_t kMaxSecretFile = 4096;

}  // namespace tunerd
