#pragma once

#include "state/RunState.h"

namespace tvk {

// The decision flow of one run once start-up is complete: the descriptor, the
// filter, the notice and the setup. A step that fails is skipped; a step may
// end the run itself (RunEnded).
void RunUpdate(RunState& state);

}  // namespace tvk
