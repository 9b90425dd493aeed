// Putting a fully written file in the place of another in one step.
#pragma once

namespace tuner {

// Renames from over to, replacing to if it exists. Returns whether it did.
bool replaceFile(const char* from, const char* to);

}  // namespace tuner
