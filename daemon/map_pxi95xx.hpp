// The access path of the 95xx cards: the card library, loaded by name, moves firmware frames through the command and
// response rings of each card; the path probes the cards at start, lists them (message 0x17) and answers the board
// requests (message 0x52); a port's reads wait for the card's message interrupt through the library.
#pragma once

#include <memory>

#include "access_path.hpp"
#include "loaded_library.hpp"

namespace qor::daemon {

// The path over this library ("libQorPxi95xx_API.so" for the program).
std::unique_ptr<AccessPath> makePxi95xxPath(std::unique_ptr<LoadedLibrary> library);
std::unique_ptr<AccessPath> makePxi95xxPath();

} // namespace qor::daemon
