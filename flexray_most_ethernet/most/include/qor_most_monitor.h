/* The MOST monitor: the firmware reports the kinds of traffic (monitor ids) that the application enables, and the
 * core's monitor keeps what arrives for Qor_Most_Monitor_GetData, raw as the firmware delivers it. The meanings of the
 * ids, the streaming-data flags and bytes, the two inputs and the unit of the hold time are the firmware's. */
#ifndef QOR_MOST_MONITOR_H
#define QOR_MOST_MONITOR_H

#include "qor_types.h"
#include "qor_user_event.h"

QOR_BEGIN_DECLS

/* Ids 0 to 13 and 15 to 17; the firmware's 14 is read back as 13. */
#define QOR_MOST_MONITOR_ID_MAX 17u
#define QOR_MOST_MONITOR_STREAMING_FLAGS 0x1Fu
#define QOR_MOST_MONITOR_INPUT_MAX 1u

/* flags must be 0. Enables the count ids, all of them known; nothing is sent when one is not. */
QOR_API uint32_t Qor_Most_Monitor_Start(uint32_t port, uint32_t flags, uint32_t bufferSize, uint32_t count,
                                        const uint16_t* ids);
QOR_API uint32_t Qor_Most_Monitor_Stop(uint32_t port);
/* size in = room of buffer, out = bytes written; overflow tells whether data were lost. */
QOR_API uint32_t Qor_Most_Monitor_GetData(uint32_t port, uint8_t* overflow, uint32_t* size, uint8_t* buffer);
QOR_API uint32_t Qor_Most_Monitor_EnableEvent(uint32_t port, ExternalEvent* event);
QOR_API uint32_t Qor_Most_Monitor_DisableEvent(uint32_t port);
/* While the monitor runs: replaces the enabled ids. */
QOR_API uint32_t Qor_Most_Monitor_EnabledIds_Change(uint32_t port, uint32_t flags, uint32_t count, const uint16_t* ids);
/* count in = room of ids; flags receives 0. */
QOR_API uint32_t Qor_Most_Monitor_EnabledIds_Get(uint32_t port, uint32_t* flags, uint32_t* count, uint16_t* ids);
QOR_API uint32_t Qor_Most_Monitor_StreamingDataConfig_Set(uint32_t port, uint32_t flags, uint8_t count,
                                                          const uint8_t* bytes);
/* count in = room of bytes. */
QOR_API uint32_t Qor_Most_Monitor_StreamingDataConfig_Get(uint32_t port, uint32_t* flags, uint8_t* count,
                                                          uint8_t* bytes);
QOR_API uint32_t Qor_Most_Monitor_InputSelection_Set(uint32_t port, uint32_t input);
QOR_API uint32_t Qor_Most_Monitor_InputSelection_Get(uint32_t port, uint32_t* input);
QOR_API uint32_t Qor_Most_Monitor_DataHoldTime_Set(uint32_t port, uint16_t time);
QOR_API uint32_t Qor_Most_Monitor_DataHoldTime_Get(uint32_t port, uint16_t* time);

QOR_END_DECLS

#endif
