// USB devices behind USB-over-Ethernet adapters on the whole road: the adapters answer the daemon's discovery in
// the sandbox's own network, the library of this process lists the devices behind them, opens one and reaches
// its FPGA through the daemon, which loads the stand-in libuoe_QorUSB_Platform.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "qor_api.h"
#include "qor_emulator/discovery_responder.hpp"
#include "qor_emulator/usb_over_ethernet_adapter.hpp"
#include "qor_error_codes.h"
#include "qor_fpga.h"
#include "qor_interface_list.h"
#include "qor_shared/interface_identity.hpp"
#include "qor_test/daemon_process.hpp"
#include "usb_download_outcomes.hpp"

namespace qor::test {
namespace {

constexpr uint16_t kUsbPort = 5400;
constexpr uint32_t kResistorHostType = 33;
constexpr uint32_t kResistorDriverType = 12;
const Qor_NetworkAdapter_t kLoopback{htonl(0x7F000001), htonl(0xFF000000)};

class UsbOverEthernet : public ::testing::Test {
protected:
  void SetUp() override {
    first_.devices().plugIn({kResistorDriverType, {{300, nullptr}}, 9});
    second_.devices().plugIn({kResistorDriverType, {{301, nullptr}}, 9});
    for (auto* adapter : {&first_, &second_}) {
      adapter->start();
      responder_.add(adapter->network());
    }
    first_.announce();
    responder_.start();
    daemon_ = std::make_unique<DaemonProcess>(QORAPID_PROGRAM);
    ASSERT_TRUE(connectLibraryToDaemon());
  }

  void TearDown() override {
    for (uint32_t port = 0; port < QOR_MAX_PORTS; ++port) Qor_CloseInterface(port);
    daemon_.reset();
  }

  // The USB devices' interfaces behind every adapter that discovery finds.
  static std::vector<Qor_InterfaceData_t> listBehindAdapters() {
    std::vector<Qor_InterfaceData_t> list(16);
    uint32_t count = static_cast<uint32_t>(list.size());
    EXPECT_EQ(Qor_Interface_GetInterfaceList_Ethernet(QOR_ETHERNET_LIST_USB_OVER_ETHERNET, &count, list.data(),
                                                      sizeof list[0], &kLoopback),
              0u)
        << Qor_GetLastErrorDescription();
    list.resize(count);
    std::erase_if(list, [](const auto& record) { return record.communicationType != QOR_COMMUNICATION_USB_OVER_ETHERNET; });
    std::sort(list.begin(), list.end(), [](const auto& a, const auto& b) { return a.serialNumber < b.serialNumber; });
    return list;
  }

  emulator::UsbOverEthernetAdapter first_{700, "127.0.0.2", kUsbPort};
  emulator::UsbOverEthernetAdapter second_{701, "127.0.0.3", kUsbPort};
  emulator::DiscoveryResponder responder_;
  std::unique_ptr<DaemonProcess> daemon_;
};

TEST_F(UsbOverEthernet, DevicesBehindTwoAdaptersAreListedOpenedAndReachedEachOnItsOwn) {
  const auto list = listBehindAdapters();
  ASSERT_EQ(list.size(), 2u);
  for (size_t i = 0; i < list.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(list[i].hostInterfaceType, kResistorHostType);
    EXPECT_EQ(list[i].serialNumber, 300 + i);
    EXPECT_EQ(list[i].deviceNumber, 1u);
    EXPECT_EQ(list[i].controllerNumber, 1);
    EXPECT_EQ(list[i].ipAddress, htonl(0x7F000002 + i));
    EXPECT_EQ(list[i].adapterSerialNumber, 700 + i);
  }

  uint32_t ports[2] = {QOR_NO_PORT, QOR_NO_PORT};
  for (size_t i = 0; i < 2; ++i) {
    const Qor_InterfaceInfo_t descriptor = interfaceDescriptor(list[i]);
    ASSERT_EQ(Qor_OpenInterface(&descriptor, &ports[i]), 0u) << Qor_GetLastErrorDescription();
  }
  ASSERT_NE(ports[0], ports[1]);
  ASSERT_EQ(Qor_Fpga_WriteRegister(ports[0], 7, 0xA1), 0u) << Qor_GetLastErrorDescription();
  ASSERT_EQ(Qor_Fpga_WriteRegister(ports[1], 7, 0xB2), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(first_.devices().fpgaRegister(1, 7), 0xA1u);
  EXPECT_EQ(second_.devices().fpgaRegister(1, 7), 0xB2u);
  second_.devices().setFpgaRegister(1, 8, 0x1234);
  uint32_t value = 0;
  EXPECT_EQ(Qor_Fpga_ReadRegister(ports[1], 8, &value), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(value, 0x1234u);
  uint32_t version = 0;
  EXPECT_EQ(Qor_Fpga_ReadVhdlDesignVersion(ports[0], &version), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(version, 9u);

  // A listing while the ports are open reuses their connections and leaves them open.
  EXPECT_EQ(listBehindAdapters().size(), 2u);
  EXPECT_EQ(first_.openConnections(), 1u);
  EXPECT_EQ(Qor_Fpga_WriteRegister(ports[0], 7, 0xC3), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(first_.devices().fpgaRegister(1, 7), 0xC3u);
}

TEST_F(UsbOverEthernet, EachDownloadOutcomeEndsTheOpenAsItShould) {
  std::vector<int> devices;
  for (const UsbDownloadCase& c : kUsbDownloadCases) {
    devices.push_back(first_.devices().plugIn(
        {kResistorDriverType, {{static_cast<uint32_t>(310 + devices.size()), nullptr}}, kOutdatedDesignVersion}));
    first_.devices().setDownloadOutcome(devices.back(), c.outcome);
  }
  // The listing opens each device as well: a device whose download fails is not listed, so the descriptors are
  // made from the first adapter's first device.
  const auto list = listBehindAdapters();
  ASSERT_FALSE(list.empty());
  for (size_t i = 0; i < devices.size(); ++i) {
    const UsbDownloadCase& c = kUsbDownloadCases[i];
    Qor_InterfaceData_t record = list.front();
    record.deviceNumber = static_cast<uint32_t>(i + 2);
    const Qor_InterfaceInfo_t descriptor = interfaceDescriptor(record);
    uint32_t port = QOR_NO_PORT;
    EXPECT_EQ(Qor_OpenInterface(&descriptor, &port), libraryResult(c)) << c.name;
    EXPECT_NE(std::string(Qor_GetLastErrorDescription()).find(libraryText(c)), std::string::npos)
        << c.name << ": " << Qor_GetLastErrorDescription();
    EXPECT_EQ(first_.devices().fpgaRegister(devices[i], emulator::kDesignVersionRegister), c.version) << c.name;
  }
}

} // namespace
} // namespace qor::test
