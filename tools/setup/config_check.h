// `tunerctl check`: every line of a tuner configuration file, read with the plug-in's own lookup.
#pragma once

#include <ostream>
#include <string>
#include <vector>

// `tunerctl check` and tunerd's page: the tuner file (under a heading that names it), then the
// tuning recipes, the button names and the channel map beside it. Returns 0 when every line is
// usable, else 1.
int checkFiles(const std::string& tunerFile, bool probe, std::ostream& out, std::ostream& err);

// Prints one diagnosis per line; with probe, also opens each usable line's port and probes for a
// blaster. Returns 0 when every line is usable, 1 otherwise (or when the file cannot be read).
// Problems with the file as a whole go to err, a line each, for the caller to say in its way.
int checkTunerConfig(const std::string& path, bool probe, std::ostream& out, std::ostream& err);

// What stops the trace at tracePath from being written by this user, as a sentence; empty when
// it is written or there is none (the trace is off).
std::string traceProblem(const std::string& tracePath);

// Why no blaster can be used on the port (it does not exist, permission denied, busy, no
// answer) in the plug-in's own words, or empty when one answered to its probe; code, when
// given, is the result number of that cause (TUNER_DONE when one answered).
std::string probeProblem(const std::string& port, int* code = nullptr);

// `tunerctl find`: probes the given ports, or every serial port the machine has, all at once,
// and prints each port where a blaster answered with a tuner.txt line to start from; with
// onlyUnused, a port that another program has open is not probed. Every port probed is left
// with the line settings it had. Returns 0 when one answered, else 1.
int findBlasters(const std::vector<std::string>& ports, std::ostream& out, std::ostream& err,
                 bool onlyUnused = false);
