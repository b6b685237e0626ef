// Data classification, the variable area and stack frames.
#include "engine.h"

namespace brevin {

void Engine::ClassifyByteRuns() {}
void Engine::ClassifyVariables() {}
void Engine::ListStackFrame() {}

}  // namespace brevin
