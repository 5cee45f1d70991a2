/* User events held by this library for the application, and the firmware's function blocks (command 0xCB). */
#ifndef QOR_COMMON_EVENTS_H
#define QOR_COMMON_EVENTS_H

#include "qor_types.h"

QOR_BEGIN_DECLS

/* ---- user events ----
 * The library allocates the core's user event record and hands the application an opaque pointer; the application
 * passes the address of that pointer back. The record is signalled where the core signals user events (a monitor
 * with the event enabled). It must not be deallocated while a thread waits on it. */

/* Allocates and initialises a user event; *event receives it. "not enough memory" (0x02010106) when the record cannot
 * be allocated; the core's code when it refuses the record (then *event is untouched). */
QOR_API uint32_t Qor_Common_Events_AllocateEvent(uint32_t port, void** event);
/* Releases the event and sets *event to NULL; on the core's failure the event is kept and stays usable. A NULL
 * *event is released already: 0 after the port check. */
QOR_API uint32_t Qor_Common_Events_DeallocateEvent(uint32_t port, void** event);
/* Waits at most `milliseconds` for the event; a wait resets the event it returns for. */
QOR_API uint32_t Qor_Common_Events_WaitForSingleEvent(uint32_t port, void** event, uint32_t milliseconds);

/* ---- function blocks ---- */
#define QOR_COMMON_FB_LAST_ERROR_FLAGS_VALID 3u
#define QOR_COMMON_FB_LAST_ERROR_TEXT_SIZE 4096u

/* Which block's last error Qor_Common_Fbp_Fb_GetLastError asks for. */
typedef struct Qor_Common_Fbp_Fb_LastErrorRequest_t {
  uint32_t flags;   /* +0 bits 0 and 1, passed to the firmware */
  uint32_t blockId; /* +4 */
} Qor_Common_Fbp_Fb_LastErrorRequest_t;
QOR_STATIC_ASSERT(sizeof(Qor_Common_Fbp_Fb_LastErrorRequest_t) == 8, "last error request is 8 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Common_Fbp_Fb_LastErrorRequest_t, blockId) == 4, "block id at 4");

/* A block's last error as the firmware reports it. The text holds the first min(textLengthA + textLengthB, 4096)
 * bytes of the firmware's text (fewer when the answer carried fewer), without terminator; the bytes after it are 0.
 * Both lengths are reported as received. */
typedef struct Qor_Common_Fbp_Fb_LastError_t {
  uint32_t firstWord;                              /* +0 */
  uint32_t secondWord;                             /* +4 */
  uint32_t thirdWord;                              /* +8 */
  uint16_t textLengthA;                            /* +12 */
  uint16_t textLengthB;                            /* +14 */
  uint8_t text[QOR_COMMON_FB_LAST_ERROR_TEXT_SIZE]; /* +16 */
} Qor_Common_Fbp_Fb_LastError_t;
QOR_STATIC_ASSERT(sizeof(Qor_Common_Fbp_Fb_LastError_t) == 4112, "last error record is 4112 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Common_Fbp_Fb_LastError_t, thirdWord) == 8, "third word at 8");
QOR_STATIC_ASSERT(offsetof(Qor_Common_Fbp_Fb_LastError_t, textLengthA) == 12, "length a at 12");
QOR_STATIC_ASSERT(offsetof(Qor_Common_Fbp_Fb_LastError_t, textLengthB) == 14, "length b at 14");
QOR_STATIC_ASSERT(offsetof(Qor_Common_Fbp_Fb_LastError_t, text) == 16, "text at 16");

/* The last error of a block; flags above 3 give 0x02010004. The result is untouched on failure. */
QOR_API uint32_t Qor_Common_Fbp_Fb_GetLastError(uint32_t port, const Qor_Common_Fbp_Fb_LastErrorRequest_t* request,
                                                Qor_Common_Fbp_Fb_LastError_t* result);
/* The id of the block named fbName: sent without terminator, at most the port's maximum parameter length - 12 bytes
 * and at most 65535, else 0x02010002. The selector goes to the firmware unchanged. */
QOR_API uint32_t Qor_Common_Fbp_Fb_GetFbIdByFbName(uint32_t port, uint32_t selector, const char* fbName,
                                                   uint32_t* fbId);

QOR_END_DECLS

#endif
