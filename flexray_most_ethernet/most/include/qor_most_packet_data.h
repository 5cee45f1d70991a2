/* The MOST packet data channel: packets of up to 65535 data bytes to a 16-bit target address, and MOST Ethernet
 * packets (a data block the firmware sends unchanged), each with its transmitter's state. A record longer than the
 * port's maximum parameter length is refused before anything is sent. */
#ifndef QOR_MOST_PACKET_DATA_H
#define QOR_MOST_PACKET_DATA_H

#include "qor_types.h"

QOR_BEGIN_DECLS

#define QOR_MOST_PDTS_MAX_DATA_BYTES 65535u
/* The send functions' result: the queue's send flag, and this bit when the transmitter was still busy at the end of
 * the wait (no error). */
#define QOR_MOST_PDTS_RESULT_SENT 0x01u
#define QOR_MOST_PDTS_RESULT_STILL_BUSY 0x02u

/* Runs on the port's callback thread. */
typedef void (*Qor_Most_Pdts_GetTxStateCallback_t)(uint32_t port, uint32_t status, uint32_t busy);

/* flag: the firmware's send flag (bit 0). */
QOR_API uint32_t Qor_Most_Pdts_QueueMessage(uint32_t port, uint16_t targetAddress, const uint8_t* data, uint32_t length,
                                            uint32_t* flag);
/* Queues, then polls the transmitter each millisecond while it is busy, for at most timeout / 1000 + 3 ms (timeout in
 * microseconds); status is the last state's. */
QOR_API uint32_t Qor_Most_Pdts_SendMessage(uint32_t port, uint32_t timeout, uint16_t targetAddress,
                                           const uint8_t* data, uint32_t length, uint32_t* status, uint32_t* result);
/* busy is written first; the status goes through Qor_Most_TranslateStatusFromFwToApi, whose code is returned. */
QOR_API uint32_t Qor_Most_Pdts_GetTxState(uint32_t port, uint32_t* status, uint32_t* busy);
QOR_API uint32_t Qor_Most_Pdts_GetTxState_Async(uint32_t port);
QOR_API uint32_t Qor_Most_Pdts_GetTxState_Async_AddCallback(uint32_t port, Qor_Most_Pdts_GetTxStateCallback_t callback);
QOR_API uint32_t Qor_Most_Pdts_GetTxState_Async_RemoveCallback(uint32_t port);

QOR_API uint32_t Qor_Most_Pdts_Mep_QueueMessage(uint32_t port, uint16_t length, const uint8_t* data, uint32_t* flag);
QOR_API uint32_t Qor_Most_Pdts_Mep_SendMessage(uint32_t port, uint32_t timeout, uint16_t length, const uint8_t* data,
                                               uint32_t* status, uint32_t* result);
QOR_API uint32_t Qor_Most_Pdts_Mep_GetTxState(uint32_t port, uint32_t* status, uint32_t* busy);

QOR_END_DECLS

#endif
