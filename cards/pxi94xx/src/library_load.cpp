// The shared library opens the cards when it is loaded and closes them when it is unloaded.
#include <syslog.h>

#include "Pxi94xx.h"

namespace {

__attribute__((constructor)) void openCardsOnLoad() {
  const uint32_t status = Pxi94xx__Init();
  if (status == 0) {
    syslog(LOG_INFO, "PLX API DLL v%d.%02d (%d-bit) - built %s %s\n", PLX_DRIVER_VERSION_MAJOR,
           PLX_DRIVER_VERSION_MINOR, 64, __DATE__, __TIME__);
  } else if (status == PLX_STATUS_NO_DRIVER) {
    syslog(LOG_ERR, "'Pxi94xx__Init' failed with no driver\n");
  }
}

__attribute__((destructor)) void closeCardsOnUnload() {
  syslog(LOG_INFO, "PLX API DLL v%d.%02d (%d-bit) - closed\n", PLX_DRIVER_VERSION_MAJOR, PLX_DRIVER_VERSION_MINOR,
         64);
  Pxi94xx__Close();
}

}  // namespace
