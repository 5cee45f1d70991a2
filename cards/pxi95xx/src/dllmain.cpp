// The shared library finds and connects the cards when it is loaded and releases them when it is unloaded.
#include <dlfcn.h>
#include <syslog.h>

#include "cards.hpp"

namespace {

__attribute__((constructor)) void connectCardsOnLoad() {
  Dl_info self{};
  const char* path = dladdr(reinterpret_cast<void*>(&connectCardsOnLoad), &self) != 0 && self.dli_fname != nullptr
                         ? self.dli_fname
                         : "libQorPxi95xx_API.so";
  syslog(LOG_INFO, "module %s loaded\n", path);
  qor::pxi95xx::moduleInit();
}

__attribute__((destructor)) void releaseCardsOnUnload() { qor::pxi95xx::moduleExit(); }

}  // namespace
