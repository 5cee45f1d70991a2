/* LVDS frame data: while its filter is installed, a port collects the frames that an LVDS frame grabber sends in
 * chunks through the answer stream; the application takes the newest complete frame and gives it back. */
#ifndef QOR_LVDS_FRAMES_H
#define QOR_LVDS_FRAMES_H

#include <stdbool.h>

#include "qor_types.h"

QOR_BEGIN_DECLS

/* The largest frame a grabber may announce; larger ones are dropped. */
#define QOR_LVDS_MAX_FRAME_SIZE 26542088u
/* How long Qor_Lvds_GetFrameData waits for a frame. */
#define QOR_LVDS_FRAME_WAIT_MS 5000u

/* Installs the filter (a second call keeps the frames) / removes it and frees the frames. */
QOR_API uint32_t Qor_Lvds_InitResponseFilter(uint32_t port);
QOR_API uint32_t Qor_Lvds_ResetResponseFilter(uint32_t port);
/* Waits for the next complete frame and takes it: *data stays valid and unchanged until
 * Qor_Lvds_ReleaseFrameData (from any thread) or the close of the port. Without the filter 0x200010C; while a frame
 * is still taken 0x2000208; no frame within QOR_LVDS_FRAME_WAIT_MS 0x2000107. */
QOR_API uint32_t Qor_Lvds_GetFrameData(uint32_t port, uint8_t** data, uint32_t* length);
QOR_API uint32_t Qor_Lvds_ReleaseFrameData(uint32_t port);
/* Drops a complete frame that was not taken yet, so that the next take waits for a frame captured from now on. */
QOR_API uint32_t Qor_Lvds_ResetResponseEvent(uint32_t port);
/* Whether the filter is installed. */
QOR_API bool Qor_Lvds_IsAutoEmptyEnabled(uint32_t port);
/* Whether the open found a frame grabber / a frame generator on the port. */
QOR_API bool Qor_Lvds_IsGrabber(uint32_t port);
QOR_API bool Qor_Lvds_IsGenerator(uint32_t port);
/* The LVDS channel that the port's LVDS commands carry. */
QOR_API uint32_t Qor_Lvds_LvdsChannel_Set(uint32_t port, uint8_t channel);
QOR_API uint8_t Qor_Lvds_LvdsChannel_Get(uint32_t port);

QOR_END_DECLS

#endif
