/* The MOST network interface controller (INIC) behind the firmware: function requests with up to 65535 parameter
 * bytes, the reports that answer them, waiting for a report, the network start-up and shut-down, and the INIC's
 * state. */
#ifndef QOR_MOST_INIC_H
#define QOR_MOST_INIC_H

#include <stddef.h>

#include "qor_types.h"

QOR_BEGIN_DECLS

#define QOR_MOST_INIC_DATA_MAX 65535u
/* Bits of a report's state. */
#define QOR_MOST_INIC_STATE_BITS 0x1Fu
#define QOR_MOST_INIC_STATE_PENDING 0x2u /* the report is not complete yet */
#define QOR_MOST_INIC_FUNCTION_NETWORK_STARTUP 0x500u
#define QOR_MOST_INIC_FUNCTION_NETWORK_SHUTDOWN 0x501u
#define QOR_MOST_INIC_OPERATION_START_RESULT 2u

/* Highest values of the INIC's state. */
#define QOR_MOST_INIC_LOCK_STATE_MAX 2u
#define QOR_MOST_INIC_EHCI_STATE_MAX 3u
#define QOR_MOST_INIC_NI_STATE_MAX 4u
#define QOR_MOST_INIC_NC_STATE_MAX 2u

typedef struct Qor_Most_Inic_Result_t {
  uint32_t state;        /* +0 the report's state bits */
  uint32_t status;       /* +4 MOST status */
  uint16_t functionId;   /* +8 of the report */
  uint8_t operationType; /* +10 of the report */
  uint8_t reserved;      /* +11 written 0 */
} Qor_Most_Inic_Result_t;
QOR_STATIC_ASSERT(sizeof(Qor_Most_Inic_Result_t) == 12, "INIC result is 12 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Most_Inic_Result_t, functionId) == 8, "function id at 8");

/* Run on the port's callback thread; data are valid during the call only. */
typedef void (*Qor_Most_Inic_GetReportCallback_t)(uint32_t port, uint32_t state, uint32_t status, uint16_t functionId,
                                                  uint8_t operationType, uint8_t instanceId, const uint8_t* data,
                                                  uint16_t length);
typedef void (*Qor_Most_Inic_GetStateCallback_t)(uint32_t port, uint8_t lockState, uint8_t ehciState,
                                                 uint8_t niState, uint8_t ncState, uint8_t deviceMode);

QOR_API uint32_t Qor_Most_Inic_QueueRequest(uint32_t port, uint16_t functionId, uint8_t operationType,
                                            uint8_t instanceId, const uint8_t* data, uint32_t length);
/* length in = room of data, out = the report's length; a report longer than the room writes nothing. */
QOR_API uint32_t Qor_Most_Inic_GetReport(uint32_t port, uint32_t* state, uint32_t* status, uint16_t* functionId,
                                         uint8_t* operationType, uint8_t* instanceId, uint8_t* data, uint32_t* length);
/* Sends the request (instance 0) and reads its report until it is complete or timeout milliseconds passed; a report
 * complete at the last read is success however late. reportLength in = room of reportData, out = the report's
 * length. */
QOR_API uint32_t Qor_Most_Inic_Request(uint32_t port, uint32_t timeout, uint16_t functionId, uint8_t operationType,
                                       const uint8_t* data, uint32_t length, Qor_Most_Inic_Result_t* result,
                                       uint8_t* reportData, uint32_t* reportLength);
QOR_API uint32_t Qor_Most_Inic_Request_NwStartup_StartResult(uint32_t port, uint32_t timeout,
                                                             Qor_Most_Inic_Result_t* result, uint8_t* reportData,
                                                             uint32_t* reportLength);
QOR_API uint32_t Qor_Most_Inic_Request_NwShutdown_StartResult(uint32_t port, uint32_t timeout,
                                                              Qor_Most_Inic_Result_t* result, uint8_t* reportData,
                                                              uint32_t* reportLength);
/* Values are checked and stored in this order; the first out of range stops, those before it stay written. */
QOR_API uint32_t Qor_Most_Inic_GetState(uint32_t port, uint8_t* lockState, uint8_t* ehciState, uint8_t* niState,
                                        uint8_t* ncState, uint8_t* deviceMode);

/* Every port that is not a MOST port, a bad handle included, gives "wrong interface type". */
QOR_API uint32_t Qor_Most_Inic_GetReport_Async(uint32_t port);
QOR_API uint32_t Qor_Most_Inic_GetReport_Async_AddCallback(uint32_t port, Qor_Most_Inic_GetReportCallback_t callback);
QOR_API uint32_t Qor_Most_Inic_GetReport_Async_RemoveCallback(uint32_t port);
QOR_API uint32_t Qor_Most_Inic_GetState_Async(uint32_t port);
QOR_API uint32_t Qor_Most_Inic_GetState_Async_AddCallback(uint32_t port, Qor_Most_Inic_GetStateCallback_t callback);
QOR_API uint32_t Qor_Most_Inic_GetState_Async_RemoveCallback(uint32_t port);

QOR_END_DECLS

#endif
