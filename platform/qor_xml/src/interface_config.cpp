// The interface configuration file: its "Interface" and "Device" elements, looked up by path and built into a
// loaded document.
#include <cstddef>
#include <cstring>

#include "qor_shared/interface_identity.hpp"
#include "xml_error.hpp"
#include "xml_files.hpp"
#include "xml_handles.hpp"
#include "xml_values.hpp"

using namespace qor::xml;

namespace {

constexpr char kHostInterfaceType[] = "HostInterfaceType";

enum class Width { U8, U16, U32, Address };

struct Field {
  const char* name;
  size_t offset;
  Width width;
};

// Every field of the record, so that a lookup by name gives the whole descriptor back.
constexpr Field kRecordFields[] = {
    {QOR_XML_INTERFACE_TYPE, offsetof(Qor_InterfaceData_t, interfaceType), Width::U8},
    {QOR_XML_CONTROLLER_NUMBER, offsetof(Qor_InterfaceData_t, controllerNumber), Width::U8},
    {QOR_XML_INTERFACE_NUMBER, offsetof(Qor_InterfaceData_t, interfaceNumber), Width::U8},
    {QOR_XML_SERIAL, offsetof(Qor_InterfaceData_t, serialNumber), Width::U32},
    {kHostInterfaceType, offsetof(Qor_InterfaceData_t, hostInterfaceType), Width::U32},
    {"CommunicationType", offsetof(Qor_InterfaceData_t, communicationType), Width::U8},
    {"DeviceNumber", offsetof(Qor_InterfaceData_t, deviceNumber), Width::U32},
    {"IpAddress", offsetof(Qor_InterfaceData_t, ipAddress), Width::Address},
    {"TcpPort", offsetof(Qor_InterfaceData_t, tcpPort), Width::U16},
    {"Netmask", offsetof(Qor_InterfaceData_t, netmask), Width::Address},
    {"Gateway", offsetof(Qor_InterfaceData_t, gateway), Width::Address},
    {"AdapterSerial", offsetof(Qor_InterfaceData_t, adapterSerialNumber), Width::U32},
    {"SerialPort", offsetof(Qor_InterfaceData_t, serialPortValue), Width::U8},
    {"Position", offsetof(Qor_InterfaceData_t, position), Width::U8},
};

size_t bytesOf(Width width) {
  switch (width) {
    case Width::U8: return 1;
    case Width::U16: return 2;
    default: return 4;
  }
}

std::string fieldText(const Qor_InterfaceData_t& record, const Field& field) {
  uint32_t value = 0;
  memcpy(&value, reinterpret_cast<const uint8_t*>(&record) + field.offset, bytesOf(field.width));
  return field.width == Width::Address ? addressText(value) : std::to_string(value);
}

uint32_t readField(pugi::xml_node element, const Field& field, Qor_InterfaceData_t& record) {
  uint32_t value = 0;
  if (field.width == Width::Address) {
    const pugi::xml_node child = element.child(field.name);
    if (!child) return fail(QOR_XML_ERR_NODE_NOT_FOUND, "'%s' was not found", field.name);
    const std::optional<uint32_t> address = parseAddress(child.text().get());
    if (!address) return fail(QOR_XML_ERR_PARSER, "'%s' holds no IPv4 address: '%s'", field.name, child.text().get());
    value = *address;
  } else {
    if (uint32_t result = readChildValue(element, field.name, value)) return result;
    if (bytesOf(field.width) < 4 && value >> (8 * bytesOf(field.width)) != 0) {
      return fail(QOR_XML_ERR_NODE, "'%s' is out of range: %u", field.name, value);
    }
  }
  memcpy(reinterpret_cast<uint8_t*>(&record) + field.offset, &value, bytesOf(field.width));
  return 0;
}

uint32_t readRecord(pugi::xml_node element, Qor_InterfaceData_t& record) {
  record = Qor_InterfaceData_t{};
  for (const Field& field : kRecordFields) {
    if (uint32_t result = readField(element, field, record)) return result;
  }
  return 0;
}

uint32_t noMemory() { return fail(QOR_XML_ERR_NOT_ENOUGH_MEMORY, "not enough memory"); }

// Lookups read without the lock: files are replaced whole.
uint32_t loadInterfaces(const char* path, pugi::xml_document& document, pugi::xml_node& interfaces) {
  if (path == nullptr) return fail(QOR_XML_ERR_FILE, "no path given");
  if (uint32_t result = loadDocument(path, document)) return result;
  interfaces = document.child(QOR_XML_INTERFACES);
  if (!interfaces) return fail(QOR_XML_ERR_NODE_NOT_FOUND, "'%s' was not found in '%s'", QOR_XML_INTERFACES, path);
  return 0;
}

uint32_t findById(pugi::xml_node interfaces, const char* identifier, pugi::xml_node& element) {
  if (identifier == nullptr) return fail(QOR_XML_ERR_NODE, "no identifier given");
  element = interfaces.find_child_by_attribute(QOR_XML_INTERFACE, QOR_XML_ID, identifier);
  return element ? 0 : fail(QOR_XML_ERR_NODE_NOT_FOUND, "interface '%s' was not found", identifier);
}

// Unnamed interfaces share the empty name: it names none of them.
pugi::xml_node namedInterface(pugi::xml_node interfaces, const char* name) {
  if (name[0] == '\0') return pugi::xml_node();
  for (pugi::xml_node element : interfaces.children(QOR_XML_INTERFACE)) {
    if (strcmp(element.child(QOR_XML_NAME).text().get(), name) == 0) return element;
  }
  return pugi::xml_node();
}

uint32_t findByName(pugi::xml_node interfaces, const char* name, pugi::xml_node& element) {
  if (name == nullptr) return fail(QOR_XML_ERR_NODE, "no name given");
  element = namedInterface(interfaces, name);
  return element ? 0 : fail(QOR_XML_ERR_NODE_NOT_FOUND, "no interface is named '%s'", name);
}

// A name must read back as it was written: no control characters, and not white space alone (which the parser
// drops).
bool storableName(const char* name) {
  bool printing = false;
  for (const char* c = name; *c != '\0'; ++c) {
    const auto byte = static_cast<unsigned char>(*c);
    if (byte < 0x20 || byte == 0x7F) return false;
    printing = printing || byte != ' ';
  }
  return printing || name[0] == '\0';
}

} // namespace

extern "C" {

uint32_t Qor_Xml_InterfaceConfig_InterfaceData_Get(const char* path, const char* identifier, uint32_t n,
                                                   const char* const* names, uint32_t* results) {
  return guarded([&] {
    pugi::xml_document document;
    pugi::xml_node interfaces, element;
    if (uint32_t result = loadInterfaces(path, document, interfaces)) return result;
    if (uint32_t result = findById(interfaces, identifier, element)) return result;
    return readChildValues(element, n, names, results);
  });
}

uint32_t Qor_Xml_NodeValues_GetByAttribute_U32(const char* path, const char* element, const char* attribute,
                                               const char* value, uint32_t n, const char* const* names,
                                               uint32_t* results) {
  return guarded([&] {
    if (path == nullptr) return fail(QOR_XML_ERR_FILE, "no path given");
    if (element == nullptr || attribute == nullptr || value == nullptr) {
      return fail(QOR_XML_ERR_NODE, "no element, attribute or value given");
    }
    pugi::xml_document document;
    if (uint32_t result = loadDocument(path, document)) return result;
    const pugi::xml_node match = document.find_node([&](pugi::xml_node node) {
      return strcmp(node.name(), element) == 0 && strcmp(node.attribute(attribute).value(), value) == 0 &&
             node.attribute(attribute);
    });
    if (!match) return fail(QOR_XML_ERR_NODE_NOT_FOUND, "no '%s' with %s '%s' was found", element, attribute, value);
    return readChildValues(match, n, names, results);
  });
}

uint32_t Qor_Xml_InterfaceConfig_InterfaceInfo_GetByName(const char* path, const char* name,
                                                         Qor_InterfaceInfo_t* info, uint32_t* serial) {
  return guarded([&] {
    if (info == nullptr || serial == nullptr) return fail(QOR_XML_ERR_NODE, "no descriptor or serial given");
    pugi::xml_document document;
    pugi::xml_node interfaces, element;
    if (uint32_t result = loadInterfaces(path, document, interfaces)) return result;
    if (uint32_t result = findByName(interfaces, name, element)) return result;
    Qor_InterfaceData_t record{};
    if (uint32_t result = readRecord(element, record)) return result;
    *info = qor::interfaceDescriptor(record);
    *serial = record.serialNumber;
    return uint32_t{0};
  });
}

uint32_t Qor_Xml_InterfaceConfig_InterfaceName_Get(const char* path, const char* identifier, uint32_t room,
                                                   char* name) {
  return guarded([&] {
    pugi::xml_document document;
    pugi::xml_node interfaces, element;
    if (uint32_t result = loadInterfaces(path, document, interfaces)) return result;
    if (uint32_t result = findById(interfaces, identifier, element)) return result;
    return copyOut(element.child(QOR_XML_NAME).text().get(), room, name);
  });
}

uint32_t Qor_Xml_InterfaceConfig_InterfaceName_Set(const char* path, const char* identifier, const char* name) {
  return guarded([&] {
    if (path == nullptr) return fail(QOR_XML_ERR_FILE, "no path given");
    if (name == nullptr) return fail(QOR_XML_ERR_NODE, "no name given");
    if (!storableName(name)) return fail(QOR_XML_ERR_NODE, "name '%s' holds control characters or only spaces", name);
    // The check for a name in use and the change are one step under the lock.
    return changeFile(path, [&](pugi::xml_document& document) {
      const pugi::xml_node interfaces = document.child(QOR_XML_INTERFACES);
      if (!interfaces) return fail(QOR_XML_ERR_NODE_NOT_FOUND, "'%s' was not found in '%s'", QOR_XML_INTERFACES, path);
      pugi::xml_node element;
      if (uint32_t result = findById(interfaces, identifier, element)) return result;
      const pugi::xml_node holder = namedInterface(interfaces, name);
      if (holder && holder != element) {
        return fail(QOR_XML_ERR_NODE, "name '%s' is already assigned to '%s'", name,
                    holder.attribute(QOR_XML_ID).value());
      }
      return setChildText(element, QOR_XML_NAME, name) ? 0 : noMemory();
    });
  });
}

uint32_t Qor_Xml_InterfaceConfig_ConfigurationName_Get(const char* path, uint32_t room, char* name) {
  return guarded([&] {
    pugi::xml_document document;
    pugi::xml_node interfaces;
    if (uint32_t result = loadInterfaces(path, document, interfaces)) return result;
    const pugi::xml_node configuration = interfaces.child(QOR_XML_CONFIGURATION);
    if (!configuration) return fail(QOR_XML_ERR_NODE_NOT_FOUND, "'%s' was not found", QOR_XML_CONFIGURATION);
    return copyOut(configuration.child(QOR_XML_NAME).text().get(), room, name);
  });
}

uint32_t Qor_Xml_InterfaceConfig_SerialNumber_Get(const char* path, const char* name, uint32_t* serial) {
  return guarded([&] {
    if (serial == nullptr) return fail(QOR_XML_ERR_NODE, "no serial given");
    pugi::xml_document document;
    pugi::xml_node interfaces, element;
    if (uint32_t result = loadInterfaces(path, document, interfaces)) return result;
    if (uint32_t result = findByName(interfaces, name, element)) return result;
    return readChildValue(element, QOR_XML_SERIAL, *serial);
  });
}

uint32_t Qor_Xml_InterfaceConfig_CreateDevice(Qor_Xml_Node_t parent, Qor_Xml_Node_t* device,
                                              Qor_InterfaceData_t record) {
  return guarded([&] {
    pugi::xml_node node = toNode(parent);
    if (node.type() != pugi::node_element) return fail(QOR_XML_ERR_NODE, "no element given");
    const std::string id = std::to_string(record.serialNumber);
    // A device listed already keeps its entry and the settings in it.
    pugi::xml_node entry = node.find_child_by_attribute(QOR_XML_DEVICE, QOR_XML_ID, id.c_str());
    if (!entry) {
      entry = node.append_child(QOR_XML_DEVICE);
      if (!entry || !entry.append_attribute(QOR_XML_ID).set_value(id.c_str()) ||
          !setChildText(entry, kHostInterfaceType, std::to_string(record.hostInterfaceType).c_str()) ||
          !setChildText(entry, QOR_XML_USE_DEDICATED_FIRMWARE, "0")) {
        return noMemory();
      }
    }
    if (device != nullptr) *device = toHandle(entry);
    return uint32_t{0};
  });
}

uint32_t Qor_Xml_InterfaceConfig_CreateInterface(Qor_Xml_Node_t element, Qor_InterfaceData_t record) {
  return guarded([&] {
    pugi::xml_node node = toNode(element);
    if (node.type() != pugi::node_element) return fail(QOR_XML_ERR_NODE, "no element given");
    const std::optional<std::string> id = qor::interfaceIdentifier(record);
    if (!id) return fail(QOR_XML_ERR_NODE, "interface type %u has no identifier", record.interfaceType);
    pugi::xml_attribute attribute = node.attribute(QOR_XML_ID);
    if (!attribute) attribute = node.append_attribute(QOR_XML_ID);
    if (!attribute || !attribute.set_value(id->c_str())) return noMemory();
    // A name and settings that the element has already stay.
    if (!node.child(QOR_XML_NAME) && !node.append_child(QOR_XML_NAME)) return noMemory();
    for (const Field& field : kRecordFields) {
      if (!setChildText(node, field.name, fieldText(record, field).c_str())) return noMemory();
    }
    if (!setChildText(node, QOR_XML_AVAILABLE, "1")) return noMemory();
    if (!node.child(QOR_XML_ENABLE_AUTOMATIC_CONFIGURATION) &&
        !setChildText(node, QOR_XML_ENABLE_AUTOMATIC_CONFIGURATION, "0")) {
      return noMemory();
    }
    return uint32_t{0};
  });
}

} // extern "C"
