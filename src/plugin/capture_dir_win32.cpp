#include "plugin/plugin_environment.h"

namespace tuner {
const char* captureDirectory() { return "c:\\capture\\"; }
}  // namespace tuner
