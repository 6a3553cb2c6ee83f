#pragma once

// The console's code page that Utf8Console replaced, for the console event
// handler to put back: the process ends there without running destructors,
// and the console (the user's shell) outlives it. 0 while there is none.

#include <atomic>

namespace delvora {

std::atomic<unsigned>& CodePageToRestore();

}  // namespace delvora
