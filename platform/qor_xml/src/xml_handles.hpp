// Node handles of the C interface: pugixml's own node pointers, so that a handle needs no allocation.
#pragma once

#include <pugixml.hpp>

#include "qor_xml.h"

namespace qor::xml {

inline pugi::xml_node toNode(Qor_Xml_Node_t handle) {
  return pugi::xml_node(reinterpret_cast<pugi::xml_node_struct*>(handle));
}

inline Qor_Xml_Node_t toHandle(pugi::xml_node node) { return reinterpret_cast<Qor_Xml_Node_t>(node.internal_object()); }

} // namespace qor::xml
