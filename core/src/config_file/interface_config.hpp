// The interface configuration file inside the library: where it is, and the settings read when a port opens.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "qor_client_state.h"

namespace qor::client {

// installDir + "/" + deviceCfg, or nothing while either is not configured; records nothing.
std::optional<std::string> configuredFilePath();

// The same, or 0x2000102 recorded for entry (for the process alone without one).
uint32_t configFilePath(Qor_PortInfo_t* entry, std::string& path);

// The installation directory, or 0x2000102 recorded for the process alone.
uint32_t installDirectory(std::string& directory);

// Whether the file can be opened for reading; 0, or 0x2010201 recorded for entry when it cannot be closed again.
uint32_t probeFile(Qor_PortInfo_t* entry, const std::string& path, bool& readable);

// Port property 9: "UseDedicatedFirmware" of the "Device" entry whose "id" is the port's device identifier.
uint32_t dedicatedFirmwareSetting(Qor_PortInfo_t& entry, uint32_t deviceIdentifier, uint32_t& value);

} // namespace qor::client
