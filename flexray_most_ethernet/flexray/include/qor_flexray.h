/* libqor_api_flexray: the FlexRay controller of an interface (interface type 9). Every function takes the port
 * handle first and returns 0 or an error code (class 0x02, module 0x07, or the core's and the firmware's codes
 * unchanged); data go through pointers. */
#ifndef QOR_FLEXRAY_H
#define QOR_FLEXRAY_H

#include "qor_flexray_config.h"
#include "qor_flexray_config_files.h"
#include "qor_flexray_messages.h"
#include "qor_flexray_monitor.h"
#include "qor_flexray_node.h"
#include "qor_flexray_pdu.h"
#include "qor_flexray_tp.h"
#include "qor_flexray_tx_fifo.h"

#endif
