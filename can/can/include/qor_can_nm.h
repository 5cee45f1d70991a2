/* CAN network management of simulated nodes, run by the interface firmware in OSEK or AUTOSAR style: configuration,
 * starting, stopping, waking and sending to sleep single nodes or node groups, and an AUTOSAR node's state. The
 * library checks and packs the records; what the blocks, values and data bytes mean is the firmware's and passes
 * unchanged. Nothing is sent when a check fails. */
#ifndef QOR_CAN_NM_H
#define QOR_CAN_NM_H

#include "qor_types.h"

QOR_BEGIN_DECLS

/* ---- OSEK ---- */
/* Command flags: which parts of the record are sent. */
#define QOR_CAN_NM_OSEK_FIRST_DATA_BYTE 0x01u
#define QOR_CAN_NM_OSEK_SECOND_DATA_BYTE 0x02u
#define QOR_CAN_NM_OSEK_FIRST_BLOCK 0x04u
#define QOR_CAN_NM_OSEK_SECOND_BLOCK 0x08u
#define QOR_CAN_NM_OSEK_THIRD_BLOCK 0x10u
#define QOR_CAN_NM_OSEK_VALUES 0x20u

typedef struct Qor_Can_Nm_OsekConfig_t {
  uint32_t commandFlags;         /* +0 QOR_CAN_NM_OSEK_*, bits 0 to 5 */
  uint8_t type;                  /* +4 0 to 4 */
  uint8_t firstDataByte;         /* +5 */
  uint8_t secondDataByte;        /* +6 */
  uint8_t reserved7;             /* +7 0 */
  uint32_t firstBlockWord1;      /* +8 first block */
  uint32_t firstBlockWord2;      /* +12 */
  uint16_t firstBlockHalf;       /* +16 */
  uint16_t reserved18;           /* +18 0 */
  uint8_t secondBlockBytes1[16]; /* +20 second block */
  uint8_t secondBlockBytes2[16]; /* +36 */
  uint32_t secondBlockWord1;     /* +52 */
  uint32_t secondBlockWord2;     /* +56 */
  uint32_t thirdBlock[3];        /* +60 third block */
  uint16_t values[4];            /* +72 */
} Qor_Can_Nm_OsekConfig_t;
QOR_STATIC_ASSERT(offsetof(Qor_Can_Nm_OsekConfig_t, reserved18) == 18, "OSEK reserved half-word at 18");
QOR_STATIC_ASSERT(offsetof(Qor_Can_Nm_OsekConfig_t, secondBlockBytes1) == 20, "OSEK second block at 20");
QOR_STATIC_ASSERT(offsetof(Qor_Can_Nm_OsekConfig_t, thirdBlock) == 60, "OSEK third block at 60");
QOR_STATIC_ASSERT(offsetof(Qor_Can_Nm_OsekConfig_t, values) == 72, "OSEK values at 72");
QOR_STATIC_ASSERT(sizeof(Qor_Can_Nm_OsekConfig_t) == 80, "OSEK configuration is 80 bytes");

/* ---- AUTOSAR ---- */
#define QOR_CAN_NM_AUTOSAR_VALUES 0x01u /* the first to fourth values are sent */
#define QOR_CAN_NM_AUTOSAR_NODES 0x02u  /* the fifth value and NumberOfNodes are sent */

typedef struct Qor_Can_Nm_AutosarConfig_t {
  uint16_t type;          /* +0 0 to 2 */
  uint16_t reserved2;     /* +2 0 */
  uint32_t flags;         /* +4 QOR_CAN_NM_AUTOSAR_* */
  uint16_t firstValue;    /* +8 */
  uint16_t secondValue;   /* +10 */
  uint16_t thirdValue;    /* +12 */
  uint16_t fourthValue;   /* +14 */
  uint32_t fifthValue;    /* +16 */
  uint16_t NumberOfNodes; /* +20 not 0 with QOR_CAN_NM_AUTOSAR_NODES */
  uint16_t reserved22;    /* +22 0 with QOR_CAN_NM_AUTOSAR_NODES */
} Qor_Can_Nm_AutosarConfig_t;
QOR_STATIC_ASSERT(offsetof(Qor_Can_Nm_AutosarConfig_t, NumberOfNodes) == 20, "NumberOfNodes at 20");
QOR_STATIC_ASSERT(sizeof(Qor_Can_Nm_AutosarConfig_t) == 24, "AUTOSAR configuration is 24 bytes");

/* The PDU positions: 0, 1 or QOR_CAN_NM_PDU_POSITION_NONE (the state also 2). */
#define QOR_CAN_NM_PDU_POSITION_NONE 0xFFu

typedef struct Qor_Can_Nm_AutosarGlobal_t {
  uint32_t flags;           /* +0 bits 0 to 4: bit 1 sends PduNidPosition, bit 2 PduCbvPosition, bit 3
                               PduStatePosition, bit 4 the user data */
  uint32_t values[4];       /* +4 */
  uint8_t PduNidPosition;   /* +20 */
  uint8_t PduCbvPosition;   /* +21 */
  uint8_t PduStatePosition; /* +22 */
  uint8_t userDataLength;   /* +23 0 to 8 */
  uint8_t userData[8];      /* +24 */
} Qor_Can_Nm_AutosarGlobal_t;
QOR_STATIC_ASSERT(offsetof(Qor_Can_Nm_AutosarGlobal_t, PduNidPosition) == 20, "PduNidPosition at 20");
QOR_STATIC_ASSERT(sizeof(Qor_Can_Nm_AutosarGlobal_t) == 32, "AUTOSAR global record is 32 bytes");

typedef struct Qor_Can_Nm_AutosarNode_t {
  uint32_t flags;        /* +0 bits 0 to 3: bit 0 sends the first value, bit 1 the second, bit 2 the data, bit 3
                            the option byte and the third value */
  uint8_t node;          /* +4 */
  uint8_t dataLength;    /* +5 0 to 8 */
  uint8_t option;        /* +6 */
  uint8_t reserved7;     /* +7 0 */
  uint32_t firstValue;   /* +8 */
  uint32_t secondValue;  /* +12 */
  uint8_t firstData[8];  /* +16 */
  uint8_t secondData[8]; /* +24 */
  uint32_t thirdValue;   /* +32 */
} Qor_Can_Nm_AutosarNode_t;
QOR_STATIC_ASSERT(offsetof(Qor_Can_Nm_AutosarNode_t, firstData) == 16, "node data at 16");
QOR_STATIC_ASSERT(sizeof(Qor_Can_Nm_AutosarNode_t) == 36, "AUTOSAR node record is 36 bytes");

/* ---- configuration ---- */
QOR_API uint32_t Qor_Can_Nm_Config_Off(uint32_t port);
/* Sends the configuration, then one record for each of the flags of the data bytes and of the second and third
 * blocks; the first failure ends the call, and what was sent stays configured. */
QOR_API uint32_t Qor_Can_Nm_Config_Osek(uint32_t port, const Qor_Can_Nm_OsekConfig_t* config);
QOR_API uint32_t Qor_Can_Nm_Config_Autosar(uint32_t port, const Qor_Can_Nm_AutosarConfig_t* config);
/* The record goes as far as its highest flag; a data length above 8 gives "invalid parameter" when the data go. */
QOR_API uint32_t Qor_Can_Nm_Config_Autosar_Global(uint32_t port, const Qor_Can_Nm_AutosarGlobal_t* global);
QOR_API uint32_t Qor_Can_Nm_Config_Autosar_Node(uint32_t port, const Qor_Can_Nm_AutosarNode_t* node);
/* Two arrays of 8 bytes. */
QOR_API uint32_t Qor_Can_Nm_Config_SetData(uint32_t port, const uint8_t* first, const uint8_t* second);

/* ---- AUTOSAR nodes ---- */
/* stateFlags: bit 0 and bit 1 as the firmware's bits 0 and 2 (zeroed before the request); mode 1 to 3 and state
 * 1 to 6 for the firmware's 0 to 2 and 0 to 5, 0 for any other. mode and state are written only on success. */
QOR_API uint32_t Qor_Can_Nm_Autosar_Node_GetState(uint32_t port, uint8_t node, uint32_t* stateFlags, uint8_t* mode,
                                                  uint8_t* state);
QOR_API uint32_t Qor_Can_Nm_Autosar_RepeatMessageRequest(uint32_t port, uint8_t node);
QOR_API uint32_t Qor_Can_Nm_Autosar_RequestBusSynchronization(uint32_t port, uint8_t node);

/* ---- node lists: count nodes from the array; count 0 sends nothing and succeeds ---- */
QOR_API uint32_t Qor_Can_Nm_Nodes_Start(uint32_t port, uint8_t count, const uint8_t* nodes);
QOR_API uint32_t Qor_Can_Nm_Nodes_Stop(uint32_t port, uint8_t count, const uint8_t* nodes);
QOR_API uint32_t Qor_Can_Nm_Nodes_GoToMode_Awake(uint32_t port, uint8_t count, const uint8_t* nodes);
QOR_API uint32_t Qor_Can_Nm_Nodes_GoToMode_BusSleep(uint32_t port, uint8_t count, const uint8_t* nodes);
/* group 0 or 1 ("invalid group number" above). */
QOR_API uint32_t Qor_Can_Nm_Nodes_ChangeGroup(uint32_t port, uint8_t group, uint8_t count, const uint8_t* nodes);

/* ---- node groups: group 0 or 1 ---- */
QOR_API uint32_t Qor_Can_Nm_Group_Start(uint32_t port, uint8_t group);
QOR_API uint32_t Qor_Can_Nm_Group_Stop(uint32_t port, uint8_t group);
QOR_API uint32_t Qor_Can_Nm_Group_GoToMode_Awake(uint32_t port, uint8_t group);
QOR_API uint32_t Qor_Can_Nm_Group_GoToMode_BusSleep(uint32_t port, uint8_t group);

QOR_END_DECLS

#endif
