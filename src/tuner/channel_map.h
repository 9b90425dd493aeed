// Channel maps and favourites: channels.txt beside the tuner file, one line per channel,
// "TUNER=CHANNEL [as BOX_CHANNEL] [NAME...]". A channel with a line is sent as its box channel;
// a channel's name stands for it wherever a channel is given as text, whatever its case. A
// channel without a line, or a tuner without the file, is sent as it always was.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "tuner/channel_text.h"

namespace tuner {

struct ChannelEntry {
  int line = 0;
  bool comment = false;  // blank, or beginning with # or ;
  std::string tuner;     // every character before the first "="
  Channel channel;       // as the recorder knows it
  Channel box;           // as the box wants it: the channel itself unless "as" is given
  bool boxGiven = false;
  std::string name;     // empty: none
  std::string problem;  // why the line cannot be used; empty when it can
};

// Every line of the file at path, in order, until visit returns false; false when it cannot be
// read (it does not exist, say).
bool walkChannelFile(const std::string& path,
                     const std::function<bool(const ChannelEntry&)>& visit);

// The usable lines of a tuner, the first of each channel; with anyCase the tuner's name matches
// whatever its case, a line spelt exactly so first.
std::vector<ChannelEntry> channelsOf(const std::string& path, const std::string& tuner,
                                     bool anyCase = false);

// What is sent for a channel asked as text: a channel (its line, if it has one) or the name of
// one of the tuner's lines.
struct AskedChannel {
  Channel sent;         // the channel to send
  Channel asked;        // the channel as the recorder knows it (its number, for a name)
  std::string named;    // as it was asked, where a line maps it: "101" or "BBC One HD"
  bool mapped = false;  // a line of the file gave it
};

// False when the text is neither a channel nor the name of one of the tuner's channels.
bool resolveChannel(const std::string& path, const std::string& tuner, bool anyCase,
                    const std::string& text, AskedChannel& resolved);
// The same for a channel already read.
AskedChannel resolveChannel(const std::string& path, const std::string& tuner, bool anyCase,
                            const Channel& channel);

}  // namespace tuner
