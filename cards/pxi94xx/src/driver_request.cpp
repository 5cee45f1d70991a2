#include "driver_request.hpp"

#include <sys/ioctl.h>

namespace qor::pxi94xx {
namespace {

int ioctlRequest(int descriptor, unsigned long request, void* record) { return ioctl(descriptor, request, record); }

DriverRequestFunction currentFunction = ioctlRequest;

}  // namespace

int driverRequest(int descriptor, unsigned long request, void* record) {
  return currentFunction(descriptor, request, record);
}

void setDriverRequestFunction(DriverRequestFunction function) {
  currentFunction = function != nullptr ? function : ioctlRequest;
}

}  // namespace qor::pxi94xx
