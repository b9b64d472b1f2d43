// Serves a bench of virtual units at the user's rendezvous until "quit", end
// of input or a termination signal; one implementation per operating system.
#pragma once

#include <cstdint>

#include "commands.h"
#include "session.h"

namespace corvil::emulator {

// Returns the process exit code.
int serve(Bench &bench);

} // namespace corvil::emulator
