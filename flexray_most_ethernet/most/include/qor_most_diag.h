/* The firmware's diagnostic channels over MOST: configured for KW2000 over TP 2.0 or for UDS with keyword
 * recognition, switched off, and their state read. The meaning of the value, the command flags, the words, the modes
 * and the request modes is the firmware's; the library checks their ranges and passes them unchanged. */
#ifndef QOR_MOST_DIAG_H
#define QOR_MOST_DIAG_H

#include <stddef.h>

#include "qor_types.h"

QOR_BEGIN_DECLS

#define QOR_MOST_DIAG_COMMAND_FLAGS 0xFu
#define QOR_MOST_DIAG_MAX_MODE 2u
/* The mode that sends the configuration's head alone. */
#define QOR_MOST_DIAG_MODE_HEAD_ONLY 1u
#define QOR_MOST_DIAG_MAX_KEYWORD_REC_FLAGS 1u
#define QOR_MOST_DIAG_MAX_BYTE_COUNT 8u
#define QOR_MOST_DIAG_MAX_STATE_FLAG 1u
#define QOR_MOST_DIAG_MAX_TYPE 2u
#define QOR_MOST_DIAG_MAX_STATE 4u
/* The bits of the state's flags that are reported. */
#define QOR_MOST_DIAG_STATE_FLAGS 0x7u

typedef struct Qor_Most_Diag_KeywordRec_t {
  uint32_t keywordRecFlags; /* +0: 0 or 1 */
  uint16_t words[3];        /* +4 */
  uint8_t reserved[2];      /* +10: 0 */
  uint16_t word;            /* +12 */
  uint8_t requestMode;      /* +14: 0, 1, 0x80 or 0x81 */
  uint8_t byteCount;        /* +15: 0 to 8 */
  uint8_t bytes[8];         /* +16: the first byteCount are sent */
} Qor_Most_Diag_KeywordRec_t;
QOR_STATIC_ASSERT(sizeof(Qor_Most_Diag_KeywordRec_t) == 24, "keyword record is 24 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Most_Diag_KeywordRec_t, reserved) == 10, "reserved at 10");
QOR_STATIC_ASSERT(offsetof(Qor_Most_Diag_KeywordRec_t, bytes) == 16, "bytes at 16");

/* Runs on the port's callback thread. */
typedef void (*Qor_Most_Diag_GetStateCallback_t)(uint32_t port, uint8_t channel, uint8_t result, uint8_t diagType,
                                                 uint8_t diagState, uint32_t state);

/* Modes 0 and 2 send the two words, mode 1 the head alone. */
QOR_API uint32_t Qor_Most_Diag_Config_Kw2000_Tp_2_0(uint32_t port, uint8_t channel, uint8_t mode, uint32_t value,
                                                    uint32_t commandFlags, uint16_t firstWord, uint16_t secondWord);
/* Modes 0 and 2 send the keyword record; mode 1 checks only its reserved bytes. */
QOR_API uint32_t Qor_Most_Diag_Config_Uds_KeywordRec(uint32_t port, uint8_t channel, uint8_t mode, uint32_t value,
                                                     uint32_t commandFlags, const Qor_Most_Diag_KeywordRec_t* record);
QOR_API uint32_t Qor_Most_Diag_Config_Off(uint32_t port, uint8_t channel);

/* flag 0 or 1. diagType, diagState, result and state are written in this order, up to the first value out of range. */
QOR_API uint32_t Qor_Most_Diag_GetState(uint32_t port, uint8_t channel, uint32_t flag, uint32_t* result,
                                        uint8_t* diagType, uint8_t* diagState, uint32_t* state);
QOR_API uint32_t Qor_Most_Diag_GetState_Async(uint32_t port, uint8_t channel, uint32_t flag);
QOR_API uint32_t Qor_Most_Diag_GetState_Async_AddCallback(uint32_t port, uint8_t channel,
                                                          Qor_Most_Diag_GetStateCallback_t callback);
QOR_API uint32_t Qor_Most_Diag_GetState_Async_RemoveCallback(uint32_t port, uint8_t channel);

QOR_END_DECLS

#endif
