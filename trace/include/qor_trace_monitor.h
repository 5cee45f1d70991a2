/* Trace monitors: a trace records the bus traffic of CAN, LIN, FlexRay and Ethernet interfaces (its channels), merged
 * into one time-ordered sequence of Qor_Trace_Entry_t records, plus a list view of the latest record per message.
 * Every function returns 0 or an error code; the text is kept for Qor_GetLastErrorDescription and its relatives.
 * Handles count from 1 in the order of allocation and are never handed out twice in a process. */
#ifndef QOR_TRACE_MONITOR_H
#define QOR_TRACE_MONITOR_H

#include "qor_trace_entry.h"
#include "qor_types.h"

QOR_BEGIN_DECLS

/* Qor_Trace_Start flags. */
#define QOR_TRACE_START_LIVE_ASC 0x1u          /* write an ASC file while recording (properties 5 and 6) */
#define QOR_TRACE_START_DROP_OLDEST_HALF 0x2u  /* at the memory limit drop the older half instead of swapping */
#define QOR_TRACE_START_NO_EFFECT 0x4u         /* accepted, no effect */

/* Qor_Trace_ExportInfo_t.flags of the ASC export (0 to 15); the pcapng export knows bit 0 only. */
#define QOR_TRACE_EXPORT_DECIMAL 0x1u         /* ASC: numbers in decimal */
#define QOR_TRACE_EXPORT_RELATIVE_TIMES 0x2u  /* ASC: times since the previous record of the same message */
#define QOR_TRACE_EXPORT_FROM_START_TIME 0x4u /* ASC: times from startTime, earlier records left out (pcapng: 0x1) */
#define QOR_TRACE_EXPORT_SPLIT 0x8u           /* ASC: split into files of maxFileSize bytes (at least 512) */

#pragma pack(push, 4)

/* Input of Qor_Trace_AddChannel. */
typedef struct Qor_Trace_ChannelInfo_t {
  uint32_t flags;      /* +0 must be 0 */
  uint32_t portHandle; /* +4 the application's port of the interface to record */
  uint32_t channelId;  /* +8 channel number wanted, 0 to take the smallest free one */
} Qor_Trace_ChannelInfo_t;
QOR_STATIC_ASSERT(sizeof(Qor_Trace_ChannelInfo_t) == 12, "Qor_Trace_ChannelInfo_t is 12 bytes");

/* Output of Qor_Trace_AddChannel; zeroed first. */
typedef struct Qor_Trace_ChannelResult_t {
  uint32_t reserved1; /* +0 0 */
  uint32_t channelId; /* +4 the channel number given */
  uint32_t reserved2; /* +8 0 */
} Qor_Trace_ChannelResult_t;
QOR_STATIC_ASSERT(sizeof(Qor_Trace_ChannelResult_t) == 12, "Qor_Trace_ChannelResult_t is 12 bytes");

/* Input of the exports. */
typedef struct Qor_Trace_ExportInfo_t {
  uint32_t flags;         /* +0 QOR_TRACE_EXPORT_* */
  char fileName[260];     /* +4 NUL-terminated within its 260 bytes */
  uint64_t startTime;     /* +264 ns */
  uint32_t maxFileSize;   /* +272 ASC with QOR_TRACE_EXPORT_SPLIT only */
} Qor_Trace_ExportInfo_t;
QOR_STATIC_ASSERT(sizeof(Qor_Trace_ExportInfo_t) == 276, "Qor_Trace_ExportInfo_t is 276 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Trace_ExportInfo_t, startTime) == 264, "startTime at 264");

#pragma pack(pop)

/* Trace properties (passed as 16-bit values). Numbers are u32 of at least 4 bytes, texts NUL-terminated. */
typedef enum Qor_Trace_PropertyId_t {
  QOR_TRACE_PROPERTY_ENTRY_COUNT = 0,       /* get: records in the trace */
  QOR_TRACE_PROPERTY_LIST_ENTRY_COUNT = 1,  /* get: records in the list view */
  QOR_TRACE_PROPERTY_DISCARD_TRACE = 2,     /* set: discards the whole trace */
  QOR_TRACE_PROPERTY_DISCARD_LIST = 3,      /* set: empties the list view */
  QOR_TRACE_PROPERTY_MEMORY_LIMIT = 4,      /* records kept in memory before they swap; default the channels' least cap */
  QOR_TRACE_PROPERTY_ASC_FILE_NAME = 5,     /* live ASC output's file; default the name stem + ".asc" */
  QOR_TRACE_PROPERTY_ASC_MAX_FILE_SIZE = 6, /* live ASC output's split size in bytes, at least 512; 524288000 */
  QOR_TRACE_PROPERTY_MDF_FILE_NAME = 7,     /* default the name stem + ".mf4" */
  QOR_TRACE_PROPERTY_MDF_VALUE = 8,         /* default 0x200000 */
  QOR_TRACE_PROPERTY_MDF_AUTHOR = 9,
  QOR_TRACE_PROPERTY_MDF_DEPARTMENT = 10,
  QOR_TRACE_PROPERTY_MDF_PROJECT = 11,
  QOR_TRACE_PROPERTY_MDF_SUBJECT = 12
} Qor_Trace_PropertyId_t;

/* flags must be 0. */
QOR_API uint32_t Qor_Trace_Allocate(uint32_t flags, uint32_t* handle);
/* Stops the trace and deletes it with its swap file; a failed stop's code is returned, the trace is gone anyway. */
QOR_API uint32_t Qor_Trace_Delete(uint32_t handle);
/* A port is recorded by one trace at a time. The trace opens a port of its own on the same interface. */
QOR_API uint32_t Qor_Trace_AddChannel(uint32_t handle, const Qor_Trace_ChannelInfo_t* info,
                                      Qor_Trace_ChannelResult_t* result);
QOR_API uint32_t Qor_Trace_RemoveChannel(uint32_t handle, uint32_t channelId);
QOR_API uint32_t Qor_Trace_ClearChannelList(uint32_t handle);
/* flags: QOR_TRACE_START_*. Does nothing while recording. */
QOR_API uint32_t Qor_Trace_Start(uint32_t handle, uint32_t flags);
/* Stops every channel; all that was recorded is then in the trace. */
QOR_API uint32_t Qor_Trace_Stop(uint32_t handle);
/* Copies records from index start, each at an 8-byte aligned offset. *count: at most this many (0 for all), then
 * the number copied; *size: the buffer's size, then the bytes used. A record that does not fit gives 0x214000A with
 * *count and *size telling what was copied. flags must be 0. relativeTimestamp is 0 in the trace's copies. */
QOR_API uint32_t Qor_Trace_GetItems(uint32_t handle, uint32_t flags, uint32_t start, uint32_t* count, uint32_t* size,
                                    uint8_t* buffer);
/* The list view in key order (channel, then identifier, slot or event code), as Qor_Trace_GetItems. */
QOR_API uint32_t Qor_Trace_GetListItems(uint32_t handle, uint32_t flags, uint32_t start, uint32_t* count,
                                        uint32_t* size, uint8_t* buffer);
/* *length: the room at data, then the bytes of a number (4) or the characters of a text (its NUL not counted). */
QOR_API uint32_t Qor_Trace_Property_GetById(uint32_t handle, uint32_t reserved, uint16_t id, uint32_t* length,
                                            uint8_t* data);
/* A text is read up to its NUL, and never past length bytes when length is not 0. */
QOR_API uint32_t Qor_Trace_Property_SetById(uint32_t handle, uint32_t reserved, uint16_t id, uint32_t length,
                                            const uint8_t* data);
QOR_API uint32_t Qor_Trace_ExportToASC(uint32_t handle, const Qor_Trace_ExportInfo_t* info);
QOR_API uint32_t Qor_Trace_ExportToPCAP(uint32_t handle, const Qor_Trace_ExportInfo_t* info);
/* Not available: always 0x200020B. */
QOR_API uint32_t Qor_Trace_ExportToMDF(uint32_t handle, const Qor_Trace_ExportInfo_t* info);

QOR_END_DECLS

#endif
