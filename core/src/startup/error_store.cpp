#include "startup/error_store.hpp"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <syslog.h>

#include "ports/port_context.hpp"
#include "ports/port_table.hpp"
#include "qor_api.h"
#include "qor_shared/scoped_lock.hpp"
#include "startup/exported_call.hpp"

namespace qor::client {
namespace {

void copyText(char (&target)[QOR_ERROR_TEXT_SIZE], const char* text) {
  snprintf(target, sizeof target, "%s", text ? text : "");
}

// Formats "0x%08X - <table text>[ - <stored text>]" into at most capacity bytes; returns the full length.
int formatDescription(char* out, size_t capacity, uint32_t code, const char* text) {
  if (code == 0) return snprintf(out, capacity, "No Error.");
  if (text[0] != '\0') return snprintf(out, capacity, "0x%08X - %s - %s", code, Qor_Error_GetErrorDescription(code), text);
  return snprintf(out, capacity, "0x%08X - %s", code, Qor_Error_GetErrorDescription(code));
}

} // namespace

uint32_t storeError(Qor_PortInfo_t* entry, uint32_t code, const char* text) {
  {
    SectionLock process(ClientInfo.lock);
    ClientInfo.lastErrorCode = code;
    copyText(ClientInfo.lastErrorText, text);
  }
  if (entry == nullptr) return code;
  if (Qor_PortContext* context = portContext(*entry)) {
    SectionLock general(context->general);
    context->lastErrorCode = code;
    copyText(context->lastErrorText, text);
  }
  return code;
}

const char* describeCode(uint32_t code) {
  if (code == 0) return "no error";
  if (code <= QOR_FIRMWARE_CODE_MAX) return "firmware error";
  return Qor_Error_GetErrorDescription(code);
}

} // namespace qor::client

using namespace qor::client;

uint32_t Qor_Client_ErrorHandler(Qor_PortInfo_t* entry, uint32_t code, const char* format, ...) {
  char text[QOR_ERROR_TEXT_SIZE] = "";
  if (format != nullptr && format[0] != '\0') {
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
  }
  // The line carries the values, as the stored text does.
  if (entry != nullptr) syslog(LOG_DEBUG, "%s : %s (0x%X)\n", "Qor_Client_ErrorHandler", text, code);
  return storeError(entry, code, text);
}

extern "C" {

uint32_t Qor_ErrorHandler(uint32_t port, uint32_t code, const char* format, ...) try {
  char text[QOR_ERROR_TEXT_SIZE] = "";
  if (format != nullptr) {
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
  }
  if (port == QOR_NO_PORT && text[0] != '\0') syslog(LOG_ERR, "%s", text);
  PortRef ref = PortRef::acquire(port);
  return storeError(ref ? &ref.entry() : nullptr, code, text);
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_GetLastErrorCode(void) try {
  return qor::underSection(ClientInfo.lock, [] { return ClientInfo.lastErrorCode; });
} catch (...) {
  return failedCall(QOR_NO_PORT);
}

const char* Qor_GetLastErrorDescription(void) try {
  // One buffer per thread: a caller's text is never overwritten by another thread.
  static thread_local char description[QOR_ERROR_TEXT_SIZE];
  qor::SectionLock process(ClientInfo.lock);
  // A description longer than the buffer is cut.
  if (formatDescription(description, sizeof description, ClientInfo.lastErrorCode, ClientInfo.lastErrorText) < 0) {
    description[0] = '\0';
  }
  return description;
} catch (...) {
  return failedCall(QOR_NO_PORT, "");
}

uint32_t Qor_GetLastErrorByPortHandle(uint32_t port, uint32_t* code, uint32_t* size, char* text) try {
  PortRef ref = checkedPort(port);
  if (!ref) return QOR_ERR_API_INVALID_PORT_HANDLE;
  if (code == nullptr || size == nullptr || (text == nullptr && *size != 0)) {
    return Qor_Client_ErrorHandler(&ref.entry(), QOR_ERR_API_INVALID_PARAMETER, "invalid pointer");
  }
  Qor_PortContext& context = ref.context();
  qor::SectionLock general(context.general);
  *code = context.lastErrorCode;
  const int length = formatDescription(text, *size, context.lastErrorCode, context.lastErrorText);
  *size = static_cast<uint32_t>(length) + 1;
  return 0;
} catch (...) {
  return failedCall(port);
}

const char* Qor_GetErrorDescription(uint32_t code) try {
  return describeCode(code);
} catch (...) {
  return failedCall(QOR_NO_PORT, "");
}

} // extern "C"
