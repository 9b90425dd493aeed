// What the library entry does for the threads' results, and nothing more.
#pragma once

namespace tuner {

// A thread ends: its result block is released.
void releaseThreadResult();
// The plug-in is unloaded: the calling thread's block and the thread-local index go.
void releaseThreadResults();

}  // namespace tuner
