#include "plugin/plugin_environment.h"

namespace tuner {
const char* configDirectory() { return TUNER_NATIVE_CONFIG_DIR; }
const char* traceDirectory() { return TUNER_NATIVE_TRACE_DIR; }
}  // namespace tuner
