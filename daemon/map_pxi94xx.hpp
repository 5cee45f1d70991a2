// The access path of the 94xx cards: the card library, loaded by name, moves firmware frames through the rings of
// each card; the path probes the cards at start and lists them (message 0x17); a port's reads wait for the card's
// interrupt through the library.
#pragma once

#include <memory>

#include "access_path.hpp"
#include "loaded_library.hpp"

namespace qor::daemon {

// The path over this library ("libPxi94xx.so" for the program).
std::unique_ptr<AccessPath> makePxi94xxPath(std::unique_ptr<LoadedLibrary> library);
std::unique_ptr<AccessPath> makePxi94xxPath();

} // namespace qor::daemon
