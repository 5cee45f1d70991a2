// The firmware's own DMA test on a port's configured channel.
#include <vector>

#include "pcie_dma/pcie_dma.hpp"
#include "qor_api.h"
#include "qor_error_codes.h"
#include "qor_pcie_dma.h"
#include "startup/error_store.hpp"
#include "startup/exported_call.hpp"

using namespace qor::client;

namespace {

constexpr const char* kNotConfigured = "pcie dma channel is not initialized";
// Rounding the second value up to a multiple of 8 must not wrap.
constexpr uint32_t kSecondValueMax = 0xFFFFFFF8u;

// Sends a test sub-function with {u32 0} on the port's configured channel.
uint32_t testStep(uint32_t port, uint8_t subFunction, bool resetWithoutChannel = false) {
  bool configured = false;
  const uint32_t result = onConfiguredChannel(port, kNotConfigured, [&](PortRef& ref, DmaChannel& channel) {
    configured = true;
    const uint8_t zero[4] = {};
    return sendDmaCommand(ref, QOR_PCIE_DMA_SELECT_TEST, subFunction, channel.channel, zero);
  });
  return !configured && resetWithoutChannel && result == QOR_ERR_API_NOT_INITIALIZED ? 0 : result;
}

// The test's setup on the configured channel; a setup the firmware refused is reset again.
uint32_t setUpTest(PortRef& ref, const DmaChannel& channel, const Qor_PcieDmaTest_Config_t& config) {
  if (config.runMode > 1) {
    return Qor_Client_ErrorHandler(&ref.entry(), QOR_ERR_API_UNKNOWN_MODE, "run mode value '%d' us unknown",
                                   config.runMode);
  }
  if (config.type != 0) {
    return Qor_Client_ErrorHandler(&ref.entry(), QOR_ERR_API_INVALID_PARAMETER, "type value '%d' us unknown",
                                   config.type);
  }
  if (config.secondValue > kSecondValueMax) {
    return Qor_Client_ErrorHandler(&ref.entry(), QOR_ERR_API_INVALID_PARAMETER, "second test value %u too large",
                                   config.secondValue);
  }
  std::vector<uint8_t> setup(4, 0);
  setup.insert(setup.end(), {1, static_cast<uint8_t>(config.runMode + 1), 0, 0});
  appendU32(setup, {0, config.firstValue, config.secondValue, (config.secondValue + 7) & ~7u});
  if (uint32_t result = sendDmaCommand(ref, QOR_PCIE_DMA_SELECT_TEST, QOR_PCIE_DMA_TEST_SETUP, channel.channel,
                                       setup)) {
    const uint8_t zero[4] = {};
    sendDmaCommand(ref, QOR_PCIE_DMA_SELECT_TEST, QOR_PCIE_DMA_TEST_RESET, channel.channel, zero);
    return result;
  }
  return 0;
}

} // namespace

extern "C" {

uint32_t Qor_PcieDmaTest_Init(uint32_t port, const Qor_PcieDmaTest_Config_t* config) try {
  if (config == nullptr) return Qor_ErrorHandler(port, QOR_ERR_API_INVALID_PARAMETER, "invalid pointer");
  if (config->flags != 0) return Qor_ErrorHandler(port, QOR_ERR_API_UNKNOWN_FLAG, "%s", "");
  if (config->reserved != 0) {
    return Qor_ErrorHandler(port, QOR_ERR_API_INVALID_PARAMETER, "reserved bytes have to be zero");
  }
  return onConfiguredChannel(port, kNotConfigured,
                             [config](PortRef& ref, DmaChannel& channel) { return setUpTest(ref, channel, *config); });
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_PcieDmaTest_Reset(uint32_t port) try {
  return testStep(port, QOR_PCIE_DMA_TEST_RESET, true);
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_PcieDmaTest_Start(uint32_t port) try {
  return testStep(port, QOR_PCIE_DMA_TEST_START);
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_PcieDmaTest_Stop(uint32_t port) try {
  return testStep(port, QOR_PCIE_DMA_TEST_STOP);
} catch (...) {
  return failedCall(port);
}

} // extern "C"
