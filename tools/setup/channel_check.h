// `tunerctl check` and the page's check, fourth part: channels.txt beside the tuner file, line by
// line, each problem named with its line's number.
#pragma once

#include <ostream>
#include <string>

// The channel map that goes with the tuner file at tunerFile: channels.txt in its folder.
std::string channelFileBeside(const std::string& tunerFile);

// Prints one diagnosis per line of the channel map, if there is one: a channel or box channel
// that is no channel, a channel given twice for a tuner, a name used twice for one, a tuner the
// tuner file lacks, a sub-channel sent to a tuner whose recipe has no dot key. Returns 0 when
// there is no map or every line can be used, 1 otherwise.
int checkChannels(const std::string& channelFile, const std::string& tunerFile, std::ostream& out);
