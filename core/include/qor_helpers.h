/* The shared internal helpers: type tables, events, critical sections, threads, time, message queues and
 * a decimal-to-fraction conversion. libqor_api exports them; the daemon and the other libraries compile the
 * same unit in privately. None of them records an error: they return codes or values and write to the log. */
#ifndef QOR_HELPERS_H
#define QOR_HELPERS_H

#include <mqueue.h>
#include <pthread.h>
#include <time.h>

#include "qor_types.h"
#include "qor_user_event.h"

QOR_BEGIN_DECLS

/* ---- host interface types and interface types ---- */
QOR_SHARED_API const char* Qor_Internal_GetHostInterfaceTypeDescription(uint32_t type);
QOR_SHARED_API uint32_t Qor_Internal_GetInternalHostInterfaceType(uint32_t type);
QOR_SHARED_API uint32_t Qor_Internal_TranslateHostInterfaceType_Fw2Api(uint32_t firmwareDeviceCode);
QOR_SHARED_API uint32_t Qor_Internal_TranslateInterfaceType_Fw2Api(uint32_t firmwareInterfaceCode);
QOR_SHARED_API uint32_t Qor_Internal_CheckHostInterfaceType(uint32_t type);
QOR_SHARED_API uint32_t Qor_Internal_CheckInterfaceType(uint32_t type);
QOR_SHARED_API uint32_t Qor_Internal_GetHostCommunicationType(const Qor_InterfaceInfo_t* descriptor);
/* Always 0; *count is the number of controllers of the model, 0 for an unknown model. */
QOR_SHARED_API uint32_t Qor_Internal_GetMaxNumberOfControllers(uint32_t type, uint8_t* count);

/* ---- files and texts ---- */
QOR_SHARED_API uint32_t Qor_Internal_GetFileSize(const char* path, uint32_t* size);
QOR_SHARED_API const char* Qor_Internal_GetWindowsErrorDescription(uint32_t errorNumber);
/* Writes value with "%ld"; text must hold at least 21 bytes. */
QOR_SHARED_API char* itoa(int64_t value, char* text);

/* ---- events ---- */
/* A flag guarded by a mutex and signalled through a condition variable; several events may share the pair. */
typedef struct InternalEvent {
  pthread_cond_t* condition;
  pthread_mutex_t* mutex;
  uint32_t signalled;
} InternalEvent;
/* ExternalEvent, the user event (qor_user_event.h), is the same with the pair embedded. */

QOR_SHARED_API void Qor_Internal_SetEvent(InternalEvent* event);
QOR_SHARED_API void Qor_External_SetEvent(ExternalEvent* event);
QOR_SHARED_API void Qor_Internal_ResetEvent(InternalEvent* event);

/* ---- critical sections: recursive mutexes; a failing lock ends the process with its result code ---- */
typedef struct Qor_CriticalSection_t {
  uint32_t flags; /* bit 0: initialised */
  pthread_mutex_t mutex;
  pthread_mutexattr_t attributes;
} Qor_CriticalSection_t;

QOR_SHARED_API void Qor_InitializeCriticalSection(Qor_CriticalSection_t* section);
QOR_SHARED_API void Qor_EnterCriticalSection(Qor_CriticalSection_t* section);
QOR_SHARED_API void Qor_LeaveCriticalSection(Qor_CriticalSection_t* section);
QOR_SHARED_API void Qor_DeleteCriticalSection(Qor_CriticalSection_t* section);

/* ---- threads and time ---- */
/* Starts a thread with default attributes; returns its id, 0 on failure. The name is not given to the thread. */
QOR_SHARED_API pthread_t Qor_Internal_Thread_Start(void* (*routine)(void*), const char* name, void* argument);
/* Milliseconds of the monotonic clock; 0.0 when the clock cannot be read. */
QOR_SHARED_API double GetTickCount(void);
QOR_SHARED_API struct timespec ns_to_timespec(int64_t nanoseconds);

/* ---- message queues ---- */
QOR_SHARED_API mqd_t Open_MsgQueue(const char* name, uint8_t write);
QOR_SHARED_API mqd_t Create_MsgQueue(const char* name, uint32_t messageSize, uint8_t write);
QOR_SHARED_API int close_message_queue(mqd_t* descriptor);
QOR_SHARED_API int destroy_message_queue(mqd_t* descriptor, const char* name);
QOR_SHARED_API int destroy_message_queues(mqd_t* readDescriptor, mqd_t* writeDescriptor, const char* baseName);
/* Sends message; with a reply buffer, receives one reply of at most replyCapacity bytes on receiveQueue.
 * Both steps are bounded by QOR_PRIVATE_PAIR_TIMEOUT_MS; failures give 0x2000100. */
QOR_SHARED_API uint32_t MsgSndLinux(mqd_t sendQueue, const void* message, uint32_t length, mqd_t receiveQueue,
                                    void* reply, uint32_t replyCapacity);
QOR_SHARED_API uint32_t Qor_Internal_DisconnectMq(mqd_t sendQueue, mqd_t receiveQueue, uint8_t portIndex,
                                                  uint8_t applicationIndex);

/* Longest wait for the daemon's side of a private-pair exchange: it may open a device meanwhile. */
#define QOR_PRIVATE_PAIR_TIMEOUT_MS 10000u

/* ---- arithmetic ---- */
QOR_SHARED_API void Qor_Internal_Math_Float64_Decimal2Fraction(uint32_t* numerator, uint32_t* denominator,
                                                               double value);

/* ---- error descriptions (the one table for every deliverable) ---- */
QOR_SHARED_API const char* Qor_Error_GetErrorDescription(uint32_t code);

QOR_END_DECLS

#endif
