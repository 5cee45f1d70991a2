#include "lock_tables.hpp"

#include "qor_error_codes.h"

namespace qor::daemon {
namespace {

// Takes a free lock; true when pid owns it now. A lock that does not exist cannot be taken.
bool takeLock(uint32_t* owner, uint32_t pid) {
  if (owner == nullptr) return false;
  if (*owner == 0) *owner = pid;
  return *owner == pid;
}

// Releases a lock pid owns; false when another process owns it. A free or missing lock releases fine.
bool releaseLock(uint32_t* owner, uint32_t pid) {
  if (owner == nullptr || *owner == 0) return true;
  if (*owner != pid) return false;
  *owner = 0;
  return true;
}

void dropIfOwned(uint32_t* owner, uint32_t pid) {
  if (owner != nullptr && *owner == pid) *owner = 0;
}

} // namespace

uint32_t* LockTables::controllerOwner(uint8_t controller) {
  return controller >= 1 && controller <= kControllers ? &controllers_[controller - 1] : nullptr;
}

uint32_t* LockTables::interfaceOwner(uint8_t controller, uint8_t interfaceNumber) {
  if (controllerOwner(controller) == nullptr || interfaceNumber < 1 || interfaceNumber > kInterfaces) return nullptr;
  return &interfaces_[controller - 1][interfaceNumber - 1];
}

uint32_t* LockTables::monitorOwner(uint8_t controller, uint8_t interfaceNumber) {
  if (interfaceOwner(controller, interfaceNumber) == nullptr) return nullptr;
  return &monitors_[controller - 1][interfaceNumber - 1];
}

LockTables::Grant LockTables::grant(uint32_t pid, uint8_t controller, uint8_t interfaceNumber) {
  return Grant{takeLock(controllerOwner(controller), pid), takeLock(interfaceOwner(controller, interfaceNumber), pid)};
}

uint32_t LockTables::take(uint32_t pid, uint8_t controller, uint8_t interfaceNumber) {
  if (!takeLock(controllerOwner(controller), pid)) return QOR_ERR_SERVER_NO_LOCK;
  return takeLock(interfaceOwner(controller, interfaceNumber), pid) ? 0 : QOR_ERR_SERVER_NO_LOCK;
}

uint32_t LockTables::release(uint32_t pid, uint8_t controller, uint8_t interfaceNumber) {
  if (!releaseLock(controllerOwner(controller), pid)) return QOR_ERR_SERVER_NO_LOCK;
  return releaseLock(interfaceOwner(controller, interfaceNumber), pid) ? 0 : QOR_ERR_SERVER_NO_LOCK;
}

uint32_t LockTables::takeMonitor(uint32_t pid, uint8_t controller, uint8_t interfaceNumber) {
  return takeLock(monitorOwner(controller, interfaceNumber), pid) ? 0 : QOR_ERR_SERVER_NO_LOCK;
}

uint32_t LockTables::releaseMonitor(uint32_t pid, uint8_t controller, uint8_t interfaceNumber) {
  return releaseLock(monitorOwner(controller, interfaceNumber), pid) ? 0 : QOR_ERR_SERVER_NO_LOCK;
}

void LockTables::releaseOnClose(uint32_t pid, uint8_t controller, uint8_t interfaceNumber, bool keepController,
                                bool keepInterface) {
  if (!keepController) dropIfOwned(controllerOwner(controller), pid);
  if (!keepInterface) {
    dropIfOwned(interfaceOwner(controller, interfaceNumber), pid);
    dropIfOwned(monitorOwner(controller, interfaceNumber), pid);
  }
}

} // namespace qor::daemon
