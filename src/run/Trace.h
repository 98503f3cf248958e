#pragma once

#include <cstdio>
#include <string>

#include "run/RunState.h"

namespace tvk {

// With /debug, the run's decisions on standard error. Never pass a password.
inline void Trace(const RunState& state, const std::string& line) {
    if (!state.debug) return;
    std::fprintf(stderr, "tvkUpdateService: %s\n", line.c_str());
    std::fflush(stderr);
}

}  // namespace tvk
