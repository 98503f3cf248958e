#pragma once

#include "run/RunState.h"

namespace tvk {

// The decision flow of one run once start-up is complete. It never passes a
// failure on; it may end the run itself (RunEnded) where a step says so.
void RunUpdate(RunState& state);

}  // namespace tvk
