// Helpers of the interface configuration tests: the process configuration that names the file, the list of
// connected interfaces that the rebuild gets, and reading back what the file holds.
#pragma once

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "qor_api.h"
#include "qor_client_state.h"

namespace qor::test {

// What the interface enumeration hands the rebuild in these tests.
struct MadeUpInterfaces {
  std::vector<Qor_InterfaceData_t> list;
  uint32_t result = 0;
  uint32_t roomAsked = 0;
};
MadeUpInterfaces& madeUpInterfaces();

// The process configuration texts, as the library keeps them after reading "/etc/Qor_API_Linux.ini".
inline void configure(const char* installDir, const char* deviceCfg) {
  Qor_EnterCriticalSection(&ClientInfo.lock);
  free(LinuxCfg.installDir);
  free(LinuxCfg.deviceCfg);
  LinuxCfg.installDir = installDir ? strdup(installDir) : nullptr;
  LinuxCfg.deviceCfg = deviceCfg ? strdup(deviceCfg) : nullptr;
  Qor_LeaveCriticalSection(&ClientInfo.lock);
}

// "/tmp/qor/interfaces.xml" (each sandboxed case has a /tmp of its own) for the test's lifetime.
class ConfiguredFile {
 public:
  static constexpr char kDirectory[] = "/tmp/qor";
  static constexpr char kPath[] = "/tmp/qor/interfaces.xml";
  ConfiguredFile() {
    mkdir(kDirectory, 0755);
    configure(kDirectory, "interfaces.xml");
  }
  ~ConfiguredFile() { configure(nullptr, nullptr); }
  ConfiguredFile(const ConfiguredFile&) = delete;
  ConfiguredFile& operator=(const ConfiguredFile&) = delete;
};

inline Qor_InterfaceData_t record(uint8_t interfaceType, uint8_t controller, uint8_t interfaceNumber,
                                  uint8_t communication, uint32_t hostType, uint32_t serial) {
  Qor_InterfaceData_t data{};
  data.interfaceType = interfaceType;
  data.controllerNumber = controller;
  data.interfaceNumber = interfaceNumber;
  data.communicationType = communication;
  data.hostInterfaceType = hostType;
  data.serialNumber = serial;
  return data;
}

// Rebuilds the file at path (the configured one without a path) as if list were connected.
inline uint32_t rebuild(const std::vector<Qor_InterfaceData_t>& list, const char* path = nullptr) {
  madeUpInterfaces().list = list;
  const uint32_t options[2] = {path ? 1u : 0u, 0};
  return Qor_Interface_UpdateAllInterfaces(path, options);
}

// The file's "Interface" elements in order, as "id available name", and its "Device" ids.
struct FileContent {
  std::vector<std::string> interfaces;
  std::vector<std::string> devices;
};

inline FileContent readConfiguration(const char* path) {
  pugi::xml_document document;
  FileContent content;
  if (!document.load_file(path)) return content;
  for (pugi::xml_node element : document.child("Interfaces").children("Interface")) {
    content.interfaces.push_back(std::string(element.attribute("id").value()) + " " +
                                 element.child("Available").text().get() + " " + element.child("Name").text().get());
  }
  for (pugi::xml_node device : document.child("Interfaces").child("Configuration").children("Device")) {
    content.devices.push_back(device.attribute("id").value());
  }
  return content;
}

} // namespace qor::test
