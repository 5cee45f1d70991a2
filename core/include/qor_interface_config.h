/* The interface configuration file: where it is, the names and identifiers of the interfaces it lists, rebuilding
 * its list from the connected interfaces and applying its settings when a port opens; besides, the version of the
 * programming interface and the firmware package functions, which this platform does not offer. */
#ifndef QOR_INTERFACE_CONFIG_H
#define QOR_INTERFACE_CONFIG_H

#include "qor_interface_list.h"

QOR_BEGIN_DECLS

/* ---- version and firmware package ---- */
/* 2.0.8457 */
QOR_API uint32_t Qor_InterfaceConfig_GetApiVersion(uint32_t* major, uint32_t* minor, uint32_t* build);
QOR_API uint32_t Qor_GetApiVersion(uint32_t* major, uint32_t* minor, uint32_t* build);
/* Not available on this platform: each records 0x200020B with an empty text for the process and returns it. */
QOR_API uint32_t Qor_InterfaceConfig_GetFirmwarePackageVersion_Installed(uint32_t* major, uint32_t* minor,
                                                                        uint32_t* build);
QOR_API uint32_t Qor_InterfaceConfig_GetFirmwarePackageVersion_Tested(uint32_t* major, uint32_t* minor,
                                                                     uint32_t* build);
QOR_API uint32_t Qor_InterfaceConfig_GetFirmwarePackageFilename(char* buffer, uint32_t* size);
QOR_API uint32_t Qor_InterfaceConfig_GetFirmwarePackageBinPath(char* buffer, uint32_t* size);
QOR_API uint32_t Qor_InterfaceConfig_SetConfigFilePath(const char* path);
QOR_API uint32_t Qor_GetFirmwarePackageVersion_Installed(uint32_t* major, uint32_t* minor, uint32_t* build);
QOR_API uint32_t Qor_GetFirmwarePackageVersion_Tested(uint32_t* major, uint32_t* minor, uint32_t* build);
/* Ends with the firmware package's code (0x200020B): nothing is sent to the device. */
QOR_API uint32_t Qor_UpdateToDedicatedFirmware(uint32_t port);

/* ---- the file ---- */
/* The "installDir" of "/etc/Qor_API_Linux.ini". *size: room in (it must hold the terminating NUL), length + 1 out. */
QOR_API uint32_t Qor_InterfaceConfig_GetInstallDir(char* buffer, uint32_t* size);
/* installDir + "/" + the "deviceCfg" file name; *size as above. */
QOR_API uint32_t Qor_InterfaceConfig_GetConfigFilePath(char* buffer, uint32_t* size);
/* The configuration's name; 0x2000108 when the file does not exist, else the XML library's result. */
QOR_API uint32_t Qor_InterfaceConfig_ConfigurationName_Get(uint32_t size, char* buffer);

/* ---- interfaces by identifier and by name ---- */
/* Room that every interface identifier fits into, with its NUL. */
#define QOR_INTERFACE_ID_SIZE 256u
/* "<serial>[_Ethernet|_UsbOverEthernet]_<controller>_<interface>_<TYPE WORD>", e.g. "12345_Ethernet_1_2_CAN".
 * *length: room of text in, length of the identifier (without the NUL) out. */
QOR_API uint32_t Qor_Interface_BuildInterfaceId(uint32_t serialNumber, uint32_t communicationType,
                                                uint8_t interfaceType, uint8_t controllerNumber,
                                                uint8_t interfaceNumber, uint32_t* length, char* text);
/* The descriptor of the interface that the file names so, its device number made current. */
QOR_API uint32_t Qor_InterfaceConfig_GetInterfaceInfoByName(const char* name, Qor_InterfaceInfo_t* info);
/* *size: room in, the name's length out. */
QOR_API uint32_t Qor_Interface_Name_Get(const Qor_InterfaceData_t* interface, uint32_t* size, char* name);
/* 0x2000208 when another interface carries the name already; an empty name clears the interface's name. */
QOR_API uint32_t Qor_Interface_Name_Set(const Qor_InterfaceData_t* interface, const char* name);

/* ---- the interface list of the file ---- */
/* Marks the file's interfaces available or not and adds the connected ones it lacks, creating the file if needed.
 * options[0]: 0 the configured file, 1 the file at path; options[1] is reserved (0). */
QOR_API uint32_t Qor_Interface_UpdateAllInterfaces(const char* path, const uint32_t options[2]);

/* ---- automatic configuration ---- */
/* Applies the file's settings to a CAN, LIN, LVDS or FlexRay port that holds the interface lock, when its
 * "EnableAutomaticConfiguration" is not 0; 0 when there is nothing to apply. */
QOR_API uint32_t Qor_InterfaceConfig_Apply(uint32_t port);

QOR_END_DECLS

#endif
