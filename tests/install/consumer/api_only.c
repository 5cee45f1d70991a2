/* What an application includes brings the API, not the daemon's wire records nor the shared helpers. */
#include "qor_api.h"
#include "qor_xml.h"

#if defined(QOR_PROTOCOL_H) || defined(QOR_HELPERS_H) || defined(QOR_CLIENT_STATE_H)
#error "an application header brings in the internal headers"
#endif
