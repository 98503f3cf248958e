#pragma once

#include <cstdio>
#include <string>

#include "platform/Platform.h"
#include "state/RunState.h"

namespace tvk {

// With /debug, the run's decisions on standard error. Never pass a password.
inline void Trace(const RunState& state, const std::string& line) {
    if (!state.debug) return;
    platform::WriteText(stderr, "tvkUpdateService: " + line + "\n");
}

}  // namespace tvk
