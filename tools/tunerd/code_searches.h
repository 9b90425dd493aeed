// Code-set searches run from the web page: one per blaster, each in a thread of its own holding
// it (other requests for it are told at once that a search runs). A search is known by an id of
// 128 random bits that only the page that started it is told. The page says every half second
// that it still watches; a search whose page has not said so for kSearchWatch stops, and so
// does one whose question stays unanswered for kQuestionWait, so that closing the page or
// losing the phone frees the blaster. Once stopped, no further code set is sent.
#pragma once

#include "service_limits.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <nlohmann/json.hpp>

#include "code_search_loop.h"
#include "code_search_steps.h"
#include "service.h"

namespace tunerd {

// What a search is asked to do: the one search's plan.
using SearchRequest = tuner::CodeSearchPlan;

class CodeSearches {
 public:
  explicit CodeSearches(Service& service) : service_(service) {}
  ~CodeSearches();  // stops every search and waits for it
  CodeSearches(const CodeSearches&) = delete;
  CodeSearches& operator=(const CodeSearches&) = delete;

  enum class Started { kStarted, kBusy, kNoThread };
  // Starts a search on the blaster at device (the port's device, as the pool knows it); its id,
  // or why not: one runs on that blaster already, too many run, or no thread could be made.
  Started start(const SearchRequest& request, const std::string& device, std::string& id,
                std::string& why);
  // The search's state as the page shows it; false for an id that is no search. watch also
  // tells the search that its page still watches it.
  bool state(const std::string& id, nlohmann::json& state);
  bool watch(const std::string& id, nlohmann::json& state);
  // The user saw the box react (while stepping), or answers the question it asked; false, with
  // why, when the search is not at that point.
  bool reacted(const std::string& id, std::string& why);
  bool answer(const std::string& id, bool yes, std::string& why);
  // Stops it after the key in flight; false for an id that is no search.
  bool stop(const std::string& id);

 private:
  enum class Phase { kWaiting, kStepping, kResending, kAsking, kConfirmed, kEnded };
  struct Search {
    std::string id;
    std::uint64_t connection = 0;  // as it holds its blaster
    SearchRequest asked;
    std::string device;
    std::thread thread;
    // Below: under lock_.
    Phase phase = Phase::kWaiting;
    int code = -1;  // the code set sent last, or asked about
    int done = 0;
    double perCode = 0;
    bool reacted = false;
    int answer = -1;  // 0 no, 1 yes, -1 none yet
    bool stop = false;
    bool unanswered = false;  // a question waited kQuestionWait in vain
    std::string message;
    std::chrono::steady_clock::time_point seen;
  };
  // The page as the one search's asker: what it said, kept in the search's state.
  class Asker;
  void run(Search& search);
  bool stopped(Search& search);  // under lock_
  void end(Search& search, Phase phase, const std::string& message);
  void endStopped(Search& search);                      // under lock_
  Search* find(const std::string& id);                  // under lock_
  nlohmann::json describe(const Search& search) const;  // under lock_

  Service& service_;
  std::mutex lock_;
  std::condition_variable changed_;
  std::map<std::string, std::unique_ptr<Search>> searches_;
  std::uint64_t lastConnection_ = 0;
};

}  // namespace tunerd
