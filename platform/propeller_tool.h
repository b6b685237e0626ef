// Whether the Propeller Tool's window is open.
#pragma once

namespace brevin::platform {

// The Propeller Tool is a Windows program; on this platform no window of it can
// be found by title, so the answer is always false (the callers then behave as
// when the tool is closed).
bool PropellerToolRunning();

}  // namespace brevin::platform
