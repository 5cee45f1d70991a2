/* Frame responses: the data that the interface sends after a header with the response's frame id. Defined and
 * deleted, switched in send state and group, changed under a mask, suspended and disturbed, with signal ramps inside
 * them and multiplexed bytes; and a response's state. */
#ifndef QOR_LIN_FRAMES_H
#define QOR_LIN_FRAMES_H

#include "qor_common_signal.h"
#include "qor_types.h"

QOR_BEGIN_DECLS

/* A send state or group other than 0 and 1 is refused with "invalid send state" or "invalid group number"; only group
 * QOR_LIN_FRAME_RESPONSE_GROUP_STARTABLE is started and stopped. */
#define QOR_LIN_FRAME_RESPONSE_GROUP_STARTABLE 1u
#define QOR_LIN_FRAME_RESPONSE_MAX_LENGTH 8u
#define QOR_LIN_MULTIPLEX_MAX_INDICES 16u
#define QOR_LIN_RAMP_MODE_MAX 3u

/* Bits of Qor_Lin_FrameResponseState_t's flags, each set when the firmware reports 1 for it. */
enum {
  QOR_LIN_FRAME_RESPONSE_FLAG_0 = 1u << 0,
  QOR_LIN_FRAME_RESPONSE_FLAG_1 = 1u << 1,
  QOR_LIN_FRAME_RESPONSE_FLAG_2 = 1u << 2,
  QOR_LIN_FRAME_RESPONSE_FLAG_3 = 1u << 3
};

/* A frame response's state as the firmware reports it (20 bytes). */
typedef struct Qor_Lin_FrameResponseState_t {
  uint8_t frameId;     /* +0 */
  uint8_t sendState;   /* +1 0 or 1 */
  uint8_t group;       /* +2 */
  uint8_t attribute;   /* +3 */
  uint32_t flags;      /* +4 QOR_LIN_FRAME_RESPONSE_FLAG_* */
  uint8_t length;      /* +8 data bytes */
  uint8_t info;        /* +9 the firmware's further state byte, passed on */
  uint16_t reserved10; /* +10 0 */
  uint8_t data[8];     /* +12 */
} Qor_Lin_FrameResponseState_t;
QOR_STATIC_ASSERT(sizeof(Qor_Lin_FrameResponseState_t) == 20, "Qor_Lin_FrameResponseState_t is 20 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Lin_FrameResponseState_t, flags) == 4, "flags at 4");
QOR_STATIC_ASSERT(offsetof(Qor_Lin_FrameResponseState_t, data) == 12, "data at 12");

/* A signal ramp inside a frame response (32 bytes). A ramp is known by its frame id and its signal's start bit. */
typedef struct Qor_Lin_Ramp_t {
  uint8_t frameId;            /* +0 */
  uint8_t mode;               /* +1 0 to QOR_LIN_RAMP_MODE_MAX */
  uint8_t direction;          /* +2 0 or 1 */
  uint8_t reserved3;          /* +3 0 */
  Qor_Common_Signal_t signal; /* +4 */
  uint16_t value1;            /* +8 */
  uint16_t value2;            /* +10 */
  uint16_t value3;            /* +12 */
  uint16_t value4;            /* +14 */
  double ratio;               /* +16 sent as a fraction */
  uint32_t value5;            /* +24 */
  uint8_t reserved28[4];      /* +28 not read */
} Qor_Lin_Ramp_t;
QOR_STATIC_ASSERT(sizeof(Qor_Lin_Ramp_t) == 32, "Qor_Lin_Ramp_t is 32 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Lin_Ramp_t, signal) == 4, "signal at 4");
QOR_STATIC_ASSERT(offsetof(Qor_Lin_Ramp_t, ratio) == 16, "ratio at 16");
QOR_STATIC_ASSERT(offsetof(Qor_Lin_Ramp_t, value5) == 24, "value5 at 24");

/* length: 0 to 8 data bytes ("invalid data length" of frame responses above). */
QOR_API uint32_t Qor_Lin_FrameResponses_DefineFrameResponse(uint32_t port, uint8_t frameId, uint8_t sendState,
                                                            uint8_t group, uint8_t attribute, uint8_t length,
                                                            const uint8_t* data);
QOR_API uint32_t Qor_Lin_FrameResponses_DeleteFrameResponse(uint32_t port, uint8_t frameId);
QOR_API uint32_t Qor_Lin_FrameResponses_DeleteAllFrameResponses(uint32_t port);
QOR_API uint32_t Qor_Lin_FrameResponses_ChangeProperties(uint32_t port, uint8_t frameId, uint8_t sendState,
                                                         uint8_t group, uint8_t attribute);
QOR_API uint32_t Qor_Lin_FrameResponses_StartGroup(uint32_t port, uint8_t group);
QOR_API uint32_t Qor_Lin_FrameResponses_StopGroup(uint32_t port, uint8_t group);
/* The first length (0 to 8) data bytes under the mask; a null mask changes every one of them. */
QOR_API uint32_t Qor_Lin_FrameResponses_ChangeData(uint32_t port, uint8_t frameId, uint8_t option, uint8_t length,
                                                   const uint8_t* mask, const uint8_t* data);
QOR_API uint32_t Qor_Lin_FrameResponses_Suspend(uint32_t port, uint8_t frameId, uint16_t value);
/* length: 0 to 8 bytes of each array. */
QOR_API uint32_t Qor_Lin_FrameResponses_Disturb(uint32_t port, uint8_t frameId, uint16_t option, uint8_t length,
                                                const uint8_t* bytes1, const uint8_t* bytes2);
/* *state is written only on success. */
QOR_API uint32_t Qor_Lin_FrameResponses_GetState(uint32_t port, uint8_t frameId,
                                                 Qor_Lin_FrameResponseState_t* state);

/* The signal description is checked by Qor_Common_Signal_CheckAndTranslate, whose code comes back unchanged. */
QOR_API uint32_t Qor_Lin_FrameResponses_Ramp_Define(uint32_t port, const Qor_Lin_Ramp_t* ramp);
QOR_API uint32_t Qor_Lin_FrameResponses_Ramp_Delete(uint32_t port, uint8_t frameId, Qor_Common_Signal_t signal);
QOR_API uint32_t Qor_Lin_FrameResponses_Ramp_ResetRampSum(uint32_t port, uint8_t frameId,
                                                          Qor_Common_Signal_t signal);
/* *state 0 to 3; "invalid response parameter" when the interface answers for another ramp. Outputs are written
 * only on success. */
QOR_API uint32_t Qor_Lin_FrameResponses_Ramp_GetState(uint32_t port, uint8_t frameId, Qor_Common_Signal_t signal,
                                                      uint32_t* state, uint32_t* value);

/* count (0 to QOR_LIN_MULTIPLEX_MAX_INDICES) values of 8 bytes each, multiplexed under the 8-byte mask. */
QOR_API uint32_t Qor_Lin_FrameResponses_MultiplexBytes_Define(uint32_t port, uint8_t frameId, uint8_t option,
                                                              uint8_t count, const uint8_t mask[8],
                                                              const uint8_t* values);
QOR_API uint32_t Qor_Lin_FrameResponses_MultiplexBytes_Stop(uint32_t port, uint8_t frameId, const uint8_t mask[8],
                                                            const uint8_t data[8]);

QOR_END_DECLS

#endif
