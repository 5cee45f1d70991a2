/* libqor_api_can_stm: the CAN stress module (interface type 16), a controller that disturbs CAN traffic. Its node's
 * baud rates and properties, its disturbance properties, and its trigger properties and identifier lists. Every
 * function takes the port handle first and returns 0 or an error code (class 0x02, module 0x15, or the core's and
 * the firmware's codes unchanged). The meaning of the values, properties and lists belongs to the module's firmware;
 * the library passes them unchanged. Reserved fields and flag bits without a meaning must be zero. */
#ifndef QOR_CAN_STM_H
#define QOR_CAN_STM_H

#include <stddef.h>

#include "qor_types.h"

QOR_BEGIN_DECLS

#define QOR_CANSTM_MAX_NODE_PROPERTY 5u
#define QOR_CANSTM_MAX_DISTURBANCE_PROPERTY 5u
#define QOR_CANSTM_MAX_TRIGGER_PROPERTY 10u

/* The node's baud rate as the caller sets it. */
typedef struct Qor_CanStm_BaudRate_t {
  uint32_t flags;        /* +0 0 */
  uint32_t firstValue;   /* +4 */
  uint64_t eightByteValue; /* +8 */
  uint32_t secondValue;  /* +16 */
  uint8_t values[16];    /* +20 */
} Qor_CanStm_BaudRate_t;
QOR_STATIC_ASSERT(sizeof(Qor_CanStm_BaudRate_t) == 40, "baud rate record is 40 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_CanStm_BaudRate_t, values) == 20, "baud rate values at 20");

/* The node's baud rate as the module reports it, after a set and on a get. */
typedef struct Qor_CanStm_BaudRateResult_t {
  uint32_t reserved;       /* +0 0 */
  uint32_t firstValue;     /* +4 */
  uint64_t eightByteValue; /* +8 */
  uint32_t secondValue;    /* +16 */
  uint16_t values[4];      /* +20 */
} Qor_CanStm_BaudRateResult_t;
QOR_STATIC_ASSERT(sizeof(Qor_CanStm_BaudRateResult_t) == 32, "baud rate result is 32 bytes");

/* The node's CAN FD baud rates as the caller sets them. */
typedef struct Qor_CanStm_BaudRateFd_t {
  uint32_t flags;          /* +0 bits 0 and 1 */
  uint32_t firstValue;     /* +4 */
  uint32_t secondValue;    /* +8 */
  uint16_t value1;         /* +12 */
  uint16_t value2;         /* +14 */
  uint64_t eightByteValue; /* +16 */
  uint16_t values[6];      /* +24 */
  uint32_t thirdValue;     /* +36 */
} Qor_CanStm_BaudRateFd_t;
QOR_STATIC_ASSERT(sizeof(Qor_CanStm_BaudRateFd_t) == 40, "CAN FD baud rate record is 40 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_CanStm_BaudRateFd_t, thirdValue) == 36, "third value at 36");

/* The node's CAN FD baud rates as the module reports them. */
typedef struct Qor_CanStm_BaudRateFdResult_t {
  uint32_t flags;          /* +0 bits 0 and 1 */
  uint32_t firstValue;     /* +4 */
  uint64_t eightByteValue; /* +8 */
  uint32_t secondValue;    /* +16 */
  uint16_t values[4];      /* +20 */
  uint32_t thirdValue;     /* +28 */
} Qor_CanStm_BaudRateFdResult_t;
QOR_STATIC_ASSERT(sizeof(Qor_CanStm_BaudRateFdResult_t) == 32, "CAN FD baud rate result is 32 bytes");

typedef struct Qor_CanStm_NodeProperty_t {
  uint16_t property; /* +0 0 to QOR_CANSTM_MAX_NODE_PROPERTY */
  uint16_t reserved; /* +2 0 */
  uint32_t value;    /* +4 */
} Qor_CanStm_NodeProperty_t;
QOR_STATIC_ASSERT(sizeof(Qor_CanStm_NodeProperty_t) == 8, "node property is 8 bytes");

typedef struct Qor_CanStm_NodePropertyId_t {
  uint16_t property; /* +0 */
  uint16_t reserved; /* +2 0 */
} Qor_CanStm_NodePropertyId_t;

typedef struct Qor_CanStm_PropertyValue_t {
  uint32_t property; /* +0 */
  uint32_t value;    /* +4 */
} Qor_CanStm_PropertyValue_t;

/* Properties to set: count entries. */
typedef struct Qor_CanStm_PropertyList_t {
  uint8_t count;
  uint8_t reserved[3]; /* 0 */
  const Qor_CanStm_PropertyValue_t* entries;
} Qor_CanStm_PropertyList_t;

/* Properties to read: count ids. */
typedef struct Qor_CanStm_PropertyIdList_t {
  uint8_t count;
  uint8_t reserved[3]; /* 0 */
  const uint32_t* properties;
} Qor_CanStm_PropertyIdList_t;

/* The values read, in the order asked; count is what the module answered, at most the count asked. values must hold
 * the count asked. */
typedef struct Qor_CanStm_PropertyValues_t {
  uint8_t count;
  uint8_t reserved[3];
  uint32_t* values;
} Qor_CanStm_PropertyValues_t;

typedef struct Qor_CanStm_IdListWrite_t {
  uint32_t flags;       /* bit 0 */
  uint16_t listSelector;
  uint16_t count;
  const uint32_t* identifiers;
} Qor_CanStm_IdListWrite_t;

typedef struct Qor_CanStm_IdListRead_t {
  uint32_t flags; /* 0 */
  uint16_t listSelector;
  uint16_t secondValue;
} Qor_CanStm_IdListRead_t;

/* The list read; identifiers must hold as many as the module answers: at most (maximum parameter length - 12) / 4. */
typedef struct Qor_CanStm_IdListResult_t {
  uint32_t reserved; /* 0 */
  uint16_t value;    /* the answer's u16 at 8 */
  uint16_t count;
  uint32_t* identifiers;
} Qor_CanStm_IdListResult_t;

QOR_API uint32_t Qor_CanStm_Node_BaudRate_Set(uint32_t port, const Qor_CanStm_BaudRate_t* baudRate,
                                              Qor_CanStm_BaudRateResult_t* result);
QOR_API uint32_t Qor_CanStm_Node_BaudRate_Get(uint32_t port, const uint32_t* flags, Qor_CanStm_BaudRateResult_t* result);
QOR_API uint32_t Qor_CanStm_Node_BaudRateFd_Set(uint32_t port, const Qor_CanStm_BaudRateFd_t* baudRate,
                                                Qor_CanStm_BaudRateFdResult_t* result);
QOR_API uint32_t Qor_CanStm_Node_BaudRateFd_Get(uint32_t port, const uint32_t* flags,
                                                Qor_CanStm_BaudRateFdResult_t* result);
QOR_API uint32_t Qor_CanStm_Node_Property_SetById(uint32_t port, const Qor_CanStm_NodeProperty_t* property);
QOR_API uint32_t Qor_CanStm_Node_Property_GetById(uint32_t port, const Qor_CanStm_NodePropertyId_t* property,
                                                  Qor_CanStm_NodeProperty_t* result);

QOR_API uint32_t Qor_CanStm_Disturbance_Properties_SetById(uint32_t port, const Qor_CanStm_PropertyList_t* list);
QOR_API uint32_t Qor_CanStm_Disturbance_Properties_GetById(uint32_t port, const Qor_CanStm_PropertyIdList_t* list,
                                                           Qor_CanStm_PropertyValues_t* result);

QOR_API uint32_t Qor_CanStm_Trigger_Properties_SetById(uint32_t port, const Qor_CanStm_PropertyList_t* list);
QOR_API uint32_t Qor_CanStm_Trigger_Properties_GetById(uint32_t port, const Qor_CanStm_PropertyIdList_t* list,
                                                       Qor_CanStm_PropertyValues_t* result);
QOR_API uint32_t Qor_CanStm_Trigger_IdList_Write(uint32_t port, const Qor_CanStm_IdListWrite_t* list);
QOR_API uint32_t Qor_CanStm_Trigger_IdList_Read(uint32_t port, const Qor_CanStm_IdListRead_t* request,
                                                Qor_CanStm_IdListResult_t* result);

QOR_END_DECLS

#endif
