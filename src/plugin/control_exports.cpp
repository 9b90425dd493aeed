// The exports that send keys to the tuner's blaster, and the two that tell how the calling
// thread's last one went.
#include <cstddef>
#include <cstring>
#include <string>

#include "blaster/serial_services.h"
#include "plugin/boundary.h"
#include "plugin/loaded_dev_name.h"
#include "plugin/plugin_environment.h"
#include "plugin/thread_results.h"
#include "plugin/tuner_dll.h"
#include "tuner/key_commands.h"

namespace {

// A control call's environment, its trace held open for the call.
tuner::ControlEnvironment controlEnvironment(tuner::TraceSession& trace) {
  tuner::DiagnosticLog log = tuner::pluginLog();
  log.session = &trace;
  return tuner::ControlEnvironment{log, tuner::tunerConfigPath(), tuner::platformSerial(),
                                   tuner::tuningRecipesPath(), tuner::channelMapPath()};
}

// Runs a control call on its environment and keeps its result; a call that ran out of memory
// says so.
template <typename Call>
void controlCall(Call call) {
  tuner::ControlResult outOfMemory;
  outOfMemory.code = TUNER_OUT_OF_MEMORY;
  tuner::rememberResult(tuner::guarded(outOfMemory, [&] {
    tuner::TraceSession trace;
    return call(controlEnvironment(trace));
  }));
}

}  // namespace

extern "C" {

void PlayCommand(const Remote* remote, const char* command) {
  controlCall([&](const tuner::ControlEnvironment& env) {
    return tuner::PlayCommand(env, remote, command);
  });
}

void MacroTune(int channel) {
  controlCall([&](const tuner::ControlEnvironment& env) {
    return tuner::MacroTune(env, channel, loadedDevName);
  });
}

}  // extern "C"

namespace {

// A control call with recipe settings from the host: settings out of range send nothing.
template <typename Tune>
void tuneWithSettings(const char* call, const tuner::RecipeSettings& settings, Tune tune) {
  controlCall([&](const tuner::ControlEnvironment& env) {
    // repeat is traced only where the call can give it.
    const std::string repeat = settings.repeatMs == tuner::kNotGiven
                                   ? std::string()
                                   : " repeat [" + std::to_string(settings.repeatMs) + "]";
    tuner::LogMessage(env.log, "%s:Start: digits [%d] before [%d] enter [%d] pause [%d]%s\n", call,
                      settings.digits, settings.before, settings.enter, settings.pauseMs,
                      repeat.c_str());
    const std::string problem = tuner::settingsProblem(settings);
    if (!problem.empty()) {
      tuner::LogMessage(env.log, "%s:Err:%s\n", call, problem.c_str());
      tuner::ControlResult result;
      result.code = TUNER_INVALID_SETTING;
      tuner::setField(result.setting, problem.c_str());
      return result;
    }
    return tune(env);
  });
}

}  // namespace

extern "C" {

void MacroTuneRecipe(int channel, int digits, int before, int enter, int pause_ms) {
  tuneWithSettings(
      "MacroTuneRecipe", {digits, before, enter, pause_ms},
      [&](const tuner::ControlEnvironment& env) {
        return tuner::MacroTune(env, channel, loadedDevName, {digits, before, enter, pause_ms});
      });
}

void MacroTuneChannel(const char* channel, int digits, int before, int enter, int pause_ms) {
  tuneWithSettings("MacroTuneChannel", {digits, before, enter, pause_ms},
                   [&](const tuner::ControlEnvironment& env) {
                     return tuner::MacroTuneChannel(env, channel, loadedDevName,
                                                    {digits, before, enter, pause_ms});
                   });
}

void MacroTuneSettings(const char* channel, const TunerRecipeSettings* given) {
  // Only the fields the host's size holds are read: a smaller record ends before the later ones.
  const auto field = [given](std::size_t offset) {
    int32_t value = tuner::kNotGiven;
    if (given != nullptr && given->size >= offset + sizeof(value)) {
      std::memcpy(&value, reinterpret_cast<const char*>(given) + offset, sizeof(value));
    }
    return value;
  };
  const tuner::RecipeSettings settings{
      field(offsetof(TunerRecipeSettings, digits)), field(offsetof(TunerRecipeSettings, before)),
      field(offsetof(TunerRecipeSettings, enter)), field(offsetof(TunerRecipeSettings, pause_ms)),
      field(offsetof(TunerRecipeSettings, repeat_ms))};
  tuneWithSettings("MacroTuneSettings", settings, [&](const tuner::ControlEnvironment& env) {
    return tuner::MacroTuneChannel(env, channel, loadedDevName, settings);
  });
}

int LastControlResult(void) { return tuner::lastResultCode(); }

const char* LastControlMessage(void) { return tuner::lastResultMessage(); }

}  // extern "C"
