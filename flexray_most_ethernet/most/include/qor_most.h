/* libqor_api_most: the MOST controller of an interface (interface type 7). Every function takes the port handle first
 * and returns 0 or an error code (class 0x02, module 0x04, or the core's and the firmware's codes unchanged); data go
 * through pointers. */
#ifndef QOR_MOST_H
#define QOR_MOST_H

#include "qor_most_ams.h"
#include "qor_most_cms.h"
#include "qor_most_diag.h"
#include "qor_most_inic.h"
#include "qor_most_monitor.h"
#include "qor_most_node.h"
#include "qor_most_packet_data.h"
#include "qor_most_rbd.h"
#include "qor_most_status.h"
#include "qor_most_tp.h"
#include "qor_most_tp_direct.h"

#endif
