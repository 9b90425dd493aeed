// Remote lists made the way a host makes them: its own heap blocks, linked through the exports.
#pragma once

#include "plugin_api.h"

// Two tuners' remotes of three commands each, and one whose names and flags hold every byte a
// text-mode read would lose.
Remote* buildSampleList(const PluginApi& api);
