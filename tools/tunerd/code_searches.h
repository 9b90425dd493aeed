// Code-set searches run from the web page: one per port, each in a thread of its own holding its
// blaster (other requests for it are told at once that a search runs). The page asks for the
// state every half second; a search nobody has asked about for kSearchWatch stops, so closing
// the page or losing the phone stops it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <nlohmann/json.hpp>

#include "code_search_steps.h"
#include "service.h"

namespace tunerd {

constexpr auto kSearchWatch = std::chrono::seconds(5);
constexpr std::size_t kMaxSearches = 8;

struct SearchRequest {
  std::string port;
  int ueitype = 0;
  int key = 1;
  int from = 0;
  int to = 0;
};

class CodeSearches {
 public:
  explicit CodeSearches(Service& service) : service_(service) {}
  ~CodeSearches();  // stops every search and waits for it
  CodeSearches(const CodeSearches&) = delete;
  CodeSearches& operator=(const CodeSearches&) = delete;

  // A new search's id; 0, with why, when one already runs on the port or too many run.
  int start(const SearchRequest& request, std::string& why);
  // The search's state as the page shows it; false for an id that is no search.
  bool state(int id, nlohmann::json& state);
  // The user saw the box react (while stepping), or answers the question it asked; false, with
  // why, when the search is not at that point.
  bool reacted(int id, std::string& why);
  bool answer(int id, bool yes, std::string& why);
  // Stops it after the key in flight; false for an id that is no search.
  bool stop(int id);

 private:
  enum class Phase { kWaiting, kStepping, kResending, kAsking, kConfirmed, kEnded };
  struct Search {
    int id = 0;
    SearchRequest asked;
    std::thread thread;
    // Below: under lock_.
    Phase phase = Phase::kWaiting;
    int code = -1;  // the code set sent last, or asked about
    int done = 0;
    double perCode = 0;
    tuner::RecentCodes recent;
    bool reacted = false;
    int answer = -1;  // 0 no, 1 yes, -1 none yet
    bool stop = false;
    std::string message;
    std::chrono::steady_clock::time_point seen;
  };
  void run(Search& search);
  // Presses each recent code again and asks; true once the user confirmed one.
  bool narrow(Search& search, tuner::OpenBlaster& blaster);
  bool stopped(Search& search);  // under lock_
  void end(Search& search, Phase phase, const std::string& message);

  Service& service_;
  std::mutex lock_;
  std::condition_variable changed_;
  std::map<int, std::unique_ptr<Search>> searches_;
  int lastId_ = 0;
};

}  // namespace tunerd
