// Spin source lines beside the methods of the listing.
#include "engine.h"

namespace brevin {

void Engine::EmitMethodSource() {}

}  // namespace brevin
