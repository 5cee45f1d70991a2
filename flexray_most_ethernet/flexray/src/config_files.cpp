// The protocol parameters from a parameter file or a FIBEX file, and configurations sent from them.
#include "controller_config.hpp"
#include "flexray_library.hpp"
#include "qor_flexray_config_files.h"
#include "qor_flexray_fibex.h"

namespace qor::flexray {
namespace {

constexpr uint16_t kXmlLoaderCodes = 0x200;
constexpr uint32_t kFirstMappedResult = 2, kLastMappedResult = 6, kUnknownLoaderResult = 1;
constexpr uint32_t kFibexTextBytes = 256;

uint32_t fromXmlFile(const kit::Call& call, const char* path, Qor_FlexRay_ConfigData_t* data) {
  if (uint32_t code = checkFlexRayInterface(call)) return code;
  if (uint32_t code = call.checkPointer(data, "data")) return code;
  uint32_t result = LoadFlexRayParameter(data, path);
  if (result == QOR_FLEXRAY_XML_LOADED) return 0;
  if (result < kFirstMappedResult || result > kLastMappedResult) result = kUnknownLoaderResult;
  return call.fail(kFlexRay.code(static_cast<uint16_t>(kXmlLoaderCodes + result)));
}

// The reader's text is data, never a format; it is cut at the buffer's end whatever the reader left there.
uint32_t fromFibex(const kit::Call& call, const char* fibexPath, const char* clusterName, const char* controllerName,
                   Qor_FlexRay_ConfigData_t* data) {
  if (uint32_t code = checkFlexRayInterface(call)) return code;
  if (uint32_t code = call.checkPointer(data, "data")) return code;
  char text[kFibexTextBytes] = {};
  uint32_t textSize = sizeof text;
  const uint32_t result =
      LoadFlexRayParameterFromFibex(data, fibexPath, clusterName, controllerName, text, &textSize);
  if (result == 0) return 0;
  text[sizeof text - 1] = '\0';
  return call.fail(result, "%s", text);
}

}  // namespace
}  // namespace qor::flexray

using qor::flexray::kFlexRay;
using qor::kit::Call;

uint32_t Qor_FlexRay_GetConfigData_FromXmlFile(uint32_t port, const char* path, Qor_FlexRay_ConfigData_t* data) try {
  return qor::flexray::fromXmlFile(Call(kFlexRay, port), path, data);
} catch (...) {
  return kFlexRay.failedCall(port);
}

// Parameters the file does not name go out as 0, never as whatever the stack held.
uint32_t Qor_FlexRay_ConfigWithXmlFile(uint32_t port, const char* path) try {
  const Call call(kFlexRay, port);
  Qor_FlexRay_ConfigData_t data{};
  if (uint32_t code = qor::flexray::fromXmlFile(call, path, &data)) return code;
  return qor::flexray::sendConfig(call, data);
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_GetConfigData_FromFibex(uint32_t port, const char* fibexPath, const char* clusterName,
                                             const char* controllerName, Qor_FlexRay_ConfigData_t* data) try {
  return qor::flexray::fromFibex(Call(kFlexRay, port), fibexPath, clusterName, controllerName, data);
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_ConfigFromFibex(uint32_t port, const char* fibexPath, const char* clusterName,
                                     const char* controllerName) try {
  const Call call(kFlexRay, port);
  Qor_FlexRay_ConfigData_t data{};
  if (uint32_t code = qor::flexray::fromFibex(call, fibexPath, clusterName, controllerName, &data)) return code;
  return qor::flexray::sendConfig(call, data);
} catch (...) {
  return kFlexRay.failedCall(port);
}
