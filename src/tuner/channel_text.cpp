#include "tuner/channel_text.h"

namespace tuner {
namespace {

bool allDigits(const std::string& text) {
  return !text.empty() && text.size() <= kMaxChannelPartDigits &&
         text.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

bool readChannel(const std::string& text, Channel& channel) {
  const std::size_t separator = text.find_first_of(".-");
  const std::string major = text.substr(0, separator);
  const std::string minor = separator == std::string::npos ? "" : text.substr(separator + 1);
  if (!allDigits(major) || (separator != std::string::npos && !allDigits(minor))) return false;
  channel.major = std::stoi(major);
  channel.minor = minor;
  return channel.major >= 1;
}

std::string channelText(const Channel& channel) {
  return std::to_string(channel.major) + (channel.minor.empty() ? "" : "." + channel.minor);
}

}  // namespace tuner
