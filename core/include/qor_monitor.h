/* Monitors: bus traffic that a controller sees, taken out of the answer stream into up to four instances per
 * port, each a ring buffer that the application reads or a function called for each block. */
#ifndef QOR_MONITOR_H
#define QOR_MONITOR_H

#include <stdbool.h>

#include "qor_types.h"
#include "qor_user_event.h"

QOR_BEGIN_DECLS

/* Called on the port's response thread for each block of monitor data. It must not wait for an answer of the same
 * port: that answer would come through the very thread that runs it. */
typedef void (*Qor_Monitor_Callback_t)(uint32_t port, void* context, const uint8_t* data, uint32_t length);
/* Called when the instance is freed, in either mode, with its context (none in ring mode). */
typedef void (*Qor_Monitor_Cleanup_t)(uint32_t port, void* context);

/* Init flags. */
enum { QOR_MONITOR_CALLBACK_MODE = 1u << 0, QOR_MONITOR_NO_BUS_FILTER = 1u << 1 };
#define QOR_MONITOR_INSTANCES 4u

QOR_API uint32_t Qor_Monitor_InstanceId_Set(uint32_t port, uint8_t instance);
QOR_API uint8_t Qor_Monitor_InstanceId_Get(uint32_t port);
/* On the current instance. Ring mode: size 0 takes the port's minimum buffer size. Callback mode: a context of
 * size bytes is allocated and returned through *context when both are given. */
QOR_API uint32_t Qor_Monitor_Init(uint32_t port, uint32_t flags, Qor_Monitor_Callback_t callback,
                                  Qor_Monitor_Cleanup_t cleanup, uint32_t size, void** context);
QOR_API uint32_t Qor_CloseMonitor(uint32_t port);
QOR_API uint32_t Qor_Monitor_Close(uint32_t port, uint8_t instance);
QOR_API uint32_t Qor_IsMonitorEnabled(uint32_t port);
QOR_API uint32_t Qor_Monitor_IsEnabled(uint32_t port, uint8_t instance);
QOR_API uint32_t Qor_GetMonitorItems(uint32_t port, void* buffer, uint32_t* size, uint8_t* dataLost);
QOR_API uint32_t Qor_Monitor_Read(uint32_t port, uint8_t instance, void* buffer, uint32_t* size, uint8_t* dataLost);
/* Flags: bit 0 more data are stored, bit 1 data were lost. */
QOR_API uint32_t Qor_Monitor_Read_FixedItemSize(uint32_t port, uint32_t itemSize, uint32_t bufferSize, uint32_t* flags,
                                                uint32_t* itemCount, void* buffer);
QOR_API uint32_t Qor_GetMinimumMonitorBufferSize(uint32_t port);
QOR_API uint32_t Qor_Monitor_GetMinimumBufferSize(uint32_t port);
QOR_API void* Qor_Monitor_GetCallbackContext(uint32_t port);
QOR_API uint32_t Qor_Monitor_GetLockState(uint32_t port);
QOR_API uint32_t Qor_Monitor_EnableEvent(uint32_t port, ExternalEvent* event);
QOR_API uint32_t Qor_Monitor_DisableEvent(uint32_t port);

QOR_END_DECLS

#endif
