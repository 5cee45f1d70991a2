/* The MOST application message service: application messages of up to 65536 data bytes sent over an AMS channel of
 * the firmware in segments, their responses collected (by polling or through callbacks), the channel's state, and the
 * firmware's buffer of received messages, which arrive through a callback. A message or response reaches the
 * application only whole: one that lost a segment, or whose pieces do not add up, is refused as inconsistent. */
#ifndef QOR_MOST_AMS_H
#define QOR_MOST_AMS_H

#include <stddef.h>

#include "qor_types.h"

QOR_BEGIN_DECLS

#define QOR_MOST_AMS_MAX_DATA 65536u
#define QOR_MOST_AMS_OPERATION_TYPE_MAX 15u
#define QOR_MOST_AMS_MESSAGE_TYPE_MAX 2u
#define QOR_MOST_AMS_MODE_MAX 1u
#define QOR_MOST_AMS_RX_BUFFER_MODE_MAX 2u
/* A received message: a 12-byte header whose last u32 is its data length, then the data. */
#define QOR_MOST_AMS_RX_MESSAGE_HEADER 12u
#define QOR_MOST_AMS_RX_MESSAGE_MAX (QOR_MOST_AMS_RX_MESSAGE_HEADER + QOR_MOST_AMS_MAX_DATA)

/* Bits of a response's state word. */
#define QOR_MOST_AMS_STATE_COMPLETE 0x1u /* a whole message is in the record */
#define QOR_MOST_AMS_STATE_PENDING 0x2u  /* the firmware still waits for a response */
/* Bits of a received message's state word. */
#define QOR_MOST_AMS_RX_STATE_LAST 0x1u
#define QOR_MOST_AMS_RX_STATE_PENDING 0x2u

/* A request. Only the first dataLength bytes of data are read. */
typedef struct Qor_Most_Ams_Message_t {
  uint32_t timeout;      /* +0 response time-out in microseconds */
  uint16_t targetAddress; /* +4 */
  uint8_t fblockId;      /* +6 */
  uint8_t instanceId;    /* +7 */
  uint16_t functionId;   /* +8 */
  uint8_t operationType; /* +10 0-15 */
  uint8_t messageType;   /* +11 0-2 */
  uint8_t mode;          /* +12 0-1 */
  uint8_t reserved[3];   /* +13 0 */
  uint32_t dataLength;   /* +16 at most QOR_MOST_AMS_MAX_DATA */
  uint8_t data[QOR_MOST_AMS_MAX_DATA]; /* +20 */
} Qor_Most_Ams_Message_t;
QOR_STATIC_ASSERT(sizeof(Qor_Most_Ams_Message_t) == 65556, "an AMS message record is 65556 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Most_Ams_Message_t, reserved) == 13, "reserved bytes at 13");
QOR_STATIC_ASSERT(offsetof(Qor_Most_Ams_Message_t, data) == 20, "message data at 20");

typedef struct Qor_Most_Ams_Response_t {
  uint32_t state;        /* +0 QOR_MOST_AMS_STATE_* */
  uint32_t status;       /* +4 MOST status */
  uint16_t sourceAddress; /* +8 */
  uint8_t fblockId;      /* +10 */
  uint8_t instanceId;    /* +11 */
  uint16_t functionId;   /* +12 */
  uint8_t operationType; /* +14 */
  uint8_t messageType;   /* +15 */
  uint32_t dataLength;   /* +16 bytes of data (0 without a message) */
  uint8_t data[QOR_MOST_AMS_MAX_DATA]; /* +20 */
} Qor_Most_Ams_Response_t;
QOR_STATIC_ASSERT(sizeof(Qor_Most_Ams_Response_t) == 65556, "an AMS response record is 65556 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Most_Ams_Response_t, dataLength) == 16, "response data length at 16");
QOR_STATIC_ASSERT(offsetof(Qor_Most_Ams_Response_t, data) == 20, "response data at 20");

/* Callbacks run on the port's callback thread; the records and messages they get are valid during the call only. */
typedef void (*Qor_Most_Ams_GetChannelCallback_t)(uint32_t port, uint8_t channel);
typedef void (*Qor_Most_Ams_GetStateCallback_t)(uint32_t port, uint8_t channel, uint32_t status, uint32_t state);
typedef void (*Qor_Most_Ams_GetResponseCallback_t)(uint32_t port, uint8_t channel,
                                                   const Qor_Most_Ams_Response_t* response);
/* message: the 12-byte header and its data; state: QOR_MOST_AMS_RX_STATE_* */
typedef void (*Qor_Most_Ams_RxMsgBufferCallback_t)(uint32_t port, uint8_t channel, const uint8_t* message,
                                                   uint32_t state);

QOR_API uint32_t Qor_Most_Ams_GetChannel(uint32_t port, uint8_t* channel);
QOR_API uint32_t Qor_Most_Ams_GetChannel_Async(uint32_t port);
QOR_API uint32_t Qor_Most_Ams_GetChannel_Async_AddCallback(uint32_t port, Qor_Most_Ams_GetChannelCallback_t callback);
QOR_API uint32_t Qor_Most_Ams_GetChannel_Async_RemoveCallback(uint32_t port);
QOR_API uint32_t Qor_Most_Ams_FreeChannel(uint32_t port, uint8_t channel);

QOR_API uint32_t Qor_Most_Ams_GetState(uint32_t port, uint8_t channel, uint32_t* status, uint32_t* state);
QOR_API uint32_t Qor_Most_Ams_GetState_Async(uint32_t port, uint8_t channel);
QOR_API uint32_t Qor_Most_Ams_GetState_Async_AddCallback(uint32_t port, uint8_t channel,
                                                         Qor_Most_Ams_GetStateCallback_t callback);
QOR_API uint32_t Qor_Most_Ams_GetState_Async_RemoveCallback(uint32_t port, uint8_t channel);

/* Sends the request in segments; flag: bit 0 of the firmware's segment answers, OR-ed. Every check comes before the
 * first segment. */
QOR_API uint32_t Qor_Most_Ams_QueueRequest(uint32_t port, uint8_t channel, const Qor_Most_Ams_Message_t* message,
                                           uint32_t* flag);
/* Sends the request and polls for its response until the firmware no longer waits for one, for at most the message's
 * timeout / 1000 + 3 milliseconds. */
QOR_API uint32_t Qor_Most_Ams_Request(uint32_t port, uint8_t channel, const Qor_Most_Ams_Message_t* message,
                                      Qor_Most_Ams_Response_t* response);
QOR_API uint32_t Qor_Most_Ams_GetResponse(uint32_t port, uint8_t channel, Qor_Most_Ams_Response_t* response);
QOR_API uint32_t Qor_Most_Ams_GetResponse_Async_Enable(uint32_t port, uint8_t channel);
QOR_API uint32_t Qor_Most_Ams_GetResponse_Async_Disable(uint32_t port, uint8_t channel);
QOR_API uint32_t Qor_Most_Ams_GetResponse_Async_AddCallback(uint32_t port, uint8_t channel,
                                                            Qor_Most_Ams_GetResponseCallback_t callback);
QOR_API uint32_t Qor_Most_Ams_GetResponse_Async_RemoveCallback(uint32_t port, uint8_t channel);

/* mode 0-2 and value as the firmware defines them. */
QOR_API uint32_t Qor_Most_Ams_RxMsgBuffer_Config(uint32_t port, uint8_t channel, uint8_t mode, uint32_t value);
QOR_API uint32_t Qor_Most_Ams_RxMsgBuffer_GetMsgs_Async_Enable(uint32_t port, uint8_t channel);
QOR_API uint32_t Qor_Most_Ams_RxMsgBuffer_GetMsgs_Async_Disable(uint32_t port, uint8_t channel);
QOR_API uint32_t Qor_Most_Ams_RxMsgBuffer_GetMsgs_Async_AddCallback(uint32_t port, uint8_t channel,
                                                                    Qor_Most_Ams_RxMsgBufferCallback_t callback);
QOR_API uint32_t Qor_Most_Ams_RxMsgBuffer_GetMsgs_Async_RemoveCallback(uint32_t port, uint8_t channel);

QOR_END_DECLS

#endif
