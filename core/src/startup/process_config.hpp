// The process configuration file "/etc/Qor_API_Linux.ini".
#pragma once

#include "qor_client_state.h"

#define QOR_PROCESS_CONFIG_FILE "/etc/Qor_API_Linux.ini"

// inih handler: stores the known keys into the Qor_LinuxCfg_t that user points to; 0 for unknown ones.
int rdCfghandler(void* user, const char* section, const char* name, const char* value);

namespace qor::client {

// Parses the file into LinuxCfg and logs the outcome.
void loadProcessConfig(const char* path);

// Frees the configuration texts and clears their pointers.
void freeProcessConfig();

} // namespace qor::client
