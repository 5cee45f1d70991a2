#include "config_file/interface_list_rebuild.hpp"

#include <utility>
#include <vector>

#include "qor_shared/interface_identity.hpp"
#include "qor_xml.h"

namespace qor::client {
namespace {

// An "Interface" element of the file with the values that identify it.
struct Element {
  Qor_Xml_Node_t node;
  uint32_t interfaceType, controller, interfaceNumber, serial;
};

class OpenDocument {
 public:
  ~OpenDocument() { Qor_Xml_Document_Free(&document); }
  Qor_Xml_Document_t document{};
};

uint32_t xmlFailure(uint32_t code, std::string& text) {
  text = Qor_Xml_GetLastErrorDescription();
  return code;
}

uint32_t notFound(const char* what, std::string& text) {
  text = std::string("'") + what + "' was not found";
  return QOR_XML_ERR_NODE_NOT_FOUND;
}

bool sameInterface(const Element& element, const Qor_InterfaceData_t& record) {
  return element.interfaceType == record.interfaceType && element.controller == record.controllerNumber &&
         element.interfaceNumber == record.interfaceNumber && element.serial == record.serialNumber;
}

std::pair<uint32_t, uint32_t> position(uint32_t controller, uint32_t interfaceNumber) {
  return {controller, interfaceNumber};
}

// The elements follow "Configuration"; one before it is one the walk cannot reach.
uint32_t readElements(Qor_Xml_Node_t interfaces, Qor_Xml_Node_t configuration, std::vector<Element>& elements,
                      std::string& text) {
  const char* const names[] = {QOR_XML_INTERFACE_TYPE, QOR_XML_CONTROLLER_NUMBER, QOR_XML_INTERFACE_NUMBER,
                               QOR_XML_SERIAL, QOR_XML_AVAILABLE};
  Qor_Xml_Node_t node = Qor_Xml_Node_Alloc();
  for (Qor_Xml_Node_t at = configuration; Qor_Xml_Node_GetNextByName(at, QOR_XML_INTERFACE, &node); at = node) {
    uint32_t values[std::size(names)] = {};
    if (uint32_t result = Qor_Xml_NodeValues_GetFromNode_U32(node, std::size(names), names, values)) {
      return xmlFailure(result, text);
    }
    elements.push_back(Element{node, values[0], values[1], values[2], values[3]});
  }
  if (elements.size() != Qor_Xml_Node_GetNumberOfChildNodes(interfaces, QOR_XML_INTERFACE)) {
    return notFound(QOR_XML_INTERFACE, text);
  }
  return 0;
}

uint32_t markAvailability(std::vector<Element>& elements, std::span<const Qor_InterfaceData_t> connected,
                          std::vector<bool>& listed, std::string& text) {
  for (const Element& element : elements) {
    bool available = false;
    for (size_t i = 0; i < connected.size(); ++i) {
      if (sameInterface(element, connected[i])) listed[i] = available = true;
    }
    Qor_Xml_Node_t value = Qor_Xml_Node_Alloc();
    if (!Qor_Xml_Node_GetChildByName(element.node, QOR_XML_AVAILABLE, &value)) return notFound(QOR_XML_AVAILABLE, text);
    if (uint32_t result = Qor_Xml_NodeValue_Set_U32(value, available ? 1 : 0)) return xmlFailure(result, text);
  }
  return 0;
}

Element elementOf(Qor_Xml_Node_t node, const Qor_InterfaceData_t& record) {
  return Element{node, record.interfaceType, record.controllerNumber, record.interfaceNumber, record.serialNumber};
}

// Within its device's elements, ordered by controller and interface number: an element at the same numbers (of
// another type) is replaced, else the new one goes before the first with higher numbers or after the device's last.
// A device without elements gets its entry and an element at the end.
uint32_t addInterface(Qor_Xml_Node_t interfaces, Qor_Xml_Node_t configuration, std::vector<Element>& elements,
                      const Qor_InterfaceData_t& record, std::string& text) {
  const auto wanted = position(record.controllerNumber, record.interfaceNumber);
  bool deviceSeen = false;
  size_t at = 0;
  for (; at < elements.size(); ++at) {
    const Element& element = elements[at];
    if (element.serial != record.serialNumber) {
      if (deviceSeen) break;
      continue;
    }
    deviceSeen = true;
    const auto held = position(element.controller, element.interfaceNumber);
    if (held == wanted) {
      if (uint32_t result = Qor_Xml_Node_RemoveChildren(element.node)) return xmlFailure(result, text);
      if (uint32_t result = Qor_Xml_NodeAttributes_Clear(element.node)) return xmlFailure(result, text);
      if (uint32_t result = Qor_Xml_InterfaceConfig_CreateInterface(element.node, record)) {
        return xmlFailure(result, text);
      }
      elements[at] = elementOf(element.node, record);
      return 0;
    }
    if (wanted < held) break;
  }
  Qor_Xml_Node_t node = Qor_Xml_Node_Alloc();
  if (at < elements.size()) {
    if (uint32_t result = Qor_Xml_Node_InsertChildBefore(elements[at].node, QOR_XML_INTERFACE, &node)) {
      return xmlFailure(result, text);
    }
  } else {
    Qor_Xml_Node_t device = Qor_Xml_Node_Alloc();
    if (!deviceSeen) {
      if (uint32_t result = Qor_Xml_InterfaceConfig_CreateDevice(configuration, &device, record)) {
        return xmlFailure(result, text);
      }
    }
    if (uint32_t result = Qor_Xml_Node_AppendChild(interfaces, QOR_XML_INTERFACE, &node)) {
      return xmlFailure(result, text);
    }
  }
  if (uint32_t result = Qor_Xml_InterfaceConfig_CreateInterface(node, record)) return xmlFailure(result, text);
  elements.insert(elements.begin() + static_cast<std::ptrdiff_t>(at), elementOf(node, record));
  return 0;
}

} // namespace

uint32_t rebuildInterfaceList(const char* path, std::span<const Qor_InterfaceData_t> connected, std::string& text) {
  OpenDocument file;
  uint32_t result = Qor_Xml_Document_LoadFile(path, &file.document);
  if (result == QOR_XML_ERR_FILE) result = Qor_Xml_InterfaceConfig_CreateConfigFile(path, &file.document);
  if (result != 0) return xmlFailure(result, text);

  Qor_Xml_Node_t interfaces = Qor_Xml_Node_Alloc();
  Qor_Xml_Node_t configuration = Qor_Xml_Node_Alloc();
  if (!Qor_Xml_Node_GetChildByName(file.document.node, QOR_XML_INTERFACES, &interfaces)) {
    return notFound(QOR_XML_INTERFACES, text);
  }
  if (!Qor_Xml_Node_GetChildByName(interfaces, QOR_XML_CONFIGURATION, &configuration)) {
    return notFound(QOR_XML_CONFIGURATION, text);
  }
  std::vector<Element> elements;
  if ((result = readElements(interfaces, configuration, elements, text))) return result;
  std::vector<bool> listed(connected.size());
  if ((result = markAvailability(elements, connected, listed, text))) return result;
  for (size_t i = 0; i < connected.size(); ++i) {
    if (listed[i] || !qor::interfaceIdentifier(connected[i])) continue;
    if ((result = addInterface(interfaces, configuration, elements, connected[i], text))) return result;
  }
  if ((result = Qor_Xml_Document_Save(file.document, path))) return xmlFailure(result, text);
  return 0;
}

} // namespace qor::client
