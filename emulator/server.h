// Serves a bench of virtual units at the user's rendezvous until "quit", end
// of input or a termination signal; one implementation per operating system.
#pragma once

#include <cstdint>

#include "commands.h"

namespace corvil::emulator {

// Milliseconds of a monotonic clock.
std::int64_t nowMs();

// Returns the process exit code.
int serve(Bench &bench);

} // namespace corvil::emulator
