/* XCP commands of the master on an XCP channel of a port (see qor_common_xcp.h): connection, status, seed and key,
 * memory transfer, and flash programming. Each command is one or more XCP packets exchanged with
 * Qor_Common_Xcp_CommandWithResponse; the library remembers per (port, channel) what the slave reported at CONNECT and
 * GET_COMM_MODE_INFO (byte order, address granularity, packet sizes, block-mode limits) and shapes later packets with
 * it. Before CONNECT a channel works with the defaults: little endian, byte granularity, MAX_CTO 8, MAX_BS 255,
 * MIN_ST 0, firmware time-out 100000 us. What was remembered is dropped when the port closes.
 *
 * Codes: 0x02010007 invalid parameter ("invalid 'portHandle'" for a handle of 255 or more, channel 255, reserved
 * bytes not zero, a length that is not a whole number of elements), 0x02010004 unknown flag, 0x02010005 unknown
 * mode, 0x02010006 a buffer of the caller is too small, 0x02010003 an answer shorter than its fields, 0x02010009 slave
 * parameters that cannot be worked with, 0x02010201 / 0x02010202 / 0x02010203 as for one command (no valid answer,
 * an XCP error packet with its text, no answer in time). Multi-packet commands stop at the first failure; packets
 * already sent stay sent. Block transfers set channel properties 1 and 3 for their time and restore them after,
 * also when they fail.
 *
 * The library computes no key: GET_SEED hands the seed to the caller, UNLOCK sends the caller's key. */
#ifndef QOR_COMMON_XCP_COMMANDS_H
#define QOR_COMMON_XCP_COMMANDS_H

#include "qor_types.h"

QOR_BEGIN_DECLS

typedef struct Qor_Common_Xcp_ConnectMode_t {
  uint8_t mode;          /* +0 0 normal, 1 user defined */
  uint8_t reserved1[3];  /* +1 0 */
} Qor_Common_Xcp_ConnectMode_t;
QOR_STATIC_ASSERT(sizeof(Qor_Common_Xcp_ConnectMode_t) == 4, "connect mode is 4 bytes");

enum {
  QOR_COMMON_XCP_RESOURCE_CAL_PAG = 1u << 0,
  QOR_COMMON_XCP_RESOURCE_DAQ = 1u << 1,
  QOR_COMMON_XCP_RESOURCE_STIM = 1u << 2,
  QOR_COMMON_XCP_RESOURCE_PGM = 1u << 3,
  QOR_COMMON_XCP_SLAVE_BLOCK_MODE = 1u << 4,
  QOR_COMMON_XCP_OPTIONAL_COMM_MODE = 1u << 5
};
typedef struct Qor_Common_Xcp_ConnectInfo_t {
  uint32_t resources;          /* +0 QOR_COMMON_XCP_RESOURCE_* and the two mode bits */
  uint8_t byteOrder;           /* +4 0 Intel (little endian), 1 Motorola (big endian) */
  uint8_t granularityCode;     /* +5 0 byte, 1 word, 2 double word, 3 reserved code (taken as byte) */
  uint8_t protocolVersion;     /* +6 */
  uint8_t transportVersion;    /* +7 */
  uint16_t maxDto;             /* +8 */
  uint8_t maxCto;              /* +10 */
  uint8_t reserved11;          /* +11 0 */
} Qor_Common_Xcp_ConnectInfo_t;
QOR_STATIC_ASSERT(sizeof(Qor_Common_Xcp_ConnectInfo_t) == 12, "connect info is 12 bytes");

/* flags: bit 0 store CAL request, 1 store DAQ request, 2 clear DAQ request, 3 DAQ running, 4 resume, 5 CAL/PAG
 * protected, 6 DAQ protected, 7 STIM protected, 8 PGM protected. */
typedef struct Qor_Common_Xcp_Status_t {
  uint32_t flags;                 /* +0 */
  uint16_t sessionConfigurationId; /* +4 */
  uint16_t reserved6;             /* +6 0 */
} Qor_Common_Xcp_Status_t;
QOR_STATIC_ASSERT(sizeof(Qor_Common_Xcp_Status_t) == 8, "status is 8 bytes");

enum { QOR_COMMON_XCP_MASTER_BLOCK_MODE = 1u << 0, QOR_COMMON_XCP_INTERLEAVED_MODE = 1u << 1 };
typedef struct Qor_Common_Xcp_CommModeInfo_t {
  uint32_t flags;        /* +0 QOR_COMMON_XCP_MASTER_BLOCK_MODE, QOR_COMMON_XCP_INTERLEAVED_MODE */
  uint8_t maxBs;         /* +4 */
  uint8_t minSt;         /* +5 in 100 us */
  uint8_t queueSize;     /* +6 */
  uint8_t driverVersion; /* +7 */
} Qor_Common_Xcp_CommModeInfo_t;
QOR_STATIC_ASSERT(sizeof(Qor_Common_Xcp_CommModeInfo_t) == 8, "comm mode info is 8 bytes");

typedef struct Qor_Common_Xcp_MemoryBlock_t {
  uint32_t address;     /* +0 */
  uint8_t extension;    /* +4 */
  uint8_t reserved5[3]; /* +5 0 */
  uint32_t length;      /* +8 bytes, a whole number of elements of the address granularity */
} Qor_Common_Xcp_MemoryBlock_t;
QOR_STATIC_ASSERT(sizeof(Qor_Common_Xcp_MemoryBlock_t) == 12, "memory block is 12 bytes");

typedef struct Qor_Common_Xcp_ProgramBlock_t {
  uint32_t flags;                     /* +0 0 */
  Qor_Common_Xcp_MemoryBlock_t block; /* +4 */
} Qor_Common_Xcp_ProgramBlock_t;
QOR_STATIC_ASSERT(sizeof(Qor_Common_Xcp_ProgramBlock_t) == 16, "program block is 16 bytes");

typedef struct Qor_Common_Xcp_PgmProcessorInfo_t {
  uint32_t properties;   /* +0 the slave's PGM properties byte */
  uint8_t maxSector;     /* +4 */
  uint8_t reserved5[3];  /* +5 0 */
} Qor_Common_Xcp_PgmProcessorInfo_t;
QOR_STATIC_ASSERT(sizeof(Qor_Common_Xcp_PgmProcessorInfo_t) == 8, "PGM processor info is 8 bytes");

typedef struct Qor_Common_Xcp_SectorRequest_t {
  uint8_t sector;        /* +0 */
  uint8_t reserved1[3];  /* +1 0 */
} Qor_Common_Xcp_SectorRequest_t;
QOR_STATIC_ASSERT(sizeof(Qor_Common_Xcp_SectorRequest_t) == 4, "sector request is 4 bytes");

typedef struct Qor_Common_Xcp_SectorInfo_t {
  uint8_t clearSequence;    /* +0 */
  uint8_t programSequence;  /* +1 */
  uint8_t programMethod;    /* +2 */
  uint8_t nameLength;       /* +3 */
  uint32_t startAddress;    /* +4 */
  uint32_t length;          /* +8 */
} Qor_Common_Xcp_SectorInfo_t;
QOR_STATIC_ASSERT(sizeof(Qor_Common_Xcp_SectorInfo_t) == 12, "sector info is 12 bytes");

enum { QOR_COMMON_XCP_CLEAR_ABSOLUTE = 0, QOR_COMMON_XCP_CLEAR_FUNCTIONAL = 1 };
typedef struct Qor_Common_Xcp_ClearRange_t {
  uint8_t mode;             /* +0 QOR_COMMON_XCP_CLEAR_* */
  uint8_t reserved1[3];     /* +1 0 */
  uint8_t functionalFlags;  /* +4 bits 0 to 2 */
  uint8_t unused5[3];       /* +5 not looked at */
  uint32_t absoluteRange;   /* +8 */
  uint32_t functionalRange; /* +12 user-defined part; its lowest byte is replaced by the flags */
} Qor_Common_Xcp_ClearRange_t;
QOR_STATIC_ASSERT(sizeof(Qor_Common_Xcp_ClearRange_t) == 16, "clear range is 16 bytes");

typedef struct Qor_Common_Xcp_ChecksumRequest_t {
  uint32_t blockSize;   /* +0 */
  uint32_t reserved4;   /* +4 0 */
} Qor_Common_Xcp_ChecksumRequest_t;
QOR_STATIC_ASSERT(sizeof(Qor_Common_Xcp_ChecksumRequest_t) == 8, "checksum request is 8 bytes");

typedef struct Qor_Common_Xcp_Checksum_t {
  uint8_t type;          /* +0 1 to 9 and 0xFF as the slave said, 0 for any other */
  uint8_t reserved1[3];  /* +1 0 */
  uint32_t checksum;     /* +4 */
} Qor_Common_Xcp_Checksum_t;
QOR_STATIC_ASSERT(sizeof(Qor_Common_Xcp_Checksum_t) == 8, "checksum is 8 bytes");

/* GET_SEED resources */
enum {
  QOR_COMMON_XCP_SEED_CAL_PAG = 0,
  QOR_COMMON_XCP_SEED_DAQ = 1,
  QOR_COMMON_XCP_SEED_STIM = 2,
  QOR_COMMON_XCP_SEED_PGM = 3
};

/* Slave parameters below what XCP allows (MAX_CTO under 8, MAX_BS 0) are refused with 0x02010009. */
QOR_API uint32_t Qor_Common_Xcp_Cmd_Connect(uint32_t port, uint8_t channel, const Qor_Common_Xcp_ConnectMode_t* mode,
                                            Qor_Common_Xcp_ConnectInfo_t* info);
QOR_API uint32_t Qor_Common_Xcp_Cmd_Disconnect(uint32_t port, uint8_t channel);
QOR_API uint32_t Qor_Common_Xcp_Cmd_GetStatus(uint32_t port, uint8_t channel, Qor_Common_Xcp_Status_t* status);
QOR_API uint32_t Qor_Common_Xcp_Cmd_GetCommModeInfo(uint32_t port, uint8_t channel,
                                                    Qor_Common_Xcp_CommModeInfo_t* info);
/* *length: the room of seed on entry, the seed's length on return; a room too small gives 0x02010006 naming the
 * length needed. */
QOR_API uint32_t Qor_Common_Xcp_Cmd_GetSeed(uint32_t port, uint8_t channel, uint32_t resource, uint32_t* length,
                                            uint8_t* seed);
QOR_API uint32_t Qor_Common_Xcp_Cmd_Unlock(uint32_t port, uint8_t channel, uint8_t keyLength, const uint8_t* key);
QOR_API uint32_t Qor_Common_Xcp_Cmd_SetMta(uint32_t port, uint8_t channel, const Qor_Common_Xcp_MemoryBlock_t* block);
/* Sends SET_MTA and PROGRAM_PREPARE {0xCC, 0, elements} before the data, in master block mode when the slave offers
 * it. */
QOR_API uint32_t Qor_Common_Xcp_Cmd_Download(uint32_t port, uint8_t channel, const Qor_Common_Xcp_MemoryBlock_t* block,
                                             const uint8_t* data);
/* In slave block mode when the slave offers it; the slave's blocks are collected within 5000 ms each. */
QOR_API uint32_t Qor_Common_Xcp_Cmd_Upload(uint32_t port, uint8_t channel, const Qor_Common_Xcp_MemoryBlock_t* block,
                                           uint8_t* data);
QOR_API uint32_t Qor_Common_Xcp_Cmd_GetPgmProcessorInfo(uint32_t port, uint8_t channel,
                                                        Qor_Common_Xcp_PgmProcessorInfo_t* info);
QOR_API uint32_t Qor_Common_Xcp_Cmd_GetSectorInfo(uint32_t port, uint8_t channel,
                                                  const Qor_Common_Xcp_SectorRequest_t* request,
                                                  Qor_Common_Xcp_SectorInfo_t* info);
QOR_API uint32_t Qor_Common_Xcp_Cmd_ProgramClear(uint32_t port, uint8_t channel,
                                                 const Qor_Common_Xcp_ClearRange_t* range);
QOR_API uint32_t Qor_Common_Xcp_Cmd_BuildChecksum(uint32_t port, uint8_t channel,
                                                  const Qor_Common_Xcp_ChecksumRequest_t* request,
                                                  Qor_Common_Xcp_Checksum_t* checksum);
QOR_API uint32_t Qor_Common_Xcp_Cmd_ProgramReset(uint32_t port, uint8_t channel);
/* PROGRAM_START, SET_MTA, PROGRAM_PREPARE, then the data with PROGRAM (PROGRAM_NEXT in master block mode). */
QOR_API uint32_t Qor_Common_Xcp_Cmd_Program(uint32_t port, uint8_t channel, const Qor_Common_Xcp_ProgramBlock_t* block,
                                            const uint8_t* data);

QOR_END_DECLS

#endif
