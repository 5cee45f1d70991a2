/* Event-triggered and sporadic frames: schedule slots of the master that stand for a list of unconditional frames.
 * Defined and deleted on the interface, activated and deactivated, their state read; an event-triggered frame also
 * names the schedule table that resolves its collisions. */
#ifndef QOR_LIN_EVENT_FRAMES_H
#define QOR_LIN_EVENT_FRAMES_H

#include "qor_types.h"

QOR_BEGIN_DECLS

/* A definition goes to the interface in one command: at most (maximum parameter length - 12) / 4 unconditional frames
 * for an event-triggered frame (250 at 1012 bytes), (length - 8) / 4 for a sporadic one (251); more are "invalid
 * parameter". flags: bit 0 only. */
QOR_API uint32_t Qor_Lin_EventTriggeredFrames_Define(uint32_t port, uint8_t frameId, uint32_t flags, uint8_t a,
                                                     uint8_t b, uint16_t count, const uint8_t* frameIds);
QOR_API uint32_t Qor_Lin_EventTriggeredFrames_Delete(uint32_t port, uint8_t frameId);
QOR_API uint32_t Qor_Lin_EventTriggeredFrames_Activate(uint32_t port, uint8_t frameId, uint8_t option);
QOR_API uint32_t Qor_Lin_EventTriggeredFrames_Deactivate(uint32_t port, uint8_t frameId, uint8_t option);
/* *state: 1 when the interface reports the selected state, 0 otherwise and on any failure. */
QOR_API uint32_t Qor_Lin_EventTriggeredFrames_GetState(uint32_t port, uint8_t frameId, uint8_t selector,
                                                       uint32_t* state);
QOR_API uint32_t Qor_Lin_EventTriggeredFrames_SetCollisionResolvingTable(uint32_t port, uint8_t frameId,
                                                                         uint8_t table);

QOR_API uint32_t Qor_Lin_SporadicFrames_Define(uint32_t port, uint8_t frameId, uint16_t count,
                                               const uint8_t* frameIds);
QOR_API uint32_t Qor_Lin_SporadicFrames_Delete(uint32_t port, uint8_t frameId);
QOR_API uint32_t Qor_Lin_SporadicFrames_Activate(uint32_t port, uint8_t frameId, uint8_t option);
QOR_API uint32_t Qor_Lin_SporadicFrames_Deactivate(uint32_t port, uint8_t frameId, uint8_t option);
QOR_API uint32_t Qor_Lin_SporadicFrames_GetState(uint32_t port, uint8_t frameId, uint8_t selector, uint32_t* state);

QOR_END_DECLS

#endif
