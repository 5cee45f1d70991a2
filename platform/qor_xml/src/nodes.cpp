// Walking and changing the elements of a loaded document. pugixml reports a failed allocation by an empty node,
// never by an exception.
#include "xml_error.hpp"
#include "xml_handles.hpp"
#include "xml_values.hpp"

using namespace qor::xml;

namespace {

uint8_t found(pugi::xml_node node, Qor_Xml_Node_t* out) {
  if (out != nullptr) *out = toHandle(node);
  return node ? 1 : 0;
}

uint32_t handOut(pugi::xml_node node, Qor_Xml_Node_t* out) {
  if (!node) return fail(QOR_XML_ERR_NOT_ENOUGH_MEMORY, "not enough memory");
  if (out != nullptr) *out = toHandle(node);
  return 0;
}

uint32_t noNode() { return fail(QOR_XML_ERR_NODE, "no element or name given"); }

bool validName(const char* name) { return name != nullptr && name[0] != '\0'; }

bool holdsElements(pugi::xml_node node) {
  return node.type() == pugi::node_element || node.type() == pugi::node_document;
}

uint32_t insertBefore(Qor_Xml_Node_t handle, const char* name, Qor_Xml_Node_t* out) {
  const pugi::xml_node node = toNode(handle);
  if (!node || !holdsElements(node.parent()) || !validName(name)) return noNode();
  return handOut(node.parent().insert_child_before(name, node), out);
}

} // namespace

extern "C" {

Qor_Xml_Node_t Qor_Xml_Node_Alloc(void) { return nullptr; }

uint8_t Qor_Xml_Node_GetChildByName(Qor_Xml_Node_t parent, const char* name, Qor_Xml_Node_t* node) {
  return found(validName(name) ? toNode(parent).child(name) : pugi::xml_node(), node);
}

uint8_t Qor_Xml_Node_GetNextByName(Qor_Xml_Node_t node, const char* name, Qor_Xml_Node_t* next) {
  return found(validName(name) ? toNode(node).next_sibling(name) : pugi::xml_node(), next);
}

uint32_t Qor_Xml_Node_GetNumberOfChildNodes(Qor_Xml_Node_t parent, const char* name) {
  if (!validName(name)) return 0;
  uint32_t count = 0;
  for (pugi::xml_node child = toNode(parent).child(name); child; child = child.next_sibling(name)) ++count;
  return count;
}

uint32_t Qor_Xml_NodeValues_GetFromNode_U32(Qor_Xml_Node_t node, uint32_t n, const char* const* names,
                                            uint32_t* results) {
  if (!toNode(node)) return noNode();
  return readChildValues(toNode(node), n, names, results);
}

uint32_t Qor_Xml_NodeValue_Set_U32(Qor_Xml_Node_t node, uint32_t value) {
  if (toNode(node).type() != pugi::node_element) return noNode();
  return toNode(node).text().set(value) ? 0 : fail(QOR_XML_ERR_NOT_ENOUGH_MEMORY, "not enough memory");
}

uint32_t Qor_Xml_Node_InsertChildBefore(Qor_Xml_Node_t node, const char* name, Qor_Xml_Node_t* created) {
  return insertBefore(node, name, created);
}

uint32_t Qor_Xml_Node_InsertChildBefore2(Qor_Xml_Node_t node, const char* name, Qor_Xml_Node_t* created) {
  return insertBefore(node, name, created);
}

uint32_t Qor_Xml_Node_AppendChild(Qor_Xml_Node_t parent, const char* name, Qor_Xml_Node_t* out) {
  pugi::xml_node node = toNode(parent);
  if (!holdsElements(node) || !validName(name)) return noNode();
  return handOut(node.append_child(name), out);
}

uint32_t Qor_Xml_Node_RemoveChildren(Qor_Xml_Node_t node) { return toNode(node).remove_children() ? 0 : noNode(); }

uint32_t Qor_Xml_NodeAttributes_Clear(Qor_Xml_Node_t node) { return toNode(node).remove_attributes() ? 0 : noNode(); }

} // extern "C"
