#include "plugin/plugin_environment.h"

namespace tuner {
const char* configDirectory() { return "c:\\capture\\"; }
const char* traceDirectory() { return "c:\\capture\\"; }
}  // namespace tuner
