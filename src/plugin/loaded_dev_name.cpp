#include "plugin/loaded_dev_name.h"

char loadedDevName[256];
