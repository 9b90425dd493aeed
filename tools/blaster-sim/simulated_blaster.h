// The blaster blaster-sim plays: it takes the bytes the plug-in writes, frame by frame with the
// protocol's own reader, traces each frame, answers as a blaster does, and misbehaves as told.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "blaster/blaster_protocol.h"

struct SimulatorOptions {
  std::string link;
  std::string trace;
  bool silent = false;
  int versionBytes = static_cast<int>(tuner::protocol::kVersionReplyLength);
  bool noAck = false;
  int ackDelayMs = 0;
  long stopAfter = -1;
  bool hangUpOnKey = false;
  int boxUeitype = -1;  // the code set a simulated set-top box answers to; -1: no box
  int boxUeicode = -1;
};

class SimulatedBlaster {
 public:
  // Answers through master; reads the line settings the plug-in set on slave.
  SimulatedBlaster(const SimulatorOptions& options, int master, int slave, std::FILE* trace)
      : options_(options), master_(master), slave_(slave), trace_(trace) {}

  void receive(const std::uint8_t* data, std::size_t count);
  bool hungUp() const { return hungUp_; }

  // Milliseconds until a delayed acknowledgement is due, or -1.
  int msUntilDue() const;
  void sendDue();

 private:
  void traceLine(double at, const std::string& kind, const std::vector<std::uint8_t>& bytes,
                 const std::string& detail);
  void packet(const tuner::protocol::Frame& frame);
  void answer(const tuner::protocol::DecodedPacket& packet);
  void acknowledge();
  void reply(const std::vector<std::uint8_t>& bytes, const std::string& kind);
  bool answering() const {
    return !options_.silent && (options_.stopAfter < 0 || keysAcked_ < options_.stopAfter);
  }

  const SimulatorOptions& options_;
  int master_;
  int slave_;
  std::FILE* trace_;
  tuner::protocol::FrameReader reader_;
  long keysAcked_ = 0;
  bool hungUp_ = false;
  bool ackDue_ = false;
  double ackAt_ = 0;
  tuner::protocol::CodeSet keyCodeSet_{-1, -1};
  int key_ = 0;
};
