// The automatic configuration of each bus type: the settings of the "Interface" element with the identifier in the
// file at path, applied to the port.
#pragma once

#include <cstdint>

uint32_t Qor_InterfaceConfig_Can_Apply(uint32_t port, const char* path, const char* identifier);
uint32_t Qor_InterfaceConfig_Lin_Apply(uint32_t port, const char* path, const char* identifier);
uint32_t Qor_InterfaceConfig_FlexRay_Apply(uint32_t port, const char* path, const char* identifier);
uint32_t Qor_InterfaceConfig_Lvds_Apply(uint32_t port, const char* path, const char* identifier);
