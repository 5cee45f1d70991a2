// Host-side FPGA access end to end: a model whose FPGA the daemon drives, reached over the Ethernet path, which
// provides no FPGA operations.
#include <gtest/gtest.h>

#include <functional>

#include "qor_test/interface_fixture.hpp"

namespace qor::test {
namespace {

constexpr uint32_t kFpgaModel = 36;

using FpgaRoad = InterfaceFixture;

TEST_F(FpgaRoad, CallsReachAPathWithoutFpgaOperations) {
  const Qor_InterfaceInfo_t info = ethernetDescriptor(kDeviceAddress, kDevicePort, 1, kFpgaModel);
  uint32_t port = QOR_NO_PORT;
  ASSERT_EQ(Qor_OpenInterface(&info, &port), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_GetInterfaceHost(port), static_cast<uint32_t>(QOR_INTERFACE_HOST_FPGA));
  uint32_t value = 0;
  uint8_t bytes[4] = {1, 2, 3, 4};
  uint32_t size = sizeof bytes;
  const std::function<uint32_t()> calls[] = {
      [&] { return Qor_Fpga_ReadRegister(port, 3, &value); },
      [&] { return Qor_Fpga_WriteRegister(port, 3, 7); },
      [&] { return Qor_Fpga_ReadFifo(port, bytes, &size); },
      [&] { return Qor_Fpga_WriteFifo(port, bytes, sizeof bytes); },
      [&] { return Qor_Fpga_ReadVhdlDesignVersion(port, &value); },
      [&] { return Qor_Fpga_Reconfiguration(port, "/FpgaFiles/1.CFD"); },
      [&] { return Qor_Fpga_Relays_Set(port, 1, 2, bytes); },
      [&] { return Qor_Fpga_Relays_Reset(port, 1, 2, bytes); },
      [&] { return Qor_Fpga_Relays_SetDirect(port, 2, bytes); },
      [&] { return Qor_Fpga_Relays_GetState(port, 2, bytes, bytes); },
  };
  for (const auto& call : calls) EXPECT_EQ(call(), QOR_ERR_SERVER_FUNCTION_NOT_AVAILABLE);
  EXPECT_EQ(size, sizeof bytes);
  EXPECT_EQ(Qor_CloseInterface(port), 0u);
}

} // namespace
} // namespace qor::test
