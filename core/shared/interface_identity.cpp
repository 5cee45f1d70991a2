#include "qor_shared/interface_identity.hpp"

#include <cstring>

namespace qor {
namespace {

const char* typeWord(uint32_t interfaceType) {
  switch (interfaceType) {
    case QOR_INTERFACE_SEQUENCE: return "_SEQUENCE";
    case QOR_INTERFACE_IO: return "_IO";
    case QOR_INTERFACE_CAN: return "_CAN";
    case QOR_INTERFACE_LIN: return "_LIN";
    case QOR_INTERFACE_KLINE: return "_KLINE";
    case QOR_INTERFACE_MOST: return "_MOST";
    case QOR_INTERFACE_LVDS: return "_LVDS";
    case QOR_INTERFACE_FLEXRAY: return "_FLEXRAY";
    case QOR_INTERFACE_RESTBUS: return "_CYCLOR";
    case QOR_INTERFACE_USER_CODE: return "_USERCODE";
    case QOR_INTERFACE_FILE_SYSTEM: return "_FS";
    case QOR_INTERFACE_RESISTORS: return "_RESISTORS";
    case QOR_INTERFACE_ETHERNET: return "_ETHERNET";
    case QOR_INTERFACE_CAN_STM: return "_CAN_STM";
    default: return nullptr;
  }
}

const char* attachmentWord(uint32_t communicationType) {
  switch (communicationType) {
    case QOR_COMMUNICATION_ETHERNET: return "_Ethernet";
    case QOR_COMMUNICATION_USB_OVER_ETHERNET: return "_UsbOverEthernet";
    default: return "";
  }
}

} // namespace

std::optional<std::string> interfaceIdentifier(uint32_t serialNumber, uint32_t communicationType,
                                               uint32_t interfaceType, uint32_t controllerNumber,
                                               uint32_t interfaceNumber) {
  const char* word = typeWord(interfaceType);
  if (word == nullptr) return std::nullopt;
  return std::to_string(serialNumber) + attachmentWord(communicationType) + "_" + std::to_string(controllerNumber) +
         "_" + std::to_string(interfaceNumber) + word;
}

std::optional<std::string> interfaceIdentifier(const Qor_InterfaceData_t& record) {
  return interfaceIdentifier(record.serialNumber, record.communicationType, record.interfaceType,
                             record.controllerNumber, record.interfaceNumber);
}

Qor_InterfaceInfo_t interfaceDescriptor(const Qor_InterfaceData_t& record) {
  Qor_InterfaceInfo_t info{};
  info.hostInterfaceType = record.hostInterfaceType;
  info.controllerNumber = record.controllerNumber;
  info.interfaceNumber = record.interfaceNumber;
  switch (record.communicationType) {
    case QOR_COMMUNICATION_ETHERNET:
      // The TCP port in the low half of the device number, the address in binary.
      info.flags = QOR_INTERFACE_FLAG_BINARY_IPV4 | QOR_INTERFACE_FLAG_ETHERNET;
      info.deviceNumber = record.tcpPort;
      memcpy(info.ipAddress, &record.ipAddress, sizeof record.ipAddress);
      break;
    case QOR_COMMUNICATION_USB_OVER_ETHERNET:
      // The adapter's TCP port, then the adapter's address, where the address text would stand.
      info.flags = QOR_INTERFACE_FLAG_USB_OVER_ETHERNET;
      info.deviceNumber = record.deviceNumber;
      memcpy(info.ipAddress, &record.tcpPort, sizeof record.tcpPort);
      memcpy(info.ipAddress + 4, &record.ipAddress, sizeof record.ipAddress);
      break;
    case QOR_COMMUNICATION_APIX: // serial ports are listed with this attachment
      info.deviceNumber = record.serialPortValue;
      break;
    default: info.deviceNumber = record.deviceNumber; break;
  }
  return info;
}

} // namespace qor
