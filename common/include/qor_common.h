/* libqor_api_common: the services that every kind of controller offers, whatever bus it drives. Every function
 * returns 0 or an error code (class 0x02, module 0x01, or the core's and the firmware's codes unchanged); data go
 * through pointers. Reserved fields and flag bits without a meaning must be zero. */
#ifndef QOR_COMMON_H
#define QOR_COMMON_H

#include "qor_common_controller.h"
#include "qor_common_event_action.h"
#include "qor_common_events.h"
#include "qor_common_memory.h"
#include "qor_common_properties.h"
#include "qor_common_signal.h"
#include "qor_common_xcp.h"
#include "qor_common_xcp_commands.h"
#include "qor_common_xcp_daq.h"

#endif
