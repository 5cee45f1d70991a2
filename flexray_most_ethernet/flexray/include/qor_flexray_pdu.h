/* How the firmware's FlexRay stack lays PDUs into frames: frame triggers (a frame's place on the bus), L-PDUs, PDUs,
 * the place of a PDU inside an L-PDU, and pools of N-PDUs for transmission and reception. Identifiers, values and
 * flag bits mean what the firmware makes of them; channel codes are 0 to 3. */
#ifndef QOR_FLEXRAY_PDU_H
#define QOR_FLEXRAY_PDU_H

#include "qor_types.h"

QOR_BEGIN_DECLS

#define QOR_FLEXRAY_FRAME_TRIGGER_FLAGS 0x1Fu
#define QOR_FLEXRAY_LPDU_FLAGS 0x03u
#define QOR_FLEXRAY_PDU_IN_LPDU_FLAGS 0x01u
#define QOR_FLEXRAY_NPDU_FLAGS 0x01u

typedef struct Qor_FlexRay_FrameTrigger_t {
  uint32_t flags;          /* +0 bits 0 to 4 */
  uint32_t identifier;     /* +4 */
  uint16_t slotIdentifier; /* +8 */
  uint8_t selector1;       /* +10 */
  uint8_t selector2;       /* +11 */
  uint8_t channel;         /* +12 */
  uint8_t value;           /* +13 */
  uint16_t reserved;       /* +14 0 */
} Qor_FlexRay_FrameTrigger_t;
QOR_STATIC_ASSERT(sizeof(Qor_FlexRay_FrameTrigger_t) == 16, "Qor_FlexRay_FrameTrigger_t is 16 bytes");

typedef struct Qor_FlexRay_FrameTriggerKey_t {
  uint32_t flags;          /* +0 0 */
  uint16_t slotIdentifier; /* +4 */
  uint8_t selector;        /* +6 */
  uint8_t channel;         /* +7 */
} Qor_FlexRay_FrameTriggerKey_t;
QOR_STATIC_ASSERT(sizeof(Qor_FlexRay_FrameTriggerKey_t) == 8, "Qor_FlexRay_FrameTriggerKey_t is 8 bytes");

typedef struct Qor_FlexRay_LPdu_t {
  uint32_t flags;      /* +0 bits 0 and 1 */
  uint32_t identifier; /* +4 */
  uint8_t values[3];   /* +8 */
  uint8_t reserved;    /* +11 0 */
} Qor_FlexRay_LPdu_t;
QOR_STATIC_ASSERT(sizeof(Qor_FlexRay_LPdu_t) == 12, "Qor_FlexRay_LPdu_t is 12 bytes");

typedef struct Qor_FlexRay_Pdu_t {
  uint32_t flags;      /* +0 0 */
  uint32_t identifier; /* +4 */
  uint8_t value;       /* +8 */
  uint8_t reserved[3]; /* +9 0 */
} Qor_FlexRay_Pdu_t;
QOR_STATIC_ASSERT(sizeof(Qor_FlexRay_Pdu_t) == 12, "Qor_FlexRay_Pdu_t is 12 bytes");

typedef struct Qor_FlexRay_PduInLPdu_t {
  uint32_t flags;         /* +0 bit 0 */
  uint32_t lPduIdentifier; /* +4 */
  uint32_t pduIdentifier; /* +8 */
  uint16_t value16;       /* +12 */
  uint8_t value8;         /* +14 */
  uint8_t reserved;       /* +15 0 */
} Qor_FlexRay_PduInLPdu_t;
QOR_STATIC_ASSERT(sizeof(Qor_FlexRay_PduInLPdu_t) == 16, "Qor_FlexRay_PduInLPdu_t is 16 bytes");

/* The key of an L-PDU or a PDU to delete. */
typedef struct Qor_FlexRay_IdentifierKey_t {
  uint32_t flags;      /* +0 0 */
  uint32_t identifier; /* +4 */
} Qor_FlexRay_IdentifierKey_t;
QOR_STATIC_ASSERT(sizeof(Qor_FlexRay_IdentifierKey_t) == 8, "Qor_FlexRay_IdentifierKey_t is 8 bytes");

/* The key of a PDU's place in an L-PDU to delete. */
typedef struct Qor_FlexRay_PduInLPduKey_t {
  uint32_t flags;          /* +0 0 */
  uint32_t lPduIdentifier; /* +4 */
  uint32_t pduIdentifier;  /* +8 */
} Qor_FlexRay_PduInLPduKey_t;
QOR_STATIC_ASSERT(sizeof(Qor_FlexRay_PduInLPduKey_t) == 12, "Qor_FlexRay_PduInLPduKey_t is 12 bytes");

typedef struct Qor_FlexRay_PduSearchKey_t {
  uint32_t flags;          /* +0 0 */
  uint16_t slotIdentifier; /* +4 */
  uint8_t channel;         /* +6 */
  uint8_t selector1;       /* +7 */
  uint8_t selector2;       /* +8 */
  uint8_t reserved[3];     /* +9 0 */
} Qor_FlexRay_PduSearchKey_t;
QOR_STATIC_ASSERT(sizeof(Qor_FlexRay_PduSearchKey_t) == 12, "Qor_FlexRay_PduSearchKey_t is 12 bytes");

/* What Qor_FlexRay_Pdu_Search finds: the frame trigger, the L-PDU, the PDU's place in it and the PDU. */
typedef struct Qor_FlexRay_PduSearchResult_t {
  uint32_t frameTriggerFlags;  /* +0 the firmware's bits 0 to 4 */
  uint16_t slotIdentifier;     /* +4 */
  uint8_t selector1;           /* +6 */
  uint8_t selector2;           /* +7 */
  uint8_t channel;             /* +8 */
  uint8_t frameTriggerValue;   /* +9 */
  uint16_t reserved1;          /* +10 0 */
  uint32_t lPduFlags;          /* +12 the firmware's bits 0 and 1 */
  uint32_t lPduIdentifier;     /* +16 */
  uint8_t lPduValues[3];       /* +20 */
  uint8_t reserved2;           /* +23 0 */
  uint32_t pduInLPduFlag;      /* +24 0 or 1 */
  uint16_t pduInLPduValue16;   /* +28 */
  uint8_t pduInLPduValue8;     /* +30 */
  uint8_t reserved3;           /* +31 0 */
  uint32_t pduFlag;            /* +32 0 or 1 */
  uint32_t pduIdentifier;      /* +36 */
  uint8_t pduValue;            /* +40 */
  uint8_t reserved4[3];        /* +41 0 */
} Qor_FlexRay_PduSearchResult_t;
QOR_STATIC_ASSERT(sizeof(Qor_FlexRay_PduSearchResult_t) == 44, "Qor_FlexRay_PduSearchResult_t is 44 bytes");

typedef struct Qor_FlexRay_NPdu_t {
  uint32_t flags;          /* +0 bit 0 */
  uint16_t slotIdentifier; /* +4 */
  uint8_t selector1;       /* +6 */
  uint8_t selector2;       /* +7 */
  uint8_t channel;         /* +8 */
  uint8_t values[3];       /* +9 */
  uint16_t value16;        /* +12 */
  uint16_t reserved;       /* +14 0 */
} Qor_FlexRay_NPdu_t;
QOR_STATIC_ASSERT(sizeof(Qor_FlexRay_NPdu_t) == 16, "Qor_FlexRay_NPdu_t is 16 bytes");

typedef struct Qor_FlexRay_PoolPdu_t {
  uint32_t flags;         /* +0 0 */
  uint32_t pduIdentifier; /* +4 */
} Qor_FlexRay_PoolPdu_t;
QOR_STATIC_ASSERT(sizeof(Qor_FlexRay_PoolPdu_t) == 8, "Qor_FlexRay_PoolPdu_t is 8 bytes");

QOR_API uint32_t Qor_FlexRay_FrameTrigger_Config(uint32_t port, const Qor_FlexRay_FrameTrigger_t* trigger);
QOR_API uint32_t Qor_FlexRay_FrameTrigger_Delete(uint32_t port, const Qor_FlexRay_FrameTriggerKey_t* key);
QOR_API uint32_t Qor_FlexRay_LPdu_Config(uint32_t port, const Qor_FlexRay_LPdu_t* lPdu);
QOR_API uint32_t Qor_FlexRay_LPdu_Delete(uint32_t port, const Qor_FlexRay_IdentifierKey_t* key);
QOR_API uint32_t Qor_FlexRay_Pdu_Config(uint32_t port, const Qor_FlexRay_Pdu_t* pdu);
QOR_API uint32_t Qor_FlexRay_Pdu_Delete(uint32_t port, const Qor_FlexRay_IdentifierKey_t* key);
QOR_API uint32_t Qor_FlexRay_PduInLPdu_Config(uint32_t port, const Qor_FlexRay_PduInLPdu_t* place);
QOR_API uint32_t Qor_FlexRay_PduInLPdu_Delete(uint32_t port, const Qor_FlexRay_PduInLPduKey_t* key);
/* The result is written only when the whole answer arrived and its channel code is known. */
QOR_API uint32_t Qor_FlexRay_Pdu_Search(uint32_t port, const Qor_FlexRay_PduSearchKey_t* key,
                                        Qor_FlexRay_PduSearchResult_t* result);

QOR_API uint32_t Qor_FlexRay_NPduPool_Tx_AddNPdu(uint32_t port, uint32_t pool, const Qor_FlexRay_NPdu_t* nPdu);
QOR_API uint32_t Qor_FlexRay_NPduPool_Rx_AddNPdu(uint32_t port, uint32_t pool, const Qor_FlexRay_NPdu_t* nPdu);
QOR_API uint32_t Qor_FlexRay_NPduPool_Tx_AddPdu(uint32_t port, uint32_t pool, const Qor_FlexRay_PoolPdu_t* pdu);
QOR_API uint32_t Qor_FlexRay_NPduPool_Rx_AddPdu(uint32_t port, uint32_t pool, const Qor_FlexRay_PoolPdu_t* pdu);
QOR_API uint32_t Qor_FlexRay_NPduPool_Tx_DeletePool(uint32_t port, uint32_t pool);
QOR_API uint32_t Qor_FlexRay_NPduPool_Rx_DeletePool(uint32_t port, uint32_t pool);

QOR_END_DECLS

#endif
