#pragma once

#include <functional>

namespace tarvik {

// Runs `work` on another thread under the busy cursor while this thread keeps the windows
// painted; user input waits until the work is done. For server operations that may take long.
void runWithBusyCursor(const std::function<void()>& work);

} // namespace tarvik
