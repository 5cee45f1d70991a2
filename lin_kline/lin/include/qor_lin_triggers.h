/* LIN triggers: an output driven when chosen bus events occur for chosen frame ids, and an input the controller
 * reacts to. Trigger channels count from 1. */
#ifndef QOR_LIN_TRIGGERS_H
#define QOR_LIN_TRIGGERS_H

#include "qor_types.h"

QOR_BEGIN_DECLS

/* Trigger types 0 to 23; at most 64 frame ids; flags bit 0 passed to the firmware. */
QOR_API uint32_t Qor_Lin_Trigger_Output_Config(uint32_t port, uint32_t flags, uint8_t triggerType, uint8_t idCount,
                                               const uint8_t* frameIds);
QOR_API uint32_t Qor_Lin_Trigger_Output_Deactivate(uint32_t port);
/* Property ids: 1 the trigger channel (from 1), 2 the second output property. */
QOR_API uint32_t Qor_Lin_Trigger_Output_Property_SetById(uint32_t port, uint16_t propertyId, uint32_t value);
QOR_API uint32_t Qor_Lin_Trigger_Output_Property_GetById(uint32_t port, uint16_t propertyId, uint32_t* value);

/* Mode 0 to 2, input selection 0 or 1, edge selection 0 to 2, level selection 0 or 1. */
QOR_API uint32_t Qor_Lin_Trigger_Input_Config(uint32_t port, uint8_t mode, uint8_t inputSelection,
                                              uint8_t edgeSelection, uint8_t levelSelection);
/* Level 0 or 1 and the firmware's value; both 0 when the call fails. */
QOR_API uint32_t Qor_Lin_Trigger_Input_GetState(uint32_t port, uint8_t* level, uint32_t* value);
QOR_API uint32_t Qor_Lin_Trigger_Input_Deactivate(uint32_t port);
/* Property id 1: the trigger channel (from 1). */
QOR_API uint32_t Qor_Lin_Trigger_Input_Property_SetById(uint32_t port, uint16_t propertyId, uint32_t value);
QOR_API uint32_t Qor_Lin_Trigger_Input_Property_GetById(uint32_t port, uint16_t propertyId, uint32_t* value);

QOR_END_DECLS

#endif
