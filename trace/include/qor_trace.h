/* libqor_api_trace: bus traces of CAN, LIN, FlexRay and Ethernet interfaces, kept in time order and written as
 * ASC and pcapng files. Includes the core API and every trace header. */
#ifndef QOR_TRACE_H
#define QOR_TRACE_H

#include "qor_api.h"
#include "qor_trace_entry.h"
#include "qor_trace_monitor.h"

#endif
