#include "access_path.hpp"

#include <cstdarg>
#include <cstdio>

#include "qor_error_codes.h"

namespace qor::daemon {
namespace {

constexpr size_t kErrorTextSize = 4096;

} // namespace

PathStatus pathError(uint32_t code, const char* format, ...) {
  if (code == 0) return {};
  char text[kErrorTextSize];
  va_list arguments;
  va_start(arguments, format);
  vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  return PathStatus{code, text};
}

PathStatus functionNotAvailable() { return PathStatus{QOR_ERR_SERVER_FUNCTION_NOT_AVAILABLE, {}}; }

PathStatus Device::write(Bytes) { return functionNotAvailable(); }
PathStatus Device::read(Buffer, uint32_t& length) {
  length = 0;
  return functionNotAvailable();
}
void Device::wakeRead() {}
PathStatus Device::flushResponse() { return functionNotAvailable(); }
PathStatus Device::initMonitor(uint8_t) { return functionNotAvailable(); }
PathStatus Device::readMonitor(Buffer, uint32_t& length) {
  length = 0;
  return functionNotAvailable();
}
PathStatus Device::stopMonitor(uint8_t, uint8_t) { return functionNotAvailable(); }
PathStatus Device::fpgaRegisterRead(uint8_t, uint32_t&) { return functionNotAvailable(); }
PathStatus Device::fpgaRegisterWrite(uint8_t, uint32_t) { return functionNotAvailable(); }
PathStatus Device::fpgaDesignVersion(uint32_t&) { return functionNotAvailable(); }
PathStatus Device::fpgaReconfigure(Bytes) { return functionNotAvailable(); }
PathStatus Device::fpgaFifoRead(Buffer, uint32_t& length, uint32_t) {
  length = 0;
  return functionNotAvailable();
}
PathStatus Device::fpgaFifoWrite(Bytes) { return functionNotAvailable(); }
uint32_t Device::listedDeviceNumber() const { return 0; }

PathStatus AccessPath::start(const PathSettings&) { return {}; }
void AccessPath::shutdown() {}
PathStatus AccessPath::driverInfo(uint32_t, Buffer, uint32_t& written, Bytes) {
  written = 0;
  return functionNotAvailable();
}
PathStatus AccessPath::refresh(bool) { return {}; }
PathStatus AccessPath::boardRequest(const BoardRequest95xx&, Device*, Buffer, uint32_t& length) {
  length = 0;
  return functionNotAvailable();
}

} // namespace qor::daemon
