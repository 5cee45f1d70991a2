// libuoe_QorUSB_Platform: the USB devices behind the adapters of the emulator named in the settings file, one TCP
// connection per adapter; without the file it reaches no adapter.
#include <cstring>
#include <map>

#include "adapter_link.hpp"
#include "no_device.hpp"

using namespace qor::usb;
using link::Operation;

namespace {

constexpr uint32_t kAlreadyConnected = 0xE0000301;
constexpr uint32_t kNoConnection = 0xE0000304;
constexpr uint32_t kTooManyConnections = 0xE0000306;
constexpr size_t kMostConnections = 16;

// The library's connections, by target; calls name them by connection id.
class Connections {
public:
  uint32_t connect(uint32_t target, uint32_t milliseconds, uint32_t& id) {
    const auto port = adapterPort();
    if (!port) return QOR_USB_NO_DEVICE;
    std::lock_guard lock(mutex_);
    if (byTarget_.count(target) != 0) return kAlreadyConnected;
    if (byTarget_.size() >= kMostConnections) return kTooManyConnections;
    uint32_t code = 0;
    auto connection = AdapterConnection::open(target, *port, milliseconds, code);
    if (!connection) return code;
    id = nextId_++;
    byTarget_[target] = {id, std::move(connection)};
    return 0;
  }

  uint32_t disconnect(uint32_t target) {
    if (!adapterPort()) return QOR_USB_NO_DEVICE;
    std::lock_guard lock(mutex_);
    return byTarget_.erase(target) != 0 ? 0 : kNoConnection;
  }

  // The connection of that id; a call still running keeps it after a disconnect.
  std::shared_ptr<AdapterConnection> find(uint32_t id) {
    std::lock_guard lock(mutex_);
    for (const auto& [target, connected] : byTarget_) {
      if (connected.id == id) return connected.connection;
    }
    return nullptr;
  }

private:
  struct Connected {
    uint32_t id;
    std::shared_ptr<AdapterConnection> connection;
  };
  std::mutex mutex_;
  std::map<uint32_t, Connected> byTarget_;
  uint32_t nextId_ = 1;
};

Connections& connections() {
  static Connections library;
  return library;
}

// The call on the connection of that id: no device without settings, no connection for an unknown id.
LinkAnswer callAdapter(uint32_t id, const LinkCall& call) {
  if (!adapterPort()) return LinkAnswer{QOR_USB_NO_DEVICE, 0, {}};
  const auto connection = connections().find(id);
  return connection ? connection->call(call) : LinkAnswer{kNoConnection, 0, {}};
}

std::span<const uint8_t> bytesOf(const void* data, size_t length) { return {static_cast<const uint8_t*>(data), length}; }

// A call whose answer's value goes to *out on success.
uint32_t valueCall(uint32_t id, const LinkCall& call, uint32_t* out) {
  if (out == nullptr) return QOR_USB_INVALID_PARAMETER;
  const LinkAnswer answer = callAdapter(id, call);
  if (answer.code == 0) *out = answer.value;
  return answer.code;
}

} // namespace

extern "C" {

uint32_t QorUSB_Platform_DLL_Info(uint32_t* version) {
  if (version == nullptr) return QOR_USB_INVALID_PARAMETER;
  *version = QOR_UOE_USB_VERSION;
  return 0;
}

uint32_t QorUSB_Platform_ConnectToTarget(uint32_t target, uint32_t milliseconds, uint32_t* connection) {
  if (connection == nullptr) return QOR_USB_INVALID_PARAMETER;
  return connections().connect(target, milliseconds, *connection);
}

uint32_t QorUSB_Platform_DisconnectFromTarget(uint32_t target) { return connections().disconnect(target); }

uint32_t QorUSB_Platform_DeviceEnumerationStatus_Get_UoE(uint32_t* status, uint32_t connection) {
  return valueCall(connection, {Operation::EnumerationStatus}, status);
}

uint32_t QorUSB_Platform_Driver_Info_UoE(void* buffer, uint32_t size, uint32_t connection, uint32_t) {
  if (!adapterPort()) return emptyDeviceList(buffer, size, QOR_UOE_USB_VERSION);
  if (buffer == nullptr) return QOR_USB_INVALID_PARAMETER;
  if (size < sizeof(QorUSB_DriverInfo_Header_t)) return QOR_USB_MEMORY_UNDERSIZED;
  return fillDeviceList(callAdapter(connection, {Operation::DriverInfo}), buffer, size, QOR_UOE_USB_VERSION);
}

uint32_t QorUSB_Platform_Xilinx_Read_UoE(uint32_t type, uint32_t index, uint8_t reg, uint32_t* value,
                                         uint32_t connection) {
  return valueCall(connection, {Operation::XilinxRead, type, index, reg}, value);
}

uint32_t QorUSB_Platform_Xilinx_Write_UoE(uint32_t type, uint32_t index, uint8_t reg, uint32_t value,
                                          uint32_t connection) {
  return callAdapter(connection, {Operation::XilinxWrite, type, index, reg, 0, bytesOf(&value, sizeof value)}).code;
}

uint32_t QorUSB_Platform_Xilinx_Version_UoE(uint32_t type, uint32_t index, uint32_t* version, uint32_t connection) {
  return valueCall(connection, {Operation::XilinxVersion, type, index}, version);
}

uint32_t QorUSB_Platform_Xilinx_Download_UoE(uint32_t type, uint32_t index, const char* path, uint32_t* status,
                                             uint32_t connection) {
  if (path == nullptr) return QOR_USB_INVALID_PARAMETER;
  return valueCall(connection, {Operation::XilinxDownload, type, index, 0, 0, bytesOf(path, strlen(path))}, status);
}

} // extern "C"
