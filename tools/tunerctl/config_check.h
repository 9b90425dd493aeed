// `tunerctl check`: every line of a tuner configuration file, read with the plug-in's own lookup.
#pragma once

#include <ostream>
#include <string>

// Prints one diagnosis per line; with probe, also opens each usable line's port and probes for a
// blaster. Returns 0 when every line is usable, 1 otherwise (or when the file cannot be read).
int checkTunerConfig(const std::string& path, bool probe, std::ostream& out);
