#include "qor_client_state.h"

Qor_ClientInfo_t ClientInfo;
Qor_PortInfo_t PortInfo[QOR_PORT_TABLE_SIZE];
Qor_LinuxCfg_t LinuxCfg;
char modul_path[QOR_MODULE_PATH_SIZE];
char path_to_lib[255];
