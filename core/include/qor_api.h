/* The core library libqor_api: start-up, ports, the firmware command exchange and error texts. */
#ifndef QOR_API_H
#define QOR_API_H

#include <stdbool.h>

#include "qor_async.h"
#include "qor_bus_configuration.h"
#include "qor_error_codes.h"
#include "qor_fpga.h"
#include "qor_monitor.h"
#include "qor_network_adapters.h"
#include "qor_interface_config.h"
#include "qor_lvds_frames.h"
#include "qor_types.h"

QOR_BEGIN_DECLS

/* ---- error codes and texts ---- */
/* Stores code and formatted text for the port and the process and returns the code. */
QOR_API uint32_t Qor_ErrorHandler(uint32_t port, uint32_t code, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
QOR_API uint32_t Qor_GetLastErrorCode(void);
/* Valid until the calling thread's next call. */
QOR_API const char* Qor_GetLastErrorDescription(void);
QOR_API uint32_t Qor_GetLastErrorByPortHandle(uint32_t port, uint32_t* code, uint32_t* size, char* text);
QOR_API const char* Qor_GetErrorDescription(uint32_t code);
/* Copies at most *size bytes of the text; the copy carries no NUL when the text fills *size. */
QOR_API uint32_t Qor_GetErrorDescription2(uint32_t port, uint32_t code, uint32_t* size, char* text);

/* ---- opening and closing ports ---- */
/* Connects a port to the interface the descriptor names and identifies its controller. */
QOR_API uint32_t Qor_OpenInterface(const Qor_InterfaceInfo_t* info, uint32_t* port);
/* Flags: bit 0 skips the automatic configuration, bit 1 the boot-loader start, bit 2 the dedicated firmware. */
QOR_API uint32_t Qor_OpenInterface2(uint32_t flags, const Qor_InterfaceInfo_t* info, uint32_t* port);
QOR_API uint32_t Qor_CloseInterface(uint32_t port);

/* ---- the firmware command exchange ---- */
/* Mode 0 waits for the response, which must repeat the first controlDataLength bytes of params; mode 1 only sends
 * (the answer reaches the asynchronous callbacks). *size: capacity in, response length out. */
QOR_API uint32_t Qor_CommandWithResponseEx(uint32_t port, uint8_t mode, uint8_t command, uint8_t controlDataLength,
                                           const void* params, uint32_t length, void* response, uint32_t* size);
QOR_API uint32_t Qor_CommandWithResponse(uint32_t port, uint8_t command, const void* params, uint32_t length,
                                         void* response, uint32_t* size);
/* A command without response data; waits for the acknowledge while commands without response are synchronous. */
QOR_API uint32_t Qor_Command(uint32_t port, uint8_t command, const void* params, uint32_t length);

/* ---- ports ---- */
QOR_API uint32_t Qor_CheckPortHandle(uint32_t port);
QOR_API uint32_t Qor_GetInterfaceType(uint32_t port);
QOR_API uint32_t Qor_GetHostInterfaceType(uint32_t port);
QOR_API uint32_t Qor_GetInterfaceHost(uint32_t port);
QOR_API uint32_t Qor_GetInterfaceInfo(uint32_t port, Qor_InterfaceInfo_t* info);
QOR_API uint32_t Qor_GetParamSize(uint32_t port, uint32_t* size);
QOR_API uint32_t Qor_GetLockStatus(uint32_t port);
QOR_API uint32_t Qor_SetResponseTimeout(uint32_t port, uint32_t milliseconds);
QOR_API uint32_t Qor_GetResponseTimeout(uint32_t port);
QOR_API bool Qor_IsAsyncCommunicationEnabled(uint32_t port);
QOR_API uint32_t Qor_GetPropertyById(uint32_t port, Qor_PortPropertyId id, uint32_t* value);
QOR_API uint32_t Qor_SetPropertyById(uint32_t port, Qor_PortPropertyId id, uint32_t value);
QOR_API const char* Qor_GetHostInterfaceTypeDescription(uint32_t type);
/* Controller and interface locks of the port's device, held by the daemon for this process. */
QOR_API uint32_t Qor_GetLock(uint32_t port);
QOR_API uint32_t Qor_ReleaseLock(uint32_t port);
/* The port that switches the relays of the port's device; *opened tells that it was opened here (close it). */
QOR_API uint32_t Qor_GetRelayPort(uint32_t port, uint32_t* relayPort, uint8_t* opened);
QOR_API uint32_t Qor_IsClientConnectedToHardware(const Qor_InterfaceInfo_t* info, uint32_t* port);

/* ---- daemon control requests ---- */
QOR_API uint32_t Qor_GetDriverInfo(uint32_t hostInterfaceType, void* buffer, uint32_t* size);
QOR_API uint32_t Qor_RefreshDriverInfo(void);
QOR_API uint32_t Qor_SetFullSpeedPollingCycle(uint32_t milliseconds);
QOR_API uint32_t Qor_SetConnectionTimeout(uint32_t milliseconds, uint32_t* previous);

QOR_END_DECLS

#endif
