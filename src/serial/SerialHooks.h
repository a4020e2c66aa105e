// The idle hook's cadence while a thread waits in the serial layer (SerialHooks.cpp): every
// wait of a backend ends its slices when the hook is due, then runs it. Private to the serial
// library.
#pragma once

#include <chrono>

namespace kestrow::detail {

using WaitClock = std::chrono::steady_clock;
[[nodiscard]] WaitClock::time_point IdleHookDue();  // for the calling thread
void RunIdleHookIfDue();

}  // namespace kestrow::detail
