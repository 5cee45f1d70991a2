/* Physical-layer disturbance of a LIN bus: forcing it dominant or recessive, delaying wake-ups and injecting frame
 * errors. Times in ns. */
#ifndef QOR_LIN_DISTURBANCE_H
#define QOR_LIN_DISTURBANCE_H

#include "qor_types.h"

QOR_BEGIN_DECLS

/* Flags bit 0 passed to the firmware; reference points 0 to 12. */
QOR_API uint32_t Qor_Lin_AdvLib_DominantLevel_Set(uint32_t port, uint32_t flags, uint8_t referencePoint,
                                                  uint8_t value1, uint32_t time1, uint32_t time2, uint16_t value2);
QOR_API uint32_t Qor_Lin_AdvLib_DominantLevel_Reset(uint32_t port);
QOR_API uint32_t Qor_Lin_AdvLib_RecessiveLevel_Set(uint32_t port, uint32_t flags, uint8_t referencePoint,
                                                   uint8_t value1, uint32_t time1, uint32_t time2, uint16_t value2);
QOR_API uint32_t Qor_Lin_AdvLib_RecessiveLevel_Reset(uint32_t port);
QOR_API uint32_t Qor_Lin_AdvLib_WakeUpDelay_Set(uint32_t port, uint16_t value1, uint16_t value2);
QOR_API uint32_t Qor_Lin_AdvLib_WakeUpDelay_Reset(uint32_t port);
/* Modes 0 to 13; modes 2 and 13 take four extended parameter bytes (may be NULL) of which bytes 1 to 3 are 0. */
QOR_API uint32_t Qor_Lin_AdvLib_ErrorMode_Set(uint32_t port, uint32_t flags, uint8_t mode, uint8_t value,
                                              uint32_t value2, const uint8_t* extendedParameters);
QOR_API uint32_t Qor_Lin_AdvLib_ErrorMode_Reset(uint32_t port, uint32_t flags, uint8_t value);

QOR_END_DECLS

#endif
