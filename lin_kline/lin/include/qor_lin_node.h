/* The LIN node: initialisation of the interface and of its master and slave tasks, baud rate, checksum model,
 * wake-up and go-to-sleep, node properties with the internal battery voltage, the network-management wake-up and the
 * bus-idle detection. Times are in ns (sent as 25-ns ticks, truncated). Outputs are written only as each function
 * says. */
#ifndef QOR_LIN_NODE_H
#define QOR_LIN_NODE_H

#include "qor_bus_configuration.h"
#include "qor_types.h"

QOR_BEGIN_DECLS

/* Node properties with a fixed use; ids 0 to QOR_LIN_NODE_PROPERTY_ID_MAX and QOR_LIN_NODE_PROPERTY_ID_ALL are sent,
 * others refused as "invalid parameter". */
enum {
  QOR_LIN_NODE_PROPERTY_PULL_UP = 49,
  QOR_LIN_NODE_PROPERTY_INTERNAL_VBAT = 50,
  QOR_LIN_NODE_PROPERTY_ID_MAX = 52,
  QOR_LIN_NODE_PROPERTY_ID_ALL = 0xFFFF
};

/* Checksum models of Qor_Lin_Node_SetChecksumModel; the flag makes the model apply to every frame. */
enum { QOR_LIN_CHECKSUM_MODEL_MAX = 1, QOR_LIN_CHECKSUM_ALL_FRAMES = 1u << 0 };

/* Needs the interface lock ("no lock"); flags QOR_LIN_INIT_FLAGS_VALID ("unknown flag"); then the core's
 * Qor_InterfaceConfig_Lin_InitInterface. */
QOR_API uint32_t Qor_Lin_InitInterface(uint32_t port, uint32_t flags);
/* Needs the interface lock; the record's flags QOR_LIN_NODE_FLAGS_VALID; then the core's
 * Qor_InterfaceConfig_Lin_Node_Config2. */
QOR_API uint32_t Qor_Lin_Node_Config2(uint32_t port, const Qor_Lin_NodeConfig_t* config);
/* Master and slave at one baud rate: a break of 13 bit times and a delimiter of one, through Qor_Lin_Node_Config2.
 * A baud rate of 0 gives times of 0; one below 4, whose break would not fit 32 bits of ns, "invalid parameter". */
QOR_API uint32_t Qor_Lin_Node_Config(uint32_t port, uint32_t flags, uint32_t baudRate);
QOR_API uint32_t Qor_Lin_Node_SetBaudRate(uint32_t port, uint32_t baudRate);
/* model 0 or 1 for the count frame ids, or for every frame with QOR_LIN_CHECKSUM_ALL_FRAMES (ids then unused). */
QOR_API uint32_t Qor_Lin_Node_SetChecksumModel(uint32_t port, uint32_t flags, uint8_t model, uint8_t count,
                                               const uint8_t* frameIds);
QOR_API uint32_t Qor_Lin_Node_SendWakeUp(uint32_t port, uint32_t durationNs);
QOR_API uint32_t Qor_Lin_Node_SendGoToSleep(uint32_t port);
QOR_API uint32_t Qor_Lin_Node_Property_Set(uint32_t port, uint16_t id, uint32_t value);
/* *value is 0 when the id is refused or the read fails. */
QOR_API uint32_t Qor_Lin_Node_Property_Get(uint32_t port, uint16_t id, uint32_t* value);
/* "operation not allowed" on a device without an internal battery voltage. */
QOR_API uint32_t Qor_Lin_Node_InternalVBat_Enable(uint32_t port);
QOR_API uint32_t Qor_Lin_Node_InternalVBat_Disable(uint32_t port);

/* Network-management wake-up. The outputs are 0 on any failure. */
QOR_API uint32_t Qor_Lin_Nm_WakeUp_SendImmediately(uint32_t port, uint32_t value, uint32_t* state, uint32_t* result);
/* flags: bit 0 only. */
QOR_API uint32_t Qor_Lin_Nm_WakeUp_SendAutomatically(uint32_t port, uint32_t flags, uint32_t a, uint32_t b,
                                                     uint32_t c, uint32_t* state, uint32_t* result1,
                                                     uint32_t* result2);

/* Bus-idle detection. flags: bit 0 only. GetState: *state 0 to 3; outputs untouched on failure. */
QOR_API uint32_t Qor_Lin_BusIdleDetection_SetThreshold(uint32_t port, uint32_t flags, uint32_t threshold);
QOR_API uint32_t Qor_Lin_BusIdleDetection_GetState(uint32_t port, uint32_t* state, uint32_t* value);

QOR_END_DECLS

#endif
