/* LIN relays and the bus pull-up resistor. On models whose relays sit behind controller 1, a call on another
 * controller's port switches them through a controller-1 port of the same device: one this process has open, or one
 * opened (and closed again) for the call. */
#ifndef QOR_LIN_RELAYS_H
#define QOR_LIN_RELAYS_H

#include "qor_types.h"

QOR_BEGIN_DECLS

/* Flags bit 0: every relay (relayCount and relays are then not used). */
#define QOR_LIN_RELAYS_ALL 1u

QOR_API uint32_t Qor_Lin_Relays_Set(uint32_t port, uint32_t flags, uint8_t relayCount, const uint8_t* relays);
QOR_API uint32_t Qor_Lin_Relays_Reset(uint32_t port, uint32_t flags, uint8_t relayCount, const uint8_t* relays);
/* Bit n of the mask switches relay n. */
QOR_API uint32_t Qor_Lin_Relays_SetDirect(uint32_t port, uint16_t relayMask);
QOR_API uint32_t Qor_Lin_Relays_GetState(uint32_t port, uint32_t* relayMask);

/* By the model: a relay or a node property. */
QOR_API uint32_t Qor_Lin_PullUpResistor_Enable(uint32_t port);
QOR_API uint32_t Qor_Lin_PullUpResistor_Disable(uint32_t port);

QOR_END_DECLS

#endif
