/* libqor_api_lin: LIN controllers (interface type 5). Every function takes the port handle first and returns 0 or an
 * error code (class 0x02, module 0x05, or the core's and the firmware's codes unchanged); data go through pointers.
 * Every time handed to the library is in nanoseconds (the firmware counts in ticks of 25 ns; the library truncates).
 * Reserved fields and flag bits without a meaning must be zero. */
#ifndef QOR_LIN_H
#define QOR_LIN_H

#include "qor_lin_event_frames.h"
#include "qor_lin_frames.h"
#include "qor_lin_node.h"
#include "qor_lin_schedule.h"
#include "qor_types.h"

#include "qor_lin_diag.h"
#include "qor_lin_disturbance.h"
#include "qor_lin_monitor.h"
#include "qor_lin_relays.h"
#include "qor_lin_triggers.h"

#endif
