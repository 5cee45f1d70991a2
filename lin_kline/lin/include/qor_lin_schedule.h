/* The master task's schedule tables (filled, cleared, started, stopped and switched on the interface), the
 * scheduler's state, single headers, the wake-up delimiter time; and the two parameters of the slave task. Times are
 * in ns (sent as 25-ns ticks, truncated). */
#ifndef QOR_LIN_SCHEDULE_H
#define QOR_LIN_SCHEDULE_H

#include "qor_types.h"

QOR_BEGIN_DECLS

#define QOR_LIN_FRAME_TYPE_MAX 3u
/* Bits of Qor_Lin_MasterTask_ChangeScheduleTable's change flags; the value is sent with bit 1 or bit 2. */
#define QOR_LIN_SCHEDULE_CHANGE_FLAGS_VALID 0x1Fu
#define QOR_LIN_SCHEDULE_CHANGE_WITH_VALUE 0x06u

/* One slot of a schedule table (8 bytes). */
typedef struct Qor_Lin_ScheduleEntry_t {
  uint8_t frameId;     /* +0 */
  uint8_t frameType;   /* +1 0 to QOR_LIN_FRAME_TYPE_MAX */
  uint8_t entryOption; /* +2 passed to the firmware unchanged */
  uint8_t reserved3;   /* +3 0 */
  uint32_t delayNs;    /* +4 */
} Qor_Lin_ScheduleEntry_t;
QOR_STATIC_ASSERT(sizeof(Qor_Lin_ScheduleEntry_t) == 8, "Qor_Lin_ScheduleEntry_t is 8 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Lin_ScheduleEntry_t, delayNs) == 4, "delay at 4");

/* A slot of frame type 0 and entry option 0 (8 bytes). */
typedef struct Qor_Lin_PlainScheduleEntry_t {
  uint8_t frameId;      /* +0 */
  uint8_t reserved1[3]; /* +1 0 */
  uint32_t delayNs;     /* +4 */
} Qor_Lin_PlainScheduleEntry_t;
QOR_STATIC_ASSERT(sizeof(Qor_Lin_PlainScheduleEntry_t) == 8, "Qor_Lin_PlainScheduleEntry_t is 8 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Lin_PlainScheduleEntry_t, delayNs) == 4, "delay at 4");

/* Fills table `table` with `count` entries (flags: bit 0 only, passed on). Every entry is checked before the first
 * command ("invalid parameter" naming the item or the frame type; nothing is sent then). The entries go in as few
 * commands as the port's maximum parameter length allows; a failing command ends the fill and the entries sent
 * before it stay on the interface. A count of 0 sends an empty fill. */
QOR_API uint32_t Qor_Lin_MasterTask_FillScheduleTable_WithFrameType(uint32_t port, uint32_t flags, uint8_t table,
                                                                    uint16_t count,
                                                                    const Qor_Lin_ScheduleEntry_t* entries);
QOR_API uint32_t Qor_Lin_MasterTask_FillScheduleTable(uint32_t port, uint32_t flags, uint8_t table, uint16_t count,
                                                      const Qor_Lin_PlainScheduleEntry_t* entries);
QOR_API uint32_t Qor_Lin_MasterTask_ClearScheduleTable(uint32_t port, uint8_t table);
QOR_API uint32_t Qor_Lin_MasterTask_ChangeScheduleTable(uint32_t port, uint8_t table, uint32_t changeFlags,
                                                        uint32_t value);
/* *state 0 to 3 and four values of the firmware; all 0 on failure. */
QOR_API uint32_t Qor_Lin_MasterTask_GetSchedulerState(uint32_t port, uint32_t* state, uint16_t* value1,
                                                      uint16_t* value2, uint16_t* value3, uint16_t* value4);
QOR_API uint32_t Qor_Lin_MasterTask_Start(uint32_t port, uint8_t table);
QOR_API uint32_t Qor_Lin_MasterTask_Stop(uint32_t port);
QOR_API uint32_t Qor_Lin_MasterTask_SetWakeUpDelimiterTime(uint32_t port, uint32_t timeNs);
/* flags: bit 0 only. */
QOR_API uint32_t Qor_Lin_MasterTask_SendHeader(uint32_t port, uint32_t flags, uint8_t frameId);

/* state 0 or 1. */
QOR_API uint32_t Qor_Lin_SlaveTask_SetSlaveCommunicationState(uint32_t port, uint8_t state);
QOR_API uint32_t Qor_Lin_SlaveTask_SetBreakDetectionThreshold(uint32_t port, uint16_t threshold);

QOR_END_DECLS

#endif
