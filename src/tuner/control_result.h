// What a control call did, for the host that asks: a result number of the public header and the
// details its sentence names. Fixed-size, so that it can be kept when the heap is exhausted.
#pragma once

#include <cstddef>
#include <string>

#include "blaster/port_setup.h"
#include "tuner/tuner_config.h"
#include "tunerdll.h"

namespace tuner {

struct ControlResult {
  int code = TUNER_NO_CALL_YET;
  const char* what = "key";  // "channel" or "key": what number names
  int number = 0;            // the channel, the key, or the bytes of the version reply
  int limit = 0;             // the most a request may ask ({limit})
  const char* part = "";     // what an unusable tuner line lacks
  char tuner[64] = {};
  char port[kMaxPortNameLength + 1] = {};
  char command[64] = {};
  char config[260] = {};
  char setting[96] = {};     // what is wrong with a recipe setting
  char numberText[96] = {};  // the number as text where it is no whole number ("4.1")
};

// Every way a call can go, each with one code and one sentence: the sentence of each result,
// with {what} {number} {limit} {part} {tuner} {port} {command} {config} {setting} in place of
// its details, and
// [...] around a part that is left out when a detail in it is empty (a port tried on its own has
// no tuner); null for a number that is no result. The user guide's table of result numbers shows
// these texts, and tunerctl says the same.
const char* resultTemplate(int code);

// Writes the result's sentence into text (capacity bytes, zero-terminated, cut if need be).
void describeResult(const ControlResult& result, char* text, std::size_t capacity);

// Writes the result's sentence into a string.
std::string resultSentence(const ControlResult& result);

// The result a port that could not be opened, set up or probed stands for; the result set to it
// (its code, and the bytes a probe got back); the sentence of it for the port alone (no tuner,
// no file).
int portResultCode(const PortProblem& problem);
void setPortProblem(ControlResult& result, const PortProblem& problem);
std::string portProblemSentence(const char* port, const PortProblem& problem);

// The result of a lookup that found no usable line.
int lookupResultCode(const TunerLookup& lookup);

// What an unusable tuner line lacks, as the sentence of TUNER_LINE_UNUSABLE names it ({part}).
const char* tunerLinePart(TunerLineProblem problem);

// Copies text into a fixed field, cut to fit.
template <std::size_t N>
void setField(char (&field)[N], const char* text) {
  std::size_t i = 0;
  for (; text != nullptr && text[i] != '\0' && i + 1 < N; ++i) field[i] = text[i];
  field[i] = '\0';
}

}  // namespace tuner
