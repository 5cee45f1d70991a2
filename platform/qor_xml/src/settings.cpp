// The settings file: the Ethernet adapters that device discovery scans.
#include "xml_error.hpp"
#include "xml_files.hpp"
#include "xml_values.hpp"

using namespace qor::xml;

namespace {

uint32_t readAddress(pugi::xml_node adapter, const char* name, uint32_t& value) {
  const std::optional<uint32_t> address = parseAddress(adapter.attribute(name).value());
  if (!address) {
    return fail(QOR_XML_ERR_PARSER, "adapter %s '%s' is no IPv4 address", name, adapter.attribute(name).value());
  }
  value = *address;
  return 0;
}

} // namespace

extern "C" uint32_t Qor_Xml_Settings_GetScanableAdapters(const char* path, uint32_t* count,
                                                         Qor_NetworkAdapter_t* adapters) {
  return guarded([&] {
    if (path == nullptr) return fail(QOR_XML_ERR_FILE, "no path given");
    if (count == nullptr || (adapters == nullptr && *count != 0)) return fail(QOR_XML_ERR_NODE, "no adapters given");
    const uint32_t room = *count;
    *count = 0;
    pugi::xml_document document;
    if (uint32_t result = loadDocument(path, document)) return result;
    const pugi::xml_node settings = document.child("Settings");
    if (!settings) return fail(QOR_XML_ERR_NODE_NOT_FOUND, "'Settings' was not found in '%s'", path);
    uint32_t found = 0;
    for (pugi::xml_node adapter : settings.child("Ethernet").children("Adapter")) {
      if (found == room) return fail(QOR_XML_ERR_NODE, "'%s' lists more adapters than room for %u", path, room);
      Qor_NetworkAdapter_t pair{};
      if (uint32_t result = readAddress(adapter, "address", pair.address)) return result;
      if (uint32_t result = readAddress(adapter, "netmask", pair.netmask)) return result;
      adapters[found++] = pair;
    }
    *count = found;
    return uint32_t{0};
  });
}
