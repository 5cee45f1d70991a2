// Reading one controller's protocol parameters from a FIBEX file with pugixml.
#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include <pugixml.hpp>

#include "flexray_parameters.hpp"
#include "qor_flexray_fibex.h"

namespace qor::flexray::fibex {
namespace {

using Seen = std::array<bool, kConfigParameters.size()>;

struct Failure {
  uint32_t code;
  std::string text;
};

// The element's name without its namespace prefix.
std::string_view localName(const pugi::xml_node& node) {
  const std::string_view name = node.name();
  const size_t colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

bool supportedVersion(std::string_view version) { return version.starts_with("3.") || version.starts_with("4."); }

// The first child element of that local name whose NAME is name (any, for a null name).
pugi::xml_node namedChild(const pugi::xml_node& parent, std::string_view element, const char* name) {
  for (const pugi::xml_node& child : parent.children()) {
    if (localName(child) == element && (!name || std::string_view(child.attribute("NAME").value()) == name)) {
      return child;
    }
  }
  return {};
}

// Every parameter child of the element, once each, into data.
bool readParameters(const pugi::xml_node& element, Qor_FlexRay_ConfigData_t& data, Seen& seen, Failure& failure) {
  for (const pugi::xml_node& child : element.children()) {
    const ConfigParameter* parameter = findConfigParameter(localName(child));
    if (!parameter) continue;
    const size_t index = static_cast<size_t>(parameter - kConfigParameters.data());
    const std::string name(parameter->name);
    if (seen[index]) {
      failure = {QOR_FIBEX_ERR_ELEMENT, "parameter '" + name + "' stands twice"};
      return false;
    }
    seen[index] = true;
    const std::string value = child.child_value();
    const uint64_t limit = (uint64_t{1} << (8 * parameter->width)) - 1;
    const unsigned long long number = strtoull(value.c_str(), nullptr, 10);
    if (value.empty() || value.find_first_not_of("0123456789") != std::string::npos || number > limit) {
      failure = {QOR_FIBEX_ERR_PARSER, "parameter '" + name + "' value '" + value + "' does not fit"};
      return false;
    }
    storeConfigParameter(data, *parameter, number);
  }
  return true;
}

bool load(Qor_FlexRay_ConfigData_t& data, const char* path, const char* clusterName, const char* controllerName,
          Failure& failure) {
  pugi::xml_document document;
  const pugi::xml_parse_result parsed = document.load_file(path);
  if (parsed.status == pugi::status_file_not_found || parsed.status == pugi::status_io_error) {
    failure = {QOR_FIBEX_ERR_FILE, std::string("file '") + path + "' cannot be read"};
    return false;
  }
  if (!parsed) {
    failure = {QOR_FIBEX_ERR_PARSER, std::string("file '") + path + "': " + parsed.description()};
    return false;
  }
  const pugi::xml_node root = document.document_element();
  if (localName(root) != "FIBEX" || !supportedVersion(root.attribute("VERSION").value())) {
    failure = {QOR_FIBEX_ERR_VERSION,
               std::string("version '") + root.attribute("VERSION").value() + "' is not supported"};
    return false;
  }
  const pugi::xml_node cluster = namedChild(root, "CLUSTER", clusterName);
  if (!cluster) {
    failure = {QOR_FIBEX_ERR_ELEMENT,
               clusterName ? std::string("cluster '") + clusterName + "' not found" : "no cluster"};
    return false;
  }
  const pugi::xml_node controller = namedChild(cluster, "CONTROLLER", controllerName);
  if (!controller) {
    failure = {QOR_FIBEX_ERR_ELEMENT,
               controllerName ? std::string("controller '") + controllerName + "' not found" : "no controller"};
    return false;
  }
  Qor_FlexRay_ConfigData_t read{};
  Seen seen{};
  if (!readParameters(cluster, read, seen, failure) || !readParameters(controller, read, seen, failure)) return false;
  for (size_t i = 0; i < kConfigParameters.size(); ++i) {
    if (!seen[i]) {
      failure = {QOR_FIBEX_ERR_ELEMENT, "parameter '" + std::string(kConfigParameters[i].name) + "' is missing"};
      return false;
    }
  }
  data = read;
  return true;
}

uint32_t report(const Failure& failure, char* text, uint32_t* textSize) {
  if (*textSize > 0) {
    const size_t length = std::min<size_t>(failure.text.size(), *textSize - 1);
    memcpy(text, failure.text.data(), length);
    text[length] = '\0';
    *textSize = static_cast<uint32_t>(length + 1);
  }
  return failure.code;
}

}  // namespace
}  // namespace qor::flexray::fibex

uint32_t LoadFlexRayParameterFromFibex(Qor_FlexRay_ConfigData_t* data, const char* path, const char* clusterName,
                                       const char* controllerName, char* text, uint32_t* textSize) try {
  using namespace qor::flexray::fibex;
  if (!text || !textSize) return QOR_FIBEX_ERR_INVALID_PARAMETER;
  Failure failure;
  if (!data || !path) return report({QOR_FIBEX_ERR_INVALID_PARAMETER, "no record or no path"}, text, textSize);
  if (load(*data, path, clusterName, controllerName, failure)) return 0;
  return report(failure, text, textSize);
} catch (...) {
  return QOR_FIBEX_ERR_PARSER;
}
