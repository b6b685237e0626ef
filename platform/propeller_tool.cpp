#include "propeller_tool.h"

namespace brevin::platform {

bool PropellerToolRunning() { return false; }

}  // namespace brevin::platform
