// Feeds arbitrary bytes to the tuner configuration lookup as the file it reads, with the trace
// on, in a directory of the run's own that is removed at exit.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "tuner/tuner_config.h"
#include "work_directory.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = fuzzing::workDirectory() + "/tuner.txt";
  const tuner::DiagnosticLog log{fuzzing::workDirectory() + "/TunerDLL.log"};
  std::FILE* trace = std::fopen(log.path.c_str(), "w");
  if (trace != nullptr) std::fclose(trace);
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return 0;
  std::fwrite(data, 1, size, file);
  std::fclose(file);

  // Look up the name the input starts with, so that matches happen as well as misses.
  std::string input(reinterpret_cast<const char*>(data), size);
  tuner::skipByteOrderMark(input);
  const std::string wanted = input.substr(0, input.find_first_of("=\n"));
  char comPort[tuner::kMaxPortNameLength + 1];
  std::memset(comPort, 0x55, sizeof comPort);
  int ueitype = 0;
  int ueicode = 0;
  const int found = tuner::ReadCfgFile(log, path, wanted.c_str(), comPort, &ueitype, &ueicode);
  if (found == 1 && std::memchr(comPort, '\0', sizeof comPort) == nullptr) std::abort();
  tuner::TunerLine parsed;
  if (tuner::parseTunerLine(input, parsed) == tuner::TunerLineProblem::kNone &&
      parsed.port.size() > tuner::kMaxPortNameLength) {
    std::abort();
  }
  return 0;
}
