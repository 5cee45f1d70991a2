#include "driver_access.hpp"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

namespace qor::pxi95xx {
namespace {

int ioctlRequest(int descriptor, unsigned long request, void* record) { return ioctl(descriptor, request, record); }

const std::string kProcRoot = "/proc/";
std::string currentRoot = kProcRoot;
RequestFunction currentRequest = ioctlRequest;

}  // namespace

void useDriver(const char* root, RequestFunction request) {
  currentRoot = root != nullptr ? root : kProcRoot;
  currentRequest = request != nullptr ? request : ioctlRequest;
}

const std::string& procRoot() { return currentRoot; }

int32_t failureCode() { return errno != 0 ? errno : EIO; }

int32_t driverRequest(int descriptor, unsigned long request, void* record) {
  errno = 0;
  return currentRequest(descriptor, request, record) < 0 ? failureCode() : 0;
}

int32_t readCard(int file, uint32_t address, void* data, uint32_t length) {
  errno = 0;
  if (lseek(file, address, SEEK_SET) != static_cast<off_t>(address)) return failureCode();
  const ssize_t moved = read(file, data, length);
  if (moved < 0) return failureCode();
  return moved == static_cast<ssize_t>(length) ? 0 : EIO;
}

int32_t writeCard(int file, uint32_t address, const void* data, uint32_t length) {
  errno = 0;
  if (lseek(file, address, SEEK_SET) != static_cast<off_t>(address)) return failureCode();
  const ssize_t moved = write(file, data, length);
  if (moved < 0) return failureCode();
  return moved == static_cast<ssize_t>(length) ? 0 : EIO;
}

}  // namespace qor::pxi95xx
