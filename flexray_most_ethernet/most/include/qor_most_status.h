/* The firmware's MOST status codes (class << 16 | number): those it may report pass unchanged; any other becomes 1 and
 * the call fails with "invalid response parameter". The other MOST calls report their statuses through this check. */
#ifndef QOR_MOST_STATUS_H
#define QOR_MOST_STATUS_H

#include "qor_types.h"

QOR_BEGIN_DECLS

#define QOR_MOST_STATUS_UNKNOWN 1u

QOR_API uint32_t Qor_Most_TranslateStatusFromFwToApi(uint32_t port, uint32_t firmwareStatus, uint32_t* status);

QOR_END_DECLS

#endif
