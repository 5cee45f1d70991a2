/* MOST direct transport channels: a transport connection of the firmware on a channel, without channel allocation.
 * The application initialises the channel, starts the connection, sends requests of up to 65535 bytes (in segments),
 * collects the responses and stops the connection; the waiting functions take a time limit in milliseconds. States,
 * types, result bytes and modes are the firmware's; the library checks their ranges and passes them on. */
#ifndef QOR_MOST_TP_DIRECT_H
#define QOR_MOST_TP_DIRECT_H

#include "qor_types.h"

QOR_BEGIN_DECLS

#define QOR_MOST_TP_DIRECT_MAX_DATA 65535u
/* A response collects at most this many bytes. */
#define QOR_MOST_TP_DIRECT_MAX_RESPONSE 65536u
#define QOR_MOST_TP_DIRECT_MODE_MAX 1u
#define QOR_MOST_TP_DIRECT_STATE_MAX 4u
#define QOR_MOST_TP_DIRECT_TP_TYPE_MAX 2u
#define QOR_MOST_TP_DIRECT_TYPE_MAX 1u
/* Bits of the state's flags. */
#define QOR_MOST_TP_DIRECT_BUSY 0x1u

/* Callbacks run on the port's callback thread; data are valid during the call only. */
typedef void (*Qor_Most_TpDirect_GetStateCallback_t)(uint32_t port, uint8_t channel, uint8_t result, uint8_t tpType,
                                                     uint8_t tpDirectType, uint8_t state, uint32_t flags);
typedef void (*Qor_Most_TpDirect_GetResponseCallback_t)(uint32_t port, uint8_t channel, uint32_t result,
                                                        uint8_t state, const uint8_t* data, uint32_t length);

QOR_API uint32_t Qor_Most_TpDirect_Reset(uint32_t port, uint8_t channel);
QOR_API uint32_t Qor_Most_TpDirect_Init_Normal(uint32_t port, uint8_t channel);
QOR_API uint32_t Qor_Most_TpDirect_Init_Off(uint32_t port, uint8_t channel);
/* mode 0 or 1; data: the start or stop data (length bytes, which must fit one record). */
QOR_API uint32_t Qor_Most_TpDirect_InitiateStart(uint32_t port, uint8_t channel, uint8_t mode, const uint8_t* data,
                                                 uint32_t length);
QOR_API uint32_t Qor_Most_TpDirect_InitiateStop(uint32_t port, uint8_t channel, uint8_t mode, const uint8_t* data,
                                                uint32_t length);
/* Sends the request in segments of the port's parameter length. */
QOR_API uint32_t Qor_Most_TpDirect_QueueRequest(uint32_t port, uint8_t channel, uint8_t mode, const uint8_t* data,
                                                uint32_t length);

/* flag 0 or 1 as the firmware defines it; flags: bits 0 (busy) and 1. On a value out of range the outputs before it
 * (flags, state, tpType, tpDirectType, result in this order) are written, the others not. */
QOR_API uint32_t Qor_Most_TpDirect_GetState(uint32_t port, uint8_t channel, uint32_t flag, uint32_t* result,
                                            uint8_t* tpType, uint8_t* tpDirectType, uint8_t* state, uint32_t* flags);
QOR_API uint32_t Qor_Most_TpDirect_GetState_Async(uint32_t port, uint8_t channel, uint32_t flag);
QOR_API uint32_t Qor_Most_TpDirect_GetState_Async_AddCallback(uint32_t port, uint8_t channel,
                                                              Qor_Most_TpDirect_GetStateCallback_t callback);
QOR_API uint32_t Qor_Most_TpDirect_GetState_Async_RemoveCallback(uint32_t port, uint8_t channel);

/* length: in the capacity of data, out the response's length. A response longer than the capacity is read to its end
 * and refused with the length it needs. */
QOR_API uint32_t Qor_Most_TpDirect_GetResponse(uint32_t port, uint8_t channel, uint32_t* result, uint8_t* state,
                                               uint8_t* data, uint32_t* length);
QOR_API uint32_t Qor_Most_TpDirect_GetResponse_Async_Enable(uint32_t port, uint8_t channel);
QOR_API uint32_t Qor_Most_TpDirect_GetResponse_Async_Disable(uint32_t port, uint8_t channel);
QOR_API uint32_t Qor_Most_TpDirect_GetResponse_Async_AddCallback(uint32_t port, uint8_t channel,
                                                                 Qor_Most_TpDirect_GetResponseCallback_t callback);
QOR_API uint32_t Qor_Most_TpDirect_GetResponse_Async_RemoveCallback(uint32_t port, uint8_t channel);

/* Send, then poll the state until the transfer is done or timeout milliseconds passed; result receives the state's
 * result byte. A poll that finds the transfer done ends the wait successfully, however late. Request: done when not
 * busy. Stop: done in state 1 and not busy. Start: stops a channel in state 3 first; done when out of state 2 and not
 * busy. */
QOR_API uint32_t Qor_Most_TpDirect_Request(uint32_t port, uint8_t channel, uint32_t timeout, uint8_t mode,
                                           const uint8_t* data, uint32_t length, uint32_t* result);
QOR_API uint32_t Qor_Most_TpDirect_Start(uint32_t port, uint8_t channel, uint32_t timeout, uint8_t mode,
                                         const uint8_t* data, uint32_t length, uint32_t* result);
QOR_API uint32_t Qor_Most_TpDirect_Stop(uint32_t port, uint8_t channel, uint32_t timeout, uint8_t mode,
                                        const uint8_t* data, uint32_t length, uint32_t* result);

QOR_END_DECLS

#endif
