/* The controller behind a port: opening a port by its configured name, re-initialising and resetting the controller,
 * the firmware's version and error texts, and what the controller, its interfaces and its transceivers are. Each
 * information call has an asynchronous triple: _Async sends the request, _Async_AddCallback registers the
 * application's callback for the answers (on the port's callback thread; Qor_AsyncCommunication_Enable first),
 * _Async_RemoveCallback removes it. */
#ifndef QOR_COMMON_CONTROLLER_H
#define QOR_COMMON_CONTROLLER_H

#include "qor_types.h"

QOR_BEGIN_DECLS

/* Interface entries of Qor_Common_ControllerInfo_t, the one record of the synchronous call and the asynchronous
 * callback; a longer list is cut to this many. */
#define QOR_COMMON_MAX_INTERFACES 514u
/* Feature codes that an interface answer carries at most; the record has room for one more. */
#define QOR_COMMON_MAX_FEATURES 32u
#define QOR_COMMON_FEATURE_ROOM 33u
#define QOR_COMMON_MAX_TRANSCEIVERS 257u

typedef struct Qor_Common_InterfaceEntry_t {
  uint8_t interfaceType;   /* +0 Qor_InterfaceType */
  uint8_t interfaceNumber; /* +1 */
} Qor_Common_InterfaceEntry_t;

/* What a controller is (Qor_Common_GetControllerInfo and its asynchronous callback). */
typedef struct Qor_Common_ControllerInfo_t {
  uint32_t hostInterfaceType; /* +0 of the port */
  uint8_t controllerType;     /* +4 1 to 5, 0 for any other value of the firmware */
  uint8_t controllerSubtype;  /* +5 1 to 11, else 0 */
  uint8_t reserved1[2];       /* +6 0 */
  uint8_t bootLoaderRunning;  /* +8 1 while the boot loader runs */
  uint8_t reserved2[3];       /* +9 0 */
  uint32_t firstWord;         /* +12 the firmware's words at its answer's offsets 0, 28 and 32, unchanged */
  uint32_t secondWord;        /* +16 */
  uint32_t thirdWord;         /* +20 */
  uint32_t interfaceCount;    /* +24 entries filled, at most QOR_COMMON_MAX_INTERFACES */
  Qor_Common_InterfaceEntry_t interfaces[QOR_COMMON_MAX_INTERFACES]; /* +28 in the firmware's order; interfaces
                                                                         without an interface type are left out */
} Qor_Common_ControllerInfo_t;
QOR_STATIC_ASSERT(sizeof(Qor_Common_ControllerInfo_t) == 1056, "Qor_Common_ControllerInfo_t is 1056 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Common_ControllerInfo_t, bootLoaderRunning) == 8, "boot loader at 8");
QOR_STATIC_ASSERT(offsetof(Qor_Common_ControllerInfo_t, firstWord) == 12, "first word at 12");
QOR_STATIC_ASSERT(offsetof(Qor_Common_ControllerInfo_t, interfaceCount) == 24, "interface count at 24");
QOR_STATIC_ASSERT(offsetof(Qor_Common_ControllerInfo_t, interfaces) == 28, "interfaces at 28");

/* Feature codes of Qor_Common_InterfaceInfo_t, from the firmware's {kind, value} pairs: kind 1 on CAN 0x10000 + 0..4;
 * kind 2 on CAN 0x20000 for value 1, 0x200001..0x200005 for 2 to 6; kind 2 on LIN 0x200100..0x200101, on K-Line
 * 0x200200..0x200202; kind 3 0x300000..0x300003; kind 4 0x400000..0x400002; 0 for a pair without a code. */

/* What one interface is (Qor_Common_GetInterfaceInfo and its asynchronous callback). */
typedef struct Qor_Common_InterfaceInfo_t {
  uint8_t interfaceType; /* +0 Qor_InterfaceType; LIN and K-Line as the transceiver tells */
  uint8_t indexValid;    /* +1 1 when the firmware reports an index */
  uint8_t index;         /* +2 0 when not valid */
  uint8_t reserved;      /* +3 0 */
  uint32_t interfaceWord; /* +4 the firmware's word at its answer's offset 4, unchanged */
  uint32_t featureCount;  /* +8 at most QOR_COMMON_MAX_FEATURES */
  uint32_t features[QOR_COMMON_FEATURE_ROOM]; /* +12 QOR_COMMON_FEATURE_* codes in the firmware's order */
} Qor_Common_InterfaceInfo_t;
QOR_STATIC_ASSERT(sizeof(Qor_Common_InterfaceInfo_t) == 144, "Qor_Common_InterfaceInfo_t is 144 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Common_InterfaceInfo_t, interfaceWord) == 4, "interface word at 4");
QOR_STATIC_ASSERT(offsetof(Qor_Common_InterfaceInfo_t, features) == 12, "features at 12");

/* Transceiver codes: type 1 0x100 + 0..12, type 2 0x200 + 0..3, type 3 0x300/0x301, type 4 0x400 + 0..2,
 * type 5 0x500 + 0..2, type 8 0x600 + 0..3; 0 for a transceiver without a code. */
typedef struct Qor_Common_Transceiver_t {
  uint8_t channel; /* +0 */
  uint8_t flag;    /* +1 bit 0 of the firmware's flags */
  uint16_t code;   /* +2 */
} Qor_Common_Transceiver_t;

/* The controller's transceivers (Qor_Common_GetTransceiverInfo and its asynchronous callback). */
typedef struct Qor_Common_TransceiverInfo_t {
  uint8_t count;       /* +0 entries filled */
  uint8_t reserved[3]; /* +1 0 */
  Qor_Common_Transceiver_t transceivers[QOR_COMMON_MAX_TRANSCEIVERS]; /* +4 */
} Qor_Common_TransceiverInfo_t;
QOR_STATIC_ASSERT(sizeof(Qor_Common_TransceiverInfo_t) == 1032, "Qor_Common_TransceiverInfo_t is 1032 bytes");

/* The transceiver of the port's own interface. */
typedef struct Qor_Common_CurrentTransceiver_t {
  uint8_t channel;     /* +0 */
  uint8_t secondByte;  /* +1 as the firmware reports it */
  uint16_t code;       /* +2 as in Qor_Common_Transceiver_t */
  uint8_t flag;        /* +4 */
  uint8_t reserved[3]; /* +5 0 */
} Qor_Common_CurrentTransceiver_t;
QOR_STATIC_ASSERT(sizeof(Qor_Common_CurrentTransceiver_t) == 8, "Qor_Common_CurrentTransceiver_t is 8 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Common_CurrentTransceiver_t, flag) == 4, "flag at 4");

/* Which interface of the controller is the index-th of a type. */
typedef struct Qor_Common_InterfaceNumberRequest_t {
  uint32_t flags;        /* +0 0 */
  uint8_t interfaceType; /* +4 Qor_InterfaceType */
  uint8_t index;         /* +5 */
  uint16_t reserved;     /* +6 0 */
} Qor_Common_InterfaceNumberRequest_t;
QOR_STATIC_ASSERT(sizeof(Qor_Common_InterfaceNumberRequest_t) == 8, "interface number request is 8 bytes");

typedef struct Qor_Common_InterfaceNumberResult_t {
  uint8_t interfaceNumber; /* +0 */
  uint8_t reserved[3];     /* +1 0 */
} Qor_Common_InterfaceNumberResult_t;
QOR_STATIC_ASSERT(sizeof(Qor_Common_InterfaceNumberResult_t) == 4, "interface number result is 4 bytes");

/* Callbacks of the asynchronous triples, on the port's callback thread; the records are valid during the call. */
typedef void (*Qor_Common_GetFirmwareVersion_Callback_t)(uint32_t port, const uint8_t* text, uint32_t length);
typedef void (*Qor_Common_GetControllerInfo_Callback_t)(uint32_t port, const Qor_Common_ControllerInfo_t* info);
typedef void (*Qor_Common_GetInterfaceInfo_Callback_t)(uint32_t port, const Qor_Common_InterfaceInfo_t* info);
typedef void (*Qor_Common_GetTransceiverInfo_Callback_t)(uint32_t port, const Qor_Common_TransceiverInfo_t* info);

/* ---- opening and closing ---- */
/* Opens the interface that the interface configuration file lists under this name, then checks that the device's
 * serial number is the configured one (else the port is closed again: 0x02010102). *port is 255 on any failure;
 * a name the file lacks gives 0x02010101. */
QOR_API uint32_t Qor_Common_OpenInterface(const char* name, uint32_t* port);
/* The same with Qor_OpenInterface2's flags (0 to 7; others give 0x02010004 before anything is opened). */
QOR_API uint32_t Qor_Common_OpenInterface2(uint32_t flags, const char* name, uint32_t* port);
/* 0 when the serial number configured for the name is the port's device's, else 0x02010102. */
QOR_API uint32_t Qor_Common_CheckSerialNumber(const char* name, uint32_t port);
QOR_API uint32_t Qor_Common_CloseInterface(uint32_t port);

/* ---- controller control ---- */
/* Re-initialises the interface (needs the interface lock) and closes the port's monitor. */
QOR_API uint32_t Qor_Common_InitInterface(uint32_t port);
/* Resets the controller (needs the controller lock): the firmware restarts, unless the boot loader runs
 * (0x02010101); on an FPGA-hosted port the FPGA's reset register is written. */
QOR_API uint32_t Qor_Common_SoftwareReset(uint32_t port);

/* ---- versions and texts ---- */
/* The version text, without a terminating NUL. *length: room in, text length out; too little room gives
 * 0x02010006 "Bytes needed: <n>" and leaves the buffer untouched. */
QOR_API uint32_t Qor_Common_GetFirmwareVersion(uint32_t port, char* buffer, uint32_t* length);
/* The firmware's text of one of its error codes, as it sends it. *length: room in (at least the text's length
 * plus 4, else 0x02010006 "Bytes needed: <text length + 4>"), text length out. */
QOR_API uint32_t Qor_Common_GetFirmwareErrorDescription(uint32_t port, uint32_t code, char* buffer,
                                                        uint32_t* length);

/* ---- information ---- */
QOR_API uint32_t Qor_Common_GetControllerInfo(uint32_t port, Qor_Common_ControllerInfo_t* info);
QOR_API uint32_t Qor_Common_GetInterfaceInfo(uint32_t port, Qor_Common_InterfaceInfo_t* info);
/* Refused with 0x0201000B for a firmware dated 2007 or earlier. */
QOR_API uint32_t Qor_Common_GetTransceiverInfo(uint32_t port, Qor_Common_TransceiverInfo_t* info);
/* Flags must be 0; 0x02010108 when the firmware tells no transceiver for the interface. */
QOR_API uint32_t Qor_Common_GetTransceiverInfoForCurrentInterface(uint32_t port, uint32_t flags,
                                                                  Qor_Common_CurrentTransceiver_t* info);
QOR_API uint32_t Qor_Common_GetInterfaceNumber(uint32_t port, const Qor_Common_InterfaceNumberRequest_t* request,
                                               Qor_Common_InterfaceNumberResult_t* result);

/* ---- asynchronous triples ---- */
QOR_API uint32_t Qor_Common_GetFirmwareVersion_Async(uint32_t port);
QOR_API uint32_t Qor_Common_GetFirmwareVersion_Async_AddCallback(uint32_t port,
                                                                 Qor_Common_GetFirmwareVersion_Callback_t callback);
QOR_API uint32_t Qor_Common_GetFirmwareVersion_Async_RemoveCallback(uint32_t port);
QOR_API uint32_t Qor_Common_GetControllerInfo_Async(uint32_t port);
QOR_API uint32_t Qor_Common_GetControllerInfo_Async_AddCallback(uint32_t port,
                                                                Qor_Common_GetControllerInfo_Callback_t callback);
QOR_API uint32_t Qor_Common_GetControllerInfo_Async_RemoveCallback(uint32_t port);
QOR_API uint32_t Qor_Common_GetInterfaceInfo_Async(uint32_t port);
QOR_API uint32_t Qor_Common_GetInterfaceInfo_Async_AddCallback(uint32_t port,
                                                               Qor_Common_GetInterfaceInfo_Callback_t callback);
QOR_API uint32_t Qor_Common_GetInterfaceInfo_Async_RemoveCallback(uint32_t port);
QOR_API uint32_t Qor_Common_GetTransceiverInfo_Async(uint32_t port);
QOR_API uint32_t Qor_Common_GetTransceiverInfo_Async_AddCallback(uint32_t port,
                                                                 Qor_Common_GetTransceiverInfo_Callback_t callback);
QOR_API uint32_t Qor_Common_GetTransceiverInfo_Async_RemoveCallback(uint32_t port);

QOR_END_DECLS

#endif
