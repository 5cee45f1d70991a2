/* libqor_api_can: CAN and CAN FD controllers (interface type 4). Every function takes the port handle first and
 * returns 0 or an error code (class 0x02, module 0x02, or the core's and the firmware's codes unchanged); data go
 * through pointers. Reserved fields and flag bits without a meaning must be zero. */
#ifndef QOR_CAN_H
#define QOR_CAN_H

#include "qor_can_ccp.h"
#include "qor_can_diag.h"
#include "qor_can_cyclic.h"
#include "qor_can_message.h"
#include "qor_can_node.h"
#include "qor_can_nm.h"
#include "qor_can_tar.h"
#include "qor_can_tp.h"
#include "qor_can_triggers.h"
#include "qor_can_tx_fifo.h"
#include "qor_can_tx_trace.h"
#include "qor_can_monitor.h"

#endif
