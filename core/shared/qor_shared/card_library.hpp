// The 95xx card library, which the daemon (for its card path) and the client library (for DMA channels) both load
// by this name.
#pragma once

namespace qor {

inline constexpr char kPxi95xxLibraryName[] = "libQorPxi95xx_API.so";

} // namespace qor
