// The plug-in's exported boundary: the public header, which the plug-in is built against, with
// the records' layout asserted for this width.
#pragma once

#include "remotes/records.h"
#include "tunerdll.h"
