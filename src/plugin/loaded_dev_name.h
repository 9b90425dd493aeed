#pragma once

// Device name recorded by the last LoadRemotes, read by MacroTune as its tuner name. The
// plug-in's only global; empty at load. Calls must not overlap.
extern char loadedDevName[256];
