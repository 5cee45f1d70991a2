/* Asynchronous communication: callbacks for answers that no caller waits for, the firmware buffer with raw frames,
 * user events, and the rest-bus helpers of the core library. */
#ifndef QOR_ASYNC_H
#define QOR_ASYNC_H

#include <stdbool.h>

#include "qor_types.h"
#include "qor_user_event.h"

QOR_BEGIN_DECLS

/* Called on the port's callback thread with the frame's data (from frame byte 12). */
typedef void (*Qor_AsyncCommunication_Callback_t)(uint32_t port, void* context, const uint8_t* data, uint32_t length);
/* Called when a callback entry is removed, with the entry's user data. */
typedef void (*Qor_AsyncCommunication_Release_t)(uint32_t port, void* context);
/* Called on the port's response thread for a negative acknowledge that no caller waits for. */
typedef void (*Qor_AsyncCommunication_ErrorCallback_t)(uint32_t port, uint32_t code, const char* text, uint32_t length);

QOR_API uint32_t Qor_AsyncCommunication_Enable(uint32_t port, Qor_AsyncCommunication_ErrorCallback_t errorCallback);
QOR_API uint32_t Qor_AsyncCommunication_Disable(uint32_t port);
QOR_API bool Qor_AsyncCommunication_IsEnabled(uint32_t port);
/* Registers callback for frames of this command and type whose data begin with the count control bytes. With a
 * userDataLength, *userData receives the entry's user data area, which the callback gets as its context. */
QOR_API uint32_t Qor_AsyncCommunication_AddCallback(uint32_t port, uint8_t command, uint8_t type, const uint8_t* control,
                                                    uint8_t count, Qor_AsyncCommunication_Callback_t callback,
                                                    Qor_AsyncCommunication_Release_t release, uint32_t userDataLength,
                                                    void** userData);
/* Removes the entry once no call of its callback runs any more, then calls its release function. */
QOR_API uint32_t Qor_AsyncCommunication_RemoveCallback(uint32_t port, uint8_t command, uint8_t type,
                                                       const uint8_t* control, uint8_t count);
QOR_API uint32_t Qor_AsyncCommunication_CallErrorCallback(uint32_t port, uint32_t code, const void* data,
                                                          uint32_t length);
QOR_API uint32_t Qor_AsyncCommunication_FunctionsWithoutResponse_Sync(uint32_t port);
QOR_API uint32_t Qor_AsyncCommunication_FunctionsWithoutResponse_Async(uint32_t port);
QOR_API bool Qor_AsyncCommunication_FunctionsWithoutResponse_IsSync(uint32_t port);

/* The firmware buffer: unmatched answers kept for Qor_Fw_Read. Size 0 takes the port's queue message size. */
QOR_API uint32_t Qor_Fw_Buffer_Enable(uint32_t port, uint32_t size);
QOR_API uint32_t Qor_Fw_Buffer_Disable(uint32_t port);
QOR_API uint32_t Qor_Fw_Read(uint32_t port, uint8_t* command, uint8_t* dataLost, uint8_t* type, uint32_t* length,
                             void* buffer);
/* Sends a raw frame; mode 0, 1 or 2 is its request kind. Nothing is awaited. */
QOR_API uint32_t Qor_Fw_Write(uint32_t port, uint8_t mode, uint8_t command, uint32_t length, const void* data);

/* User events, in memory the caller provides; a wait resets the event it returns for. */
QOR_API uint32_t Qor_Events_AllocateEvent(uint32_t port, uint32_t flags, ExternalEvent* event);
QOR_API uint32_t Qor_Events_DeallocateEvent(uint32_t port, ExternalEvent* event);
QOR_API uint32_t Qor_Events_WaitForSingleEvent(uint32_t port, ExternalEvent* event, uint32_t milliseconds);

/* Rest-bus helpers: a signal write that takes no command lock and waits for nothing, and the routing of the
 * firmware's update frames to one callback. */
QOR_API uint32_t Qor_Cyclor_WriteSignal(uint32_t port, const uint8_t* data, uint32_t length);
QOR_API uint32_t Qor_Cyclor_UpdateCallback_Set(uint32_t port, Qor_AsyncCommunication_Callback_t callback);
QOR_API uint32_t Qor_Cyclor_UpdateCallback_Reset(uint32_t port);

/* APIX access: not served by this system. */
QOR_API uint32_t Qor_Apix_Command(uint32_t port, ...);
QOR_API uint32_t Qor_Apix_CommandWithResponse(uint32_t port, ...);
QOR_API uint32_t Qor_Apix_Write(uint32_t port, uint32_t length, const uint8_t* data);
QOR_API uint32_t Qor_Apix_Read(uint32_t port, uint32_t mode, uint32_t* size, void* buffer);

/* An allocated copy of an array that a library hands to an application, and its release. */
QOR_API uint32_t Qor_Array_Duplicate(const uint8_t* data, uint32_t size, void** copy);
QOR_API uint32_t Qor_Array_Delete(void* copy);

QOR_END_DECLS

#endif
