/* The FlexRay monitor: the firmware records the bus traffic it sees into the port's monitor ring of the core
 * (qor_monitor.h), from which Qor_FlexRay_Monitor_GetData reads whole entries. The monitor instance is the port's
 * current one (Qor_Monitor_InstanceId_Get), taken anew at every call. */
#ifndef QOR_FLEXRAY_MONITOR_H
#define QOR_FLEXRAY_MONITOR_H

#include <stddef.h>

#include "qor_types.h"
#include "qor_user_event.h"

QOR_BEGIN_DECLS

/* Qor_FlexRay_Monitor_Config's flags; their meaning is the firmware's. */
#define QOR_FLEXRAY_MONITOR_FLAGS 0x1FFFu
#define QOR_FLEXRAY_MONITOR_MAX_FILTER_KIND 5u
#define QOR_FLEXRAY_MONITOR_MAX_PROPERTY_ID 2u

/* The head of every monitor entry; the kind's fields follow, laid out by the firmware. Entries lie back to back,
 * each starting at a multiple of 4 bytes from the first. */
enum { QOR_FLEXRAY_MONITOR_RX_FRAME = 1, QOR_FLEXRAY_MONITOR_TX_FRAME = 2 };
#pragma pack(push, 4)
typedef struct FlexRay_Param_Monitor_Entry_t {
  uint16_t length;    /* +0: of the whole entry in bytes, head included */
  uint16_t kind;      /* +2: QOR_FLEXRAY_MONITOR_RX_FRAME, _TX_FRAME or a status event */
  uint64_t timeStamp; /* +4: ns */
} FlexRay_Param_Monitor_Entry_t;
#pragma pack(pop)
QOR_STATIC_ASSERT(sizeof(FlexRay_Param_Monitor_Entry_t) == 12, "a monitor entry's head is 12 bytes");
QOR_STATIC_ASSERT(offsetof(FlexRay_Param_Monitor_Entry_t, timeStamp) == 4, "time stamp at 4");

typedef struct Qor_FlexRay_Monitor_Filter_t {
  uint32_t flags;       /* +0: 0 */
  uint8_t kind;         /* +4: 0 to QOR_FLEXRAY_MONITOR_MAX_FILTER_KIND */
  uint8_t channel;      /* +5: channel code */
  uint16_t reserved;    /* +6: 0 */
  uint16_t firstValue;  /* +8 */
  uint16_t secondValue; /* +10 */
} Qor_FlexRay_Monitor_Filter_t;
QOR_STATIC_ASSERT(sizeof(Qor_FlexRay_Monitor_Filter_t) == 12, "Qor_FlexRay_Monitor_Filter_t is 12 bytes");

/* Configures the firmware, then opens the port's monitor ring of bufferSize bytes (0: the port's minimum). */
QOR_API uint32_t Qor_FlexRay_Monitor_Config(uint32_t port, uint32_t flags, uint32_t bufferSize);
QOR_API uint32_t Qor_FlexRay_Monitor_Start(uint32_t port);
QOR_API uint32_t Qor_FlexRay_Monitor_Stop(uint32_t port);
/* Stops the recording and closes the ring; a failed stop leaves it open. */
QOR_API uint32_t Qor_FlexRay_Monitor_Config_Off(uint32_t port);
/* *size: the buffer's capacity on entry, the bytes read on return; *overflow: entries were lost. */
QOR_API uint32_t Qor_FlexRay_Monitor_GetData(uint32_t port, uint8_t* overflow, uint32_t* size, void* buffer);
QOR_API uint32_t Qor_FlexRay_Monitor_EnableEvent(uint32_t port, ExternalEvent* event);
QOR_API uint32_t Qor_FlexRay_Monitor_DisableEvent(uint32_t port);
/* The firmware puts the event with length bytes of data into the entries. */
QOR_API uint32_t Qor_FlexRay_Monitor_WriteUserEvent(uint32_t port, uint8_t eventValue, uint8_t length,
                                                    const uint8_t* data);
QOR_API uint32_t Qor_FlexRay_Monitor_GetTime(uint32_t port, uint32_t* flags, uint64_t* firstTime,
                                             uint64_t* secondTime);
QOR_API uint32_t Qor_FlexRay_Monitor_DefineFilter(uint32_t port, const Qor_FlexRay_Monitor_Filter_t* filter);
QOR_API uint32_t Qor_FlexRay_Monitor_Property_SetById(uint32_t port, uint32_t id, uint32_t value);
QOR_API uint32_t Qor_FlexRay_Monitor_Property_GetById(uint32_t port, uint32_t id, uint32_t* value);

QOR_END_DECLS

#endif
