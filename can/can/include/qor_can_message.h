/* What every CAN call that describes a message shares: the message flags and the data bytes of a DLC. */
#ifndef QOR_CAN_MESSAGE_H
#define QOR_CAN_MESSAGE_H

#include "qor_types.h"

QOR_BEGIN_DECLS

/* The message flag bits that a message description may carry; any other bit is refused as an unknown flag. */
#define QOR_CAN_MSG_FLAGS_DEFINED 0x03u

/* The highest DLC; a CAN FD frame of DLC 9 to 15 carries 12 to 64 data bytes. */
#define QOR_CAN_MAX_DLC 15u

/* The number of data bytes for DLC 0 to 15: 0 to 8, then 12, 16, 20, 24, 32, 48, 64. */
QOR_API extern const uint8_t Qor_Can_Internal_DlcToNumberOfDataBytes_LUT[16];

/* The firmware's flags byte for a message's flags: bit 0 gives 1, bit 1 gives 2, both 3, none 0. */
QOR_API uint32_t Qor_Can_Internal_Translate_MsgFlags_Api2Fw(uint32_t port, uint8_t flags, uint8_t* firmwareFlags);

QOR_END_DECLS

#endif
