/* libqor_xml: access to the interface configuration file, the settings file and XML documents in general.
 *
 * The interface configuration file:
 *   <Interfaces>
 *     <Configuration>
 *       <Name>...</Name>                            the configuration's name
 *       <Device id="SERIAL">...</Device>            one per device, id in decimal
 *     </Configuration>
 *     <Interface id="IDENTIFIER">...</Interface>    one per interface, after "Configuration"
 *   </Interfaces>
 * Values are decimal u32 texts (or "0x" hexadecimal), addresses dotted IPv4 texts.
 *
 * Files are replaced whole (a temporary file renamed over them), so a reader sees the old or the new file, never a
 * part. Every change holds the lock of the file's directory from load to save (waiting at most 5 s for it); a loaded
 * document holds it until it is freed. Other processes and other threads wait for it; the thread that holds it goes
 * on at once (a change it makes while its document is loaded is replaced by that document's later save). Errors:
 * class 0x02, module 0x0B; the text of the calling thread's last failure is kept. */
#ifndef QOR_XML_H
#define QOR_XML_H

#include <stdint.h>

#include "qor_interface_list.h"
#include "qor_network_adapters.h"

#ifdef __cplusplus
extern "C" {
#endif

#define QOR_XML_API __attribute__((visibility("default")))

#define QOR_XML_ERR_NOT_ENOUGH_MEMORY 0x20B0001u
#define QOR_XML_ERR_PARSER 0x20B0002u /* damaged file, nested deeper than 256 elements, or a value that is no number */
#define QOR_XML_ERR_NODE_NOT_FOUND 0x20B0003u
#define QOR_XML_ERR_FILE 0x20B0005u /* missing, no regular file, over 16 MiB, unreadable, unwritable, locked too long */
#define QOR_XML_ERR_NODE 0x20B0006u /* no node given, or a value that does not fit */

/* Element and attribute names of the interface configuration file. */
#define QOR_XML_INTERFACES "Interfaces"
#define QOR_XML_CONFIGURATION "Configuration"
#define QOR_XML_INTERFACE "Interface"
#define QOR_XML_DEVICE "Device"
#define QOR_XML_ID "id"
#define QOR_XML_NAME "Name"
#define QOR_XML_INTERFACE_TYPE "InterfaceType"
#define QOR_XML_AVAILABLE "Available"
#define QOR_XML_CONTROLLER_NUMBER "ControllerNumber"
#define QOR_XML_INTERFACE_NUMBER "InterfaceNumber"
#define QOR_XML_SERIAL "Serial"
#define QOR_XML_ENABLE_AUTOMATIC_CONFIGURATION "EnableAutomaticConfiguration"
#define QOR_XML_USE_DEDICATED_FIRMWARE "UseDedicatedFirmware"

/* An element (or the document itself) of a loaded document; NULL for none. Valid while its document is. */
typedef struct Qor_Xml_Node* Qor_Xml_Node_t;

/* A loaded document. node is the document itself, the parent of its top element. */
typedef struct Qor_Xml_Document_t {
  Qor_Xml_Node_t node;
  struct Qor_Xml_DocumentData* data; /* the library's; NULL for no document */
} Qor_Xml_Document_t;

/* The text of the calling thread's last failure ("" before any); valid until its next failure. */
QOR_XML_API const char* Qor_Xml_GetLastErrorDescription(void);

/* ---- the interface configuration file, by path ---- */
/* The values of the named children of the "Interface" whose "id" is identifier. */
QOR_XML_API uint32_t Qor_Xml_InterfaceConfig_InterfaceData_Get(const char* path, const char* identifier, uint32_t n,
                                                               const char* const* names, uint32_t* results);
/* The same for the first element of that name whose attribute has that value; QOR_XML_ERR_NODE_NOT_FOUND when
 * there is none, or when a named child is missing. */
QOR_XML_API uint32_t Qor_Xml_NodeValues_GetByAttribute_U32(const char* path, const char* element,
                                                           const char* attribute, const char* value, uint32_t n,
                                                           const char* const* names, uint32_t* results);
/* The descriptor that opens the interface of that name, and its device's serial number. */
QOR_XML_API uint32_t Qor_Xml_InterfaceConfig_InterfaceInfo_GetByName(const char* path, const char* name,
                                                                     Qor_InterfaceInfo_t* info, uint32_t* serial);
/* The name of the interface with that identifier, NUL-terminated within room bytes. */
QOR_XML_API uint32_t Qor_Xml_InterfaceConfig_InterfaceName_Get(const char* path, const char* identifier,
                                                               uint32_t room, char* name);
/* Names the interface; QOR_XML_ERR_NODE when another interface carries the (non-empty) name. */
QOR_XML_API uint32_t Qor_Xml_InterfaceConfig_InterfaceName_Set(const char* path, const char* identifier,
                                                               const char* name);
QOR_XML_API uint32_t Qor_Xml_InterfaceConfig_ConfigurationName_Get(const char* path, uint32_t room, char* name);
/* The serial number of the interface of that name. */
QOR_XML_API uint32_t Qor_Xml_InterfaceConfig_SerialNumber_Get(const char* path, const char* name, uint32_t* serial);

/* ---- the settings file ---- */
/* The Ethernet adapters that device discovery scans:
 *   <Settings><Ethernet><Adapter address="A.B.C.D" netmask="A.B.C.D"/>...</Ethernet></Settings>
 * *count: room in, adapters out; more adapters than room give QOR_XML_ERR_NODE. */
QOR_XML_API uint32_t Qor_Xml_Settings_GetScanableAdapters(const char* path, uint32_t* count,
                                                          Qor_NetworkAdapter_t* adapters);

/* ---- documents ---- */
/* Loads the file and takes its lock; QOR_XML_ERR_FILE when it does not exist. */
QOR_XML_API uint32_t Qor_Xml_Document_LoadFile(const char* path, Qor_Xml_Document_t* document);
/* Creates the file with an empty configuration ("Interfaces" with "Configuration") and takes its lock. A file
 * that another process has created meanwhile is loaded instead, never replaced. */
QOR_XML_API uint32_t Qor_Xml_InterfaceConfig_CreateConfigFile(const char* path, Qor_Xml_Document_t* document);
/* Replaces the file at path by the document; a document that would make a file the loader refuses (nested too
 * deeply, too large) is not saved, with the code the load would give. */
QOR_XML_API uint32_t Qor_Xml_Document_Save(Qor_Xml_Document_t document, const char* path);
/* Releases the document and its lock; *document becomes no document. */
QOR_XML_API void Qor_Xml_Document_Free(Qor_Xml_Document_t* document);

/* ---- nodes ---- */
/* An empty handle, to be filled by the calls below. */
QOR_XML_API Qor_Xml_Node_t Qor_Xml_Node_Alloc(void);
/* The first child element of that name; non-zero when found (*node is NULL otherwise). */
QOR_XML_API uint8_t Qor_Xml_Node_GetChildByName(Qor_Xml_Node_t parent, const char* name, Qor_Xml_Node_t* node);
/* The next sibling element of that name; non-zero when found (*next is NULL otherwise). */
QOR_XML_API uint8_t Qor_Xml_Node_GetNextByName(Qor_Xml_Node_t node, const char* name, Qor_Xml_Node_t* next);
QOR_XML_API uint32_t Qor_Xml_Node_GetNumberOfChildNodes(Qor_Xml_Node_t parent, const char* name);
/* The values of the named children of node. */
QOR_XML_API uint32_t Qor_Xml_NodeValues_GetFromNode_U32(Qor_Xml_Node_t node, uint32_t n, const char* const* names,
                                                        uint32_t* results);
/* Makes value the element's text. */
QOR_XML_API uint32_t Qor_Xml_NodeValue_Set_U32(Qor_Xml_Node_t node, uint32_t value);
/* A new element of that name before node (both names do the same). */
QOR_XML_API uint32_t Qor_Xml_Node_InsertChildBefore(Qor_Xml_Node_t node, const char* name, Qor_Xml_Node_t* created);
QOR_XML_API uint32_t Qor_Xml_Node_InsertChildBefore2(Qor_Xml_Node_t node, const char* name,
                                                     Qor_Xml_Node_t* created);
/* A new last child element of that name. */
QOR_XML_API uint32_t Qor_Xml_Node_AppendChild(Qor_Xml_Node_t parent, const char* name, Qor_Xml_Node_t* created);
QOR_XML_API uint32_t Qor_Xml_Node_RemoveChildren(Qor_Xml_Node_t node);
QOR_XML_API uint32_t Qor_Xml_NodeAttributes_Clear(Qor_Xml_Node_t node);

/* ---- building the interface configuration file ---- */
/* The "Device" element of the record's device below parent: the one there, or a new last child. */
QOR_XML_API uint32_t Qor_Xml_InterfaceConfig_CreateDevice(Qor_Xml_Node_t parent, Qor_Xml_Node_t* device,
                                                          Qor_InterfaceData_t record);
/* Fills an "Interface" element from the record: its identifier, every field, "Available" 1, an empty "Name" and
 * "EnableAutomaticConfiguration" 0. */
QOR_XML_API uint32_t Qor_Xml_InterfaceConfig_CreateInterface(Qor_Xml_Node_t element, Qor_InterfaceData_t record);

#ifdef __cplusplus
}
#endif

#endif
