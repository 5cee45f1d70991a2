/* The firmware's transport-protocol channels over MOST: allocated and freed, configured for TP 2.0 or the keyword
 * protocol (or switched off), reset, and used for broadcast data. The meaning of the settings, parameters, timings,
 * words, bytes and values is the firmware's; the library checks the ranges and the reserved bytes. */
#ifndef QOR_MOST_TP_H
#define QOR_MOST_TP_H

#include <stddef.h>

#include "qor_types.h"

QOR_BEGIN_DECLS

/* applicationType: one of these. */
#define QOR_MOST_TP_APPLICATION_TYPE_1 1u
#define QOR_MOST_TP_APPLICATION_TYPE_16 16u
#define QOR_MOST_TP_APPLICATION_TYPE_32 32u
#define QOR_MOST_TP_APPLICATION_TYPE_33 33u
#define QOR_MOST_TP_MAX_KEYWORD_FLAGS 1u
#define QOR_MOST_TP_MAX_BROADCAST_MODE 3u
#define QOR_MOST_TP_MAX_BROADCAST_LENGTH 65535u

typedef struct Qor_Most_Tp_Config_Tp_2_0_t {
  uint8_t settingBytes[3]; /* +0 */
  uint8_t applicationType; /* +3 */
  uint8_t parameters[16];  /* +4 */
  uint32_t timings[3];     /* +20 */
  uint8_t lastSetting;     /* +32 */
  uint8_t reserved[3];     /* +33: 0 */
} Qor_Most_Tp_Config_Tp_2_0_t;
QOR_STATIC_ASSERT(sizeof(Qor_Most_Tp_Config_Tp_2_0_t) == 36, "TP 2.0 record is 36 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Most_Tp_Config_Tp_2_0_t, timings) == 20, "timings at 20");
QOR_STATIC_ASSERT(offsetof(Qor_Most_Tp_Config_Tp_2_0_t, reserved) == 33, "reserved at 33");

typedef struct Qor_Most_Tp_Config_KeywordRec_t {
  uint32_t flags;    /* +0: 0 or 1 */
  uint16_t words[2]; /* +4 */
  uint8_t bytes[4];  /* +8 */
  uint16_t word;     /* +12 */
  uint8_t byte;      /* +14 */
  uint8_t reserved;  /* +15: 0 */
  uint32_t value;    /* +16 */
} Qor_Most_Tp_Config_KeywordRec_t;
QOR_STATIC_ASSERT(sizeof(Qor_Most_Tp_Config_KeywordRec_t) == 20, "keyword record is 20 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Most_Tp_Config_KeywordRec_t, reserved) == 15, "reserved at 15");

/* Run on the port's callback thread; data are valid during the call only. */
typedef void (*Qor_Most_Tp_GetChannelCallback_t)(uint32_t port, uint8_t channel);
typedef void (*Qor_Most_Tp_Broadcast_GetDataCallback_t)(uint32_t port, uint8_t channel, const uint8_t* data,
                                                        uint16_t length);

QOR_API uint32_t Qor_Most_Tp_GetChannel(uint32_t port, uint8_t* channel);
QOR_API uint32_t Qor_Most_Tp_GetChannel_Async(uint32_t port);
QOR_API uint32_t Qor_Most_Tp_GetChannel_Async_AddCallback(uint32_t port, Qor_Most_Tp_GetChannelCallback_t callback);
QOR_API uint32_t Qor_Most_Tp_GetChannel_Async_RemoveCallback(uint32_t port);
QOR_API uint32_t Qor_Most_Tp_FreeChannel(uint32_t port, uint8_t channel);
QOR_API uint32_t Qor_Most_Tp_Reset(uint32_t port, uint8_t channel);

QOR_API uint32_t Qor_Most_Tp_Config_Off(uint32_t port, uint8_t channel);
QOR_API uint32_t Qor_Most_Tp_Config_Tp_2_0(uint32_t port, uint8_t channel, const Qor_Most_Tp_Config_Tp_2_0_t* config);
QOR_API uint32_t Qor_Most_Tp_Config_KeywordRec(uint32_t port, uint8_t channel,
                                               const Qor_Most_Tp_Config_KeywordRec_t* config);

/* length at most QOR_MOST_TP_MAX_BROADCAST_LENGTH and, with the 8-byte head, the port's maximum parameter length. */
QOR_API uint32_t Qor_Most_Tp_Broadcast_StartTransmission(uint32_t port, uint8_t channel, uint8_t mode,
                                                         const uint8_t* data, uint32_t length);
/* length: in, the room in data; out, the bytes written. Nothing is written when the data do not fit. */
QOR_API uint32_t Qor_Most_Tp_Broadcast_GetData(uint32_t port, uint8_t channel, uint8_t* data, uint32_t* length);
QOR_API uint32_t Qor_Most_Tp_Broadcast_GetData_Async(uint32_t port, uint8_t channel);
QOR_API uint32_t Qor_Most_Tp_Broadcast_GetData_Async_AddCallback(uint32_t port, uint8_t channel,
                                                                 Qor_Most_Tp_Broadcast_GetDataCallback_t callback);
QOR_API uint32_t Qor_Most_Tp_Broadcast_GetData_Async_RemoveCallback(uint32_t port, uint8_t channel);
QOR_API uint32_t Qor_Most_Tp_Broadcast_StopTransmission(uint32_t port, uint8_t channel);

QOR_END_DECLS

#endif
