#include "tuner/channel_text.h"

#include <climits>

#include "common/whole_number.h"

namespace tuner {
namespace {

bool digitsOnly(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

bool readChannel(const std::string& text, Channel& channel) {
  const std::size_t separator = text.find_first_of(".-");
  const std::string major = text.substr(0, separator);
  const std::string minor = separator == std::string::npos ? "" : text.substr(separator + 1);
  if (!digitsOnly(major) || !parseWholeNumber(major, 1, INT_MAX, channel.major)) return false;
  if (separator == std::string::npos) {
    channel.minor.clear();
    return true;
  }
  if (!digitsOnly(minor) || minor.size() > kMaxChannelPartDigits) return false;
  channel.minor = minor;
  return true;
}

std::string channelText(const Channel& channel) {
  return std::to_string(channel.major) + (channel.minor.empty() ? "" : "." + channel.minor);
}

}  // namespace tuner
