// velkor-sim's serving loop: the chip model behind the master side of a
// pseudo-terminal, on the real clock.
#pragma once

#include <csignal>
#include <iosfwd>

#include "sim/options.h"

namespace sim {

// Prints the slave's path as the first line of out, then serves until stop
// is set. Returns the exit code.
int ServePty(const SimOptions& options, volatile std::sig_atomic_t& stop, std::ostream& out, std::ostream& err);

}  // namespace sim
