// What tunerctl needs of the platform besides loading the plug-in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// A new, empty directory of the system's temporary files; empty on failure.
std::string makeTemporaryDirectory();
// Where makeTemporaryDirectory makes it.
std::string temporaryFilesDirectory();
void removeDirectory(const std::string& path);
std::string currentDirectory();
bool changeDirectory(const std::string& path);

// Whether name can be the name of a file in a directory (no separators or reserved characters).
bool usableFileName(const std::string& name);

// The serial ports the machine has, by the names tuner.txt uses (COM3, ttyUSB0).
std::vector<std::string> serialPortNames();

// The device a port name opens, with every link resolved (/dev/ttyUSB0 for
// /dev/serial/by-id/...), when it is a character device under /dev; else empty. The same device
// has the same answer however it is named.
std::string serialDevice(const std::string& port);

// Whether a program other than this one has the device open (a pseudo-terminal's other end, the
// program standing for the device, aside): a port in use is not probed from tunerd's page.
bool anotherProgramHas(const std::string& device);

// The name of a port that stays the same when its adapter is plugged in again (its link under
// /dev/serial/by-id/), or empty where it has none.
std::string stablePortName(const std::string& port);

// Runs work(0) ... work(count - 1) at the same time and returns once all are done.
void runConcurrently(std::size_t count, const std::function<void(std::size_t)>& work);

// Standard input as `search` reads it between keys, without waiting.
constexpr int kNoInput = -1;
constexpr int kEndOfInput = -2;
bool inputIsTerminal();
// On a terminal: keys arrive one at a time, unechoed (on), or as lines again (off).
void setSingleKeys(bool on);
// The next character typed or piped in ('\n' for Enter), kNoInput, or kEndOfInput.
int pollInput();

// The version the plug-in's version resource carries, or this build's where it has none.
std::string pluginVersion(const std::string& pluginPath);
