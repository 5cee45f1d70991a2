/* The message-queue protocol between the libraries and the daemon qorapid, and the firmware frame that travels
 * inside it. Every record is little endian with the offsets asserted below; docs/queue-protocol.md shows one
 * example per message. */
#ifndef QOR_PROTOCOL_H
#define QOR_PROTOCOL_H

#include "qor_network_adapters.h"
#include "qor_types.h"

QOR_BEGIN_DECLS

/* ---- queues ---- */
#define QOR_SERVER_QUEUE_NAME "/Qor_API"
#define QOR_PRIVATE_PAIR_READ_SUFFIX "-R"  /* the client reads replies here */
#define QOR_PRIVATE_PAIR_WRITE_SUFFIX "-W" /* the client writes requests here */
#define QOR_OPEN_PAIR_NAME_FORMAT "%s-%d-%u-%u-%u" /* "/Qor_API", pid, controller, interface, device number */
#define QOR_CONTROL_PAIR_NAME_FORMAT "%s-%d_CNP"   /* "/Qor_API", pid */
#define QOR_APPLICATION_QUEUE_NAME_FORMAT "/Qor_API_%u_%u_%u_%s" /* pid, client port id, application, kind */
#define QOR_APPLICATION_REQUEST_QUEUE "request"
#define QOR_APPLICATION_RESPONSE_QUEUE "response"
#define QOR_SERVER_QUEUE_MESSAGE_SIZE 512u
#define QOR_PRIVATE_PAIR_MESSAGE_SIZE 512u
#define QOR_QUEUE_MAX_MESSAGES 3

/* ---- message codes ---- */
typedef uint8_t ServerCommandCode;
enum {
  QOR_MSG_CONNECT_PORT = 0x01,
  QOR_MSG_DISCONNECT = 0x05,
  QOR_MSG_CLIENT_CONNECT = 0x0A,
  QOR_MSG_CLOSE_CLIENT_CONNECTION = 0x0B,
  QOR_MSG_ERROR_REPORT = 0x11,
  QOR_MSG_GET_LOCK = 0x12,
  QOR_MSG_RELEASE_LOCK = 0x13,
  QOR_MSG_GET_MONITOR_LOCK = 0x14,
  QOR_MSG_RELEASE_MONITOR_LOCK = 0x15,
  QOR_MSG_DRIVER_INFO = 0x17,
  QOR_MSG_LAST_SERVER_ERROR = 0x18,
  QOR_MSG_REFRESH_DRIVER_INFO = 0x19,
  QOR_MSG_FULL_SPEED_POLLING_CYCLE = 0x1A,
  QOR_MSG_CONNECTION_TIMEOUT = 0x1B,
  QOR_MSG_FIRMWARE_FRAME = 0x20,
  QOR_MSG_START_MONITOR = 0x31,
  QOR_MSG_STOP_MONITOR = 0x32,
  QOR_MSG_MONITOR_DATA = 0x33,
  QOR_MSG_FPGA_ACCESS = 0x40,
  QOR_MSG_APIX_REGISTER_ACCESS = 0x51,
  QOR_MSG_BOARD_REQUEST_95XX = 0x52,
  QOR_MSG_FIRMWARE_TRAFFIC = 0xF0
};

/* In front of every message from a library to the daemon (8 bytes). */
typedef struct ServerRequestHeader {
  uint8_t code;             /* +0 */
  uint8_t portIndex;        /* +1 daemon port slot; 0 on private pairs except in 0x52 */
  uint8_t applicationIndex; /* +2 */
  uint8_t reserved;         /* +3 zero */
  uint32_t length;          /* +4 total length, header included */
} ServerRequestHeader;
QOR_STATIC_ASSERT(sizeof(ServerRequestHeader) == 8, "ServerRequestHeader is 8 bytes");
QOR_STATIC_ASSERT(offsetof(ServerRequestHeader, length) == 4, "length at 4");

/* In front of every message from the daemon (12 bytes). */
typedef struct ServerResponseHeader {
  uint8_t code;        /* +0 */
  uint8_t reserved[3]; /* +1 zero */
  uint32_t length;     /* +4 total length, header included */
  uint32_t error;      /* +8 */
} ServerResponseHeader;
QOR_STATIC_ASSERT(sizeof(ServerResponseHeader) == 12, "ServerResponseHeader is 12 bytes");
QOR_STATIC_ASSERT(offsetof(ServerResponseHeader, length) == 4, "length at 4");
QOR_STATIC_ASSERT(offsetof(ServerResponseHeader, error) == 8, "error at 8");

/* ---- the firmware frame ---- */
#define QOR_FRAME_MARKER 0x23 /* '#' */
enum { QOR_REQUEST_RAW = 0, QOR_REQUEST_ACKNOWLEDGE = 1, QOR_REQUEST_NO_ACKNOWLEDGE = 2 };
enum { QOR_FRAME_COMMAND = 0, QOR_FRAME_RESPONSE = 1, QOR_FRAME_ACKNOWLEDGE = 2 };

/* In front of every firmware command and answer (12 bytes). */
typedef struct FirmwareMessageHeader {
  uint8_t marker;           /* +0 '#' */
  uint8_t requestKind;      /* +1 */
  uint16_t length;          /* +2 12 + parameter length */
  uint8_t TAddr;            /* +4 controller number */
  uint8_t TPort;            /* +5 interface number */
  uint8_t SAddr;            /* +6 0 */
  uint8_t SPort;            /* +7 0 */
  uint8_t type;             /* +8 command, response or acknowledge */
  uint8_t App;              /* +9 application index: answers are routed by it */
  uint8_t Mod;              /* +10 module byte from ConnectPortResponse */
  uint8_t command;          /* +11 */
} FirmwareMessageHeader;
QOR_STATIC_ASSERT(sizeof(FirmwareMessageHeader) == 12, "FirmwareMessageHeader is 12 bytes");
QOR_STATIC_ASSERT(offsetof(FirmwareMessageHeader, length) == 2, "length at 2");
QOR_STATIC_ASSERT(offsetof(FirmwareMessageHeader, type) == 8, "type at 8");
QOR_STATIC_ASSERT(offsetof(FirmwareMessageHeader, command) == 11, "command at 11");
#define QOR_FRAME_HEADER_SIZE 12u
#define QOR_FRAME_MAX_LENGTH 0xFFFFu
/* A negative acknowledge: type 2 with a non-zero u32 code at +12 and a NUL-terminated text from +16. */
#define QOR_NACK_CODE_OFFSET 12u
#define QOR_NACK_TEXT_OFFSET 16u

/* ---- records of single messages ---- */

/* 0x0A on "/Qor_API": the base name of a private pair follows, with its NUL. Length = name length + 9. */
typedef struct ClientConnectRequest {
  uint32_t code;   /* +0 0x0A */
  uint32_t length; /* +4 */
  /* +8 base name */
} ClientConnectRequest;
QOR_STATIC_ASSERT(sizeof(ClientConnectRequest) == 8, "ClientConnectRequest head is 8 bytes");

/* The daemon's reply to 0x0A on the pair's "-R" queue (16 bytes). */
typedef struct ClientConnectReply {
  uint32_t code;   /* +0 0x0A */
  uint32_t length; /* +4 16 */
  uint32_t error;  /* +8 always 0 */
  uint32_t zero;   /* +12 */
} ClientConnectReply;
QOR_STATIC_ASSERT(sizeof(ClientConnectReply) == 16, "ClientConnectReply is 16 bytes");

/* 0x01 on the open pair's "-W" (52 bytes). */
typedef struct ConnectPortRequest {
  ServerRequestHeader header;   /* +0 {0x01, 0, 0, 0, 52} */
  Qor_InterfaceInfo_t info;     /* +8 folded host type; Ethernet addresses in binary with flag bit 0 */
  uint32_t processId;           /* +36 */
  uint32_t clientPortId;        /* +40 */
  uint32_t maxParameterLength;  /* +44 */
  uint32_t queueMessageSize;    /* +48 */
} ConnectPortRequest;
QOR_STATIC_ASSERT(sizeof(ConnectPortRequest) == 52, "ConnectPortRequest is 52 bytes");
QOR_STATIC_ASSERT(offsetof(ConnectPortRequest, info) == 8, "descriptor at 8");
QOR_STATIC_ASSERT(offsetof(ConnectPortRequest, processId) == 36, "process id at 36");
QOR_STATIC_ASSERT(offsetof(ConnectPortRequest, queueMessageSize) == 48, "queue message size at 48");

/* Reply to 0x01 on the open pair's "-R" (24 bytes). */
typedef struct ConnectPortResponse {
  ServerResponseHeader header;     /* +0 {0x01, 24, error} */
  uint8_t portIndex;               /* +12 */
  uint8_t applicationIndex;        /* +13 */
  uint8_t controllerLockGranted;   /* +14 */
  uint8_t interfaceLockGranted;    /* +15 */
  uint8_t module;                  /* +16 copied into every frame's Mod byte */
  uint8_t reserved[3];             /* +17 */
  uint32_t deviceIdentifier;       /* +20 */
} ConnectPortResponse;
QOR_STATIC_ASSERT(sizeof(ConnectPortResponse) == 24, "ConnectPortResponse is 24 bytes");
QOR_STATIC_ASSERT(offsetof(ConnectPortResponse, portIndex) == 12, "port index at 12");
QOR_STATIC_ASSERT(offsetof(ConnectPortResponse, module) == 16, "module at 16");
QOR_STATIC_ASSERT(offsetof(ConnectPortResponse, deviceIdentifier) == 20, "device identifier at 20");

/* 0x0B on a pair's "-W" (12 bytes). */
typedef struct CloseClientConnectionRequest {
  ServerRequestHeader header; /* +0 {0x0B, port, application, 0, 12} */
  uint32_t processId;         /* +8 */
} CloseClientConnectionRequest;
QOR_STATIC_ASSERT(sizeof(CloseClientConnectionRequest) == 12, "CloseClientConnectionRequest is 12 bytes");

/* Control requests that carry one u32: 0x19 flags, 0x1A interval, 0x1B time-out (12 bytes). */
typedef struct ControlValueRequest {
  ServerRequestHeader header; /* +0 */
  uint32_t value;             /* +8 */
} ControlValueRequest;
QOR_STATIC_ASSERT(sizeof(ControlValueRequest) == 12, "ControlValueRequest is 12 bytes");

/* Reply to 0x1B (16 bytes). */
typedef struct ConnectionTimeoutReply {
  ServerResponseHeader header; /* +0 {0x1B, 16, 0} */
  uint32_t previousTimeout;    /* +12 */
} ConnectionTimeoutReply;
QOR_STATIC_ASSERT(sizeof(ConnectionTimeoutReply) == 16, "ConnectionTimeoutReply is 16 bytes");

/* 0x17 driver information: 16 bytes, 20 with the adapter address (type 32), 276 with adapter data (type 18). */
#define QOR_DRIVER_INFO_ADAPTER_DATA_SIZE 260u
typedef struct DriverInfoRequest {
  ServerRequestHeader header;  /* +0 */
  uint32_t hostInterfaceType;  /* +8 */
  uint32_t capacity;           /* +12 */
  uint8_t data[QOR_DRIVER_INFO_ADAPTER_DATA_SIZE]; /* +16 type-specific request data */
} DriverInfoRequest;
QOR_STATIC_ASSERT(sizeof(DriverInfoRequest) == 276, "DriverInfoRequest is at most 276 bytes");
QOR_STATIC_ASSERT(offsetof(DriverInfoRequest, data) == 16, "request data at 16");
#define QOR_DRIVER_INFO_REQUEST_LENGTH 16u
#define QOR_DRIVER_INFO_REQUEST_LENGTH_USB_OVER_ETHERNET 20u
#define QOR_DRIVER_INFO_REQUEST_LENGTH_ETHERNET 276u

/* The network adapters a 0x17 request for the Ethernet host types carries from +16: u32 count, then count pairs
 * {u32 address, u32 netmask} in network byte order. */
#define QOR_DRIVER_INFO_MAX_ADAPTERS 32u

/* Ethernet device discovery: a UDP datagram to port 1234 at each adapter's directed broadcast address. */
#define QOR_DISCOVERY_PORT 1234
#define QOR_DISCOVERY_REQUEST "Hestor electronic device discovery request"
#define QOR_DISCOVERY_RESPONSE "Hestor electronic device discovery response"
#define QOR_DISCOVERY_MAX_ANSWER 1024u

/* Reply to 0x18: the daemon's last error code and its text with NUL; the client reads it into 4108 bytes. */
#define QOR_LAST_SERVER_ERROR_REPLY_SIZE 4108u

/* 0x51 APIX register access. */
#define QOR_APIX_WRITE 1u
#define QOR_APIX_READ 2u
#define QOR_APIX_MAX_DATA 39u
typedef struct ApixRegisterRequest {
  ServerRequestHeader header; /* +0 {0x51, port, application, 0, 16 + n or 12} */
  uint32_t subCommand;        /* +8 */
  uint32_t dataLength;        /* +12 writes only */
  uint8_t data[QOR_APIX_MAX_DATA]; /* +16 */
} ApixRegisterRequest;
QOR_STATIC_ASSERT(offsetof(ApixRegisterRequest, data) == 16, "APIX data at 16");

/* 0x52 95xx board request (16 bytes) and the head of its reply. */
typedef struct BoardRequest95xx {
  ServerRequestHeader header; /* +0 {0x52, port, application, 0, 16} */
  uint32_t subCommand;        /* +8 */
  uint32_t value;             /* +12 */
} BoardRequest95xx;
QOR_STATIC_ASSERT(sizeof(BoardRequest95xx) == 16, "BoardRequest95xx is 16 bytes");
typedef struct BoardReply95xx {
  ServerResponseHeader header; /* +0 {0x52, 16 + data length, error}; 12 bytes on error */
  uint32_t subCommand;         /* +12 */
  /* +16 data */
} BoardReply95xx;
QOR_STATIC_ASSERT(sizeof(BoardReply95xx) == 16, "BoardReply95xx head is 16 bytes");

/* 0x40 host-side FPGA access: a sub-function and its data; the reply repeats the sub-function. A failed
 * operation is answered by an error report 0x11 instead. */
enum {
  QOR_FPGA_READ_REGISTER = 0,
  QOR_FPGA_WRITE_REGISTER = 1,
  QOR_FPGA_READ_FIFO = 2,
  QOR_FPGA_WRITE_FIFO = 3,
  QOR_FPGA_READ_DESIGN_VERSION = 4,
  QOR_FPGA_RECONFIGURATION = 5,
  QOR_FPGA_RELAYS_SET = 6,
  QOR_FPGA_RELAYS_RESET = 7,
  QOR_FPGA_RELAYS_SET_DIRECT = 8,
  QOR_FPGA_RELAYS_GET_STATE = 9
};
typedef struct FpgaRequest {
  ServerRequestHeader header; /* +0 {0x40, port, application, 0, 12 + data length} */
  uint32_t subFunction;       /* +8 */
  /* +12 sub-function data */
} FpgaRequest;
QOR_STATIC_ASSERT(sizeof(FpgaRequest) == 12, "FpgaRequest head is 12 bytes");
QOR_STATIC_ASSERT(offsetof(FpgaRequest, subFunction) == 8, "sub-function at 8");

/* Sub-functions 0 (16 bytes, without the value) and 1 (20 bytes). */
typedef struct FpgaRegisterRequest {
  FpgaRequest head;       /* +0 */
  uint8_t registerNumber; /* +12 */
  uint8_t reserved[3];    /* +13 zero */
  uint32_t value;         /* +16 written value */
} FpgaRegisterRequest;
QOR_STATIC_ASSERT(sizeof(FpgaRegisterRequest) == 20, "FpgaRegisterRequest is 20 bytes");
QOR_STATIC_ASSERT(offsetof(FpgaRegisterRequest, registerNumber) == 12, "register at 12");
QOR_STATIC_ASSERT(offsetof(FpgaRegisterRequest, value) == 16, "value at 16");
#define QOR_FPGA_READ_REGISTER_LENGTH 16u

/* Sub-functions 6 and 7: a value and the relay bytes; 18 + length bytes. */
typedef struct FpgaRelayRequest {
  FpgaRequest head; /* +0 */
  uint32_t value;   /* +12 */
  uint16_t length;  /* +16 */
  /* +18 relay bytes */
} FpgaRelayRequest;
QOR_STATIC_ASSERT(offsetof(FpgaRelayRequest, value) == 12, "relay value at 12");
QOR_STATIC_ASSERT(offsetof(FpgaRelayRequest, length) == 16, "relay length at 16");
#define QOR_FPGA_RELAY_BYTES_OFFSET 18u

/* Sub-functions 8 and 9: the relay bytes alone; 14 + length bytes. */
typedef struct FpgaRelayDirectRequest {
  FpgaRequest head; /* +0 */
  uint16_t length;  /* +12 */
  /* +14 relay bytes */
} FpgaRelayDirectRequest;
QOR_STATIC_ASSERT(offsetof(FpgaRelayDirectRequest, length) == 12, "direct relay length at 12");
#define QOR_FPGA_RELAY_DIRECT_BYTES_OFFSET 14u

/* Every reply: {0x40, length, 0}, the sub-function, then its data. A refused reply is the bare 12 bytes with an
 * error. */
typedef struct FpgaReply {
  ServerResponseHeader header; /* +0 */
  uint32_t subFunction;        /* +12 */
  /* +16 reply data; a FIFO read's data fill the rest of the message */
} FpgaReply;
QOR_STATIC_ASSERT(sizeof(FpgaReply) == 16, "FpgaReply head is 16 bytes");
QOR_STATIC_ASSERT(offsetof(FpgaReply, subFunction) == 12, "reply sub-function at 12");

/* Reply to sub-function 0 (24 bytes). */
typedef struct FpgaRegisterReply {
  FpgaReply head;          /* +0 */
  uint32_t registerNumber; /* +16 */
  uint32_t value;          /* +20 */
} FpgaRegisterReply;
QOR_STATIC_ASSERT(sizeof(FpgaRegisterReply) == 24, "FpgaRegisterReply is 24 bytes");
QOR_STATIC_ASSERT(offsetof(FpgaRegisterReply, value) == 20, "register value at 20");

/* Reply to sub-function 4 (20 bytes). */
typedef struct FpgaDesignVersionReply {
  FpgaReply head;   /* +0 */
  uint32_t version; /* +16 */
} FpgaDesignVersionReply;
QOR_STATIC_ASSERT(sizeof(FpgaDesignVersionReply) == 20, "FpgaDesignVersionReply is 20 bytes");

/* Reply to sub-function 9: 18 + count bytes. */
typedef struct FpgaRelayStateReply {
  FpgaReply head; /* +0 */
  uint16_t count; /* +16 */
  /* +18 state bytes */
} FpgaRelayStateReply;
QOR_STATIC_ASSERT(offsetof(FpgaRelayStateReply, count) == 16, "relay state count at 16");
#define QOR_FPGA_RELAY_STATE_OFFSET 18u

/* LVDS frame data: a frame grabber sends each captured frame as firmware answers (type 1) of command 0x63 with
 * sub-function 11, one chunk each. The record lies at the frame's parameters (message offset 24 in 0xF0). */
#define QOR_LVDS_FRAME_COMMAND 0x63u
#define QOR_LVDS_FRAME_DATA 11u
typedef struct LvdsFrameChunk {
  uint8_t subFunction;  /* +0 11 */
  uint8_t reserved[3];  /* +1 */
  uint32_t chunkLength; /* +4 */
  uint32_t offset;      /* +8 of the chunk in the frame */
  uint32_t totalSize;   /* +12 of the frame */
  /* +16 the chunk's bytes */
} LvdsFrameChunk;
QOR_STATIC_ASSERT(sizeof(LvdsFrameChunk) == 16, "LvdsFrameChunk head is 16 bytes");
QOR_STATIC_ASSERT(offsetof(LvdsFrameChunk, chunkLength) == 4, "chunk length at 4");
QOR_STATIC_ASSERT(offsetof(LvdsFrameChunk, offset) == 8, "chunk offset at 8");
QOR_STATIC_ASSERT(offsetof(LvdsFrameChunk, totalSize) == 12, "frame size at 12");

/* The bare header messages 0x05, 0x12 to 0x15, 0x31, 0x32 and 0x18 are 8 bytes; their replies 12. */
#define QOR_BARE_REQUEST_LENGTH 8u
#define QOR_BARE_REPLY_LENGTH 12u

QOR_END_DECLS

#endif
