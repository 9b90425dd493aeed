#include "service.h"

namespace tunerd {

void LastResults::set(const std::string& tuner, int code, const std::string& sentence,
                      const std::string& tuned) {
  Result result;
  std::vector<std::function<void(const std::string&, const Result&)>> listeners;
  {
    std::lock_guard<std::mutex> held(lock_);
    Result& kept = results_[tuner];
    kept.code = code;
    kept.sentence = sentence;
    if (!tuned.empty()) kept.channel = tuned;
    result = kept;
    listeners = listeners_;
  }
  for (const auto& listener : listeners) listener(tuner, result);
}

bool LastResults::get(const std::string& tuner, Result& result) const {
  std::lock_guard<std::mutex> held(lock_);
  const auto found = results_.find(tuner);
  if (found == results_.end()) return false;
  result = found->second;
  return true;
}

void LastResults::onChange(std::function<void(const std::string&, const Result&)> listener) {
  std::lock_guard<std::mutex> held(lock_);
  listeners_.push_back(std::move(listener));
}

}  // namespace tunerd
