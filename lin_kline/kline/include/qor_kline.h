/* libqor_api_kline: K-Line interfaces (interface type 6): node properties, diagnostic protocols, the UART FIFOs and
 * the monitor. Every function returns 0 or an error code (class 0x02, module 0x0F, or the core's and the firmware's
 * codes unchanged); another interface type gives "wrong interface type". */
#ifndef QOR_KLINE_H
#define QOR_KLINE_H

#include "qor_kline_fifo.h"
#include "qor_kline_monitor.h"
#include "qor_kline_node.h"

#endif
