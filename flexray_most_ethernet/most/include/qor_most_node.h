/* The MOST node: initialising the interface and the node's properties. The meanings of the modes and of the four
 * address words belong to the firmware; the library checks the modes' ranges and passes the words as given. */
#ifndef QOR_MOST_NODE_H
#define QOR_MOST_NODE_H

#include <stddef.h>

#include "qor_types.h"

QOR_BEGIN_DECLS

#define QOR_MOST_CLOCK_MODE_MAX 1u
#define QOR_MOST_DEVICE_MODE_MAX 2u
#define QOR_MOST_NETWORK_MASTER_MODE_MAX 1u
#define QOR_MOST_NODE_ADDRESS_MODE_MAX 1u

typedef struct Qor_Most_Node_Properties_t {
  uint8_t clockMode;              /* +0 0 or 1 */
  uint8_t deviceMode;             /* +1 0, 1 or 2 */
  uint8_t networkMasterMode;      /* +2 0 or 1 */
  uint8_t logicalNodeAddressMode; /* +3 0 or 1 */
  uint16_t addressWords[4];       /* +4 as the firmware reports them, in its order */
} Qor_Most_Node_Properties_t;
QOR_STATIC_ASSERT(sizeof(Qor_Most_Node_Properties_t) == 12, "MOST node properties are 12 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Most_Node_Properties_t, addressWords) == 4, "address words at 4");

/* Runs on the port's callback thread; the record is valid during the call only. */
typedef void (*Qor_Most_Node_GetPropertiesCallback_t)(uint32_t port, const Qor_Most_Node_Properties_t* properties);

/* Needs the interface lock. */
QOR_API uint32_t Qor_Most_InitInterface(uint32_t port);
QOR_API uint32_t Qor_Most_Node_SetProperties(uint32_t port, uint8_t clockMode, uint8_t deviceMode,
                                             uint8_t networkMasterMode, uint8_t logicalNodeAddressMode,
                                             uint16_t word1, uint16_t word2);
/* On a value out of range the fields before it are written, the others not. */
QOR_API uint32_t Qor_Most_Node_GetProperties(uint32_t port, Qor_Most_Node_Properties_t* properties);
QOR_API uint32_t Qor_Most_Node_GetProperties_Async(uint32_t port);
QOR_API uint32_t Qor_Most_Node_GetProperties_Async_AddCallback(uint32_t port,
                                                               Qor_Most_Node_GetPropertiesCallback_t callback);
QOR_API uint32_t Qor_Most_Node_GetProperties_Async_RemoveCallback(uint32_t port);

QOR_END_DECLS

#endif
