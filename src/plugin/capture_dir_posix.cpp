#include "plugin/plugin_environment.h"

namespace tuner {
const char* captureDirectory() { return TUNER_NATIVE_CAPTURE_DIR; }
}  // namespace tuner
