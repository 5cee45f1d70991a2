// USB devices on the whole road: the library of this process, the daemon started with "usb" beside the udev rule,
// the stand-in libhxusb it loads, and the emulator's USB face behind it.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "qor_api.h"
#include "qor_emulator/device.hpp"
#include "qor_emulator/monitor_7140_stream.hpp"
#include "qor_emulator/usb_front_end.hpp"
#include "qor_error_codes.h"
#include "qor_fpga.h"
#include "qor_interface_list.h"
#include "qor_monitor.h"
#include "qor_shared/firmware_records.hpp"
#include "qor_shared/protocol.hpp"
#include "qor_test/daemon_process.hpp"
#include "qor_usb_platform.h"
#include "usb_download_outcomes.hpp"

namespace qor::test {
namespace {

constexpr char kRuleFile[] = "/etc/udev/rules.d/90-hxusb.rules";
constexpr char kSocket[] = "/tmp/usb_emulator.sock";
constexpr uint32_t kCrxHostType = 17; // one firmware controller, frames only
constexpr uint32_t kCrxDriverType = 13;
constexpr uint8_t kCrxFirmwareCode = 28;
constexpr uint8_t kCanFirmwareCode = 2;
constexpr uint32_t kResistorHostType = 33; // FPGA registers and a design file, no firmware
constexpr uint32_t kResistorDriverType = 12;
constexpr uint32_t kRelayHostType = 71; // 64 relays in FPGA registers, no design file
constexpr uint32_t kRelayDriverType = 48;
constexpr uint32_t k7140HostType = 12; // MOST, with the reassembled monitor stream
constexpr uint32_t k7140DriverType = 18;
constexpr uint8_t kMostFirmwareCode = 15;
constexpr uint8_t kMostMonitorControl = 0x54;
constexpr uint8_t kMonitorResetRegister = 2;

emulator::DeviceConfig crxDevice(uint32_t serial) {
  emulator::Identity identity;
  identity.deviceCode = kCrxFirmwareCode;
  identity.interfaces = {{kCanFirmwareCode, 1}};
  return {serial, kCrxHostType, identity};
}

Qor_InterfaceInfo_t usbDescriptor(uint32_t hostType, uint32_t deviceNumber) {
  Qor_InterfaceInfo_t info{};
  info.hostInterfaceType = hostType;
  info.controllerNumber = 1;
  info.interfaceNumber = 1;
  info.deviceNumber = deviceNumber;
  return info;
}

class UsbDevices : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(std::ofstream(kRuleFile) << "# the platform library's devices\n") << kRuleFile;
    usb_.start();
    usb_.announce();
  }

  void TearDown() override {
    for (uint32_t port = 0; port < QOR_MAX_PORTS; ++port) Qor_CloseInterface(port);
    daemon_.reset();
    usb_.stop();
    for (const auto& device : firmware_) {
      const std::string unexpected = device->requests().unexpectedRequests();
      if (!unexpected.empty()) ADD_FAILURE() << "requests the device did not expect:\n" << unexpected;
      const std::string unmet = device->requests().unmetExpectations();
      if (!unmet.empty()) ADD_FAILURE() << "expectations no request met:\n" << unmet;
    }
  }

  void startDaemon(const std::vector<std::string>& words = {"usb"}) {
    daemon_.reset();
    daemon_ = std::make_unique<DaemonProcess>(QORAPID_PROGRAM, words);
    ASSERT_TRUE(connectLibraryToDaemon());
  }

  // A kaloCRX device with its own firmware; returns its front-end handle.
  int plugInCrx(uint32_t serial) {
    firmware_.push_back(std::make_unique<emulator::Device>(crxDevice(serial)));
    return usb_.plugIn({kCrxDriverType, {{serial, firmware_.back().get()}}});
  }

  std::vector<Qor_InterfaceData_t> listUsb(uint32_t expectedResult = 0) {
    std::vector<Qor_InterfaceData_t> list(16);
    uint32_t count = static_cast<uint32_t>(list.size());
    EXPECT_EQ(Qor_Interface_GetInterfaceList_Usb(&count, list.data(), sizeof(Qor_InterfaceData_t)), expectedResult)
        << Qor_GetLastErrorDescription();
    list.resize(count);
    return list;
  }

  emulator::UsbFrontEnd usb_{kSocket};
  std::vector<std::unique_ptr<emulator::Device>> firmware_;
  std::unique_ptr<DaemonProcess> daemon_;
};

TEST_F(UsbDevices, AreListedOpenedAndCarryCommands) {
  plugInCrx(100);
  plugInCrx(200);
  startDaemon();

  const auto list = listUsb();
  ASSERT_EQ(list.size(), 2u);
  for (uint32_t i = 0; i < 2; ++i) {
    EXPECT_EQ(list[i].hostInterfaceType, kCrxHostType);
    EXPECT_EQ(list[i].communicationType, QOR_COMMUNICATION_USB);
    EXPECT_EQ(list[i].deviceNumber, i + 1);
    EXPECT_EQ(list[i].serialNumber, 100 * (i + 1));
    EXPECT_EQ(list[i].controllerNumber, 1);
    EXPECT_EQ(list[i].interfaceNumber, 1);
  }

  const Qor_InterfaceInfo_t second = usbDescriptor(kCrxHostType, 2);
  uint32_t port = QOR_NO_PORT;
  ASSERT_EQ(Qor_OpenInterface(&second, &port), 0u) << Qor_GetLastErrorDescription();
  const uint8_t record[] = {0x01, 0x00, 0x20, 0xA1};
  firmware_[1]->expect(0x12, {0x01, 0x00, 0x20, 0xA1});
  EXPECT_EQ(Qor_Command(port, 0x12, record, sizeof record), 0u) << Qor_GetLastErrorDescription();
}

TEST_F(UsbDevices, WithoutTheWordUsbOrTheRuleNoDeviceIsListedOrOpened) {
  plugInCrx(100);
  const Qor_InterfaceInfo_t first = usbDescriptor(kCrxHostType, 1);
  for (bool withRule : {true, false}) {
    if (!withRule) std::filesystem::remove(kRuleFile);
    startDaemon(withRule ? std::vector<std::string>{} : std::vector<std::string>{"usb"});
    EXPECT_TRUE(listUsb().empty()) << "rule " << withRule;
    uint32_t port = QOR_NO_PORT;
    EXPECT_EQ(Qor_OpenInterface(&first, &port), QOR_ERR_SERVER_DEVICE_NOT_CONNECTED) << "rule " << withRule;
  }
}

TEST_F(UsbDevices, APortFollowsItsDeviceAcrossARefreshAndFailsOnceItIsGone) {
  const int first = plugInCrx(100);
  const int second = plugInCrx(200);
  startDaemon();
  const Qor_InterfaceInfo_t descriptor = usbDescriptor(kCrxHostType, 2);
  uint32_t port = QOR_NO_PORT;
  ASSERT_EQ(Qor_OpenInterface(&descriptor, &port), 0u) << Qor_GetLastErrorDescription();

  usb_.unplug(first);
  ASSERT_EQ(listUsb().size(), 1u);
  const uint8_t record[] = {0x07};
  firmware_[1]->expect(0x12, {0x07});
  EXPECT_EQ(Qor_Command(port, 0x12, record, sizeof record), 0u) << Qor_GetLastErrorDescription();

  usb_.unplug(second);
  EXPECT_TRUE(listUsb().empty());
  EXPECT_NE(Qor_Command(port, 0x12, record, sizeof record), 0u);

  // The device that takes the number next is a device of its own.
  plugInCrx(300);
  ASSERT_EQ(listUsb().size(), 1u);
  const Qor_InterfaceInfo_t numberOne = usbDescriptor(kCrxHostType, 1);
  uint32_t newPort = QOR_NO_PORT;
  ASSERT_EQ(Qor_OpenInterface(&numberOne, &newPort), 0u) << Qor_GetLastErrorDescription();
  firmware_[2]->expect(0x12, {0x07});
  EXPECT_EQ(Qor_Command(newPort, 0x12, record, sizeof record), 0u) << Qor_GetLastErrorDescription();
}

TEST_F(UsbDevices, AnOutdatedFpgaDesignIsReplacedByTheNewestFile) {
  const int device = usb_.plugIn({kResistorDriverType, {{300, nullptr}}, 3});
  startDaemon();
  const Qor_InterfaceInfo_t descriptor = usbDescriptor(kResistorHostType, 1);
  uint32_t port = QOR_NO_PORT;
  ASSERT_EQ(Qor_OpenInterface(&descriptor, &port), 0u) << Qor_GetLastErrorDescription();
  const std::string newest = std::filesystem::path(QORAPID_PROGRAM).parent_path() / "FpgaFiles/USB8200_emulated_9.CFD";
  EXPECT_EQ(usb_.downloads(), std::vector<std::string>{newest});

  uint32_t version = 0;
  EXPECT_EQ(Qor_Fpga_ReadVhdlDesignVersion(port, &version), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(version, 9u);
  EXPECT_EQ(Qor_Fpga_WriteRegister(port, 7, 0xCAFE), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(usb_.fpgaRegister(device, 7), 0xCAFEu);
  usb_.setFpgaRegister(device, 8, 0x1234);
  uint32_t value = 0;
  EXPECT_EQ(Qor_Fpga_ReadRegister(port, 8, &value), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(value, 0x1234u);

  // Current now: a second port of the device loads nothing.
  Qor_CloseInterface(port);
  ASSERT_EQ(Qor_OpenInterface(&descriptor, &port), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(usb_.downloads().size(), 1u);
}

TEST_F(UsbDevices, RelaysAreSwitchedThroughFpgaRegisters) {
  const int device = usb_.plugIn({kRelayDriverType, {{500, nullptr}}});
  startDaemon();
  const Qor_InterfaceInfo_t descriptor = usbDescriptor(kRelayHostType, 1);
  uint32_t port = QOR_NO_PORT;
  ASSERT_EQ(Qor_OpenInterface(&descriptor, &port), 0u) << Qor_GetLastErrorDescription();

  const uint8_t relays[] = {1, 17, 64};
  ASSERT_EQ(Qor_Fpga_Relays_Set(port, 0, sizeof relays, relays), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(usb_.fpgaRegister(device, 3), 0x1u);
  EXPECT_EQ(usb_.fpgaRegister(device, 4), 0x1u);
  EXPECT_EQ(usb_.fpgaRegister(device, 6), 0x8000u);
  EXPECT_EQ(usb_.fpgaRegister(device, 2), 1u);

  const uint8_t query[] = {1, 2, 64};
  uint8_t state[3] = {};
  ASSERT_EQ(Qor_Fpga_Relays_GetState(port, sizeof query, query, state), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(std::vector<uint8_t>(state, state + 3), (std::vector<uint8_t>{1, 0, 1}));

  const uint8_t beyond[] = {65};
  EXPECT_EQ(Qor_Fpga_Relays_Reset(port, 0, sizeof beyond, beyond), QOR_ERR_SERVER_INVALID_PARAMETER);
  EXPECT_EQ(usb_.fpgaRegister(device, 3), 0x1u);
}

TEST_F(UsbDevices, EachDownloadOutcomeEndsTheOpenAsItShould) {
  std::vector<int> devices;
  for (const UsbDownloadCase& c : kUsbDownloadCases) {
    devices.push_back(usb_.plugIn({kResistorDriverType, {{static_cast<uint32_t>(300 + devices.size()), nullptr}},
                                   kOutdatedDesignVersion}));
    usb_.setDownloadOutcome(devices.back(), c.outcome);
  }
  startDaemon();
  for (size_t i = 0; i < devices.size(); ++i) {
    const UsbDownloadCase& c = kUsbDownloadCases[i];
    const Qor_InterfaceInfo_t descriptor = usbDescriptor(kResistorHostType, static_cast<uint32_t>(i + 1));
    uint32_t port = QOR_NO_PORT;
    EXPECT_EQ(Qor_OpenInterface(&descriptor, &port), libraryResult(c)) << c.name;
    EXPECT_NE(std::string(Qor_GetLastErrorDescription()).find(libraryText(c)), std::string::npos)
        << c.name << ": " << Qor_GetLastErrorDescription();
    EXPECT_EQ(usb_.fpgaRegister(devices[i], emulator::kDesignVersionRegister), c.version) << c.name;
  }
}

// The 7140 model's monitor bytes, cut by the device's reads anywhere, reach the application as whole items.
TEST_F(UsbDevices, The7140ModelsMonitorStreamReachesTheApplicationAsWholeItems) {
  emulator::Identity identity; // its firmware names no model: the port stays a USB7140
  identity.interfaces = {{kMostFirmwareCode, 1}};
  firmware_.push_back(std::make_unique<emulator::Device>(emulator::DeviceConfig{400, k7140HostType, identity}));
  firmware_.back()->onCommand(kMostMonitorControl, [](const emulator::ReceivedFrame& frame) {
    return emulator::Reply(frame.response(emulator::Bytes{}, 1));
  });
  const int device = usb_.plugIn({k7140DriverType, {{400, firmware_.back().get()}}});
  startDaemon();
  const Qor_InterfaceInfo_t descriptor = usbDescriptor(k7140HostType, 1);
  uint32_t port = QOR_NO_PORT;
  ASSERT_EQ(Qor_OpenInterface(&descriptor, &port), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(usb_.fpgaRegister(device, kMonitorResetRegister), 0xFFFFu);

  // What the device held before the monitor started is flushed, never handed on.
  usb_.playMonitor(device, {emulator::monitor7140::Bytes(100, 0xEE)});
  ASSERT_EQ(Qor_Monitor_Init(port, 0, nullptr, nullptr, 0, nullptr), 0u) << Qor_GetLastErrorDescription();

  const auto stream = emulator::monitor7140::mixedStream(40, 255, 500);
  // Reads cut inside length fields, headers, pieces and items, and fill the port's room.
  std::vector<emulator::monitor7140::Bytes> reads;
  const size_t lengths[] = {1, 3, 13, 18, 700, 5000, 2, 1021};
  for (size_t at = 0, turn = 0; at < stream.bytes.size(); ++turn) {
    const size_t length = std::min(lengths[turn % std::size(lengths)], stream.bytes.size() - at);
    reads.emplace_back(stream.bytes.begin() + at, stream.bytes.begin() + at + length);
    at += length;
  }
  usb_.playMonitor(device, reads);

  emulator::monitor7140::Bytes received;
  std::vector<uint8_t> buffer(1u << 18); // more than the monitor ring holds
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (received.size() < stream.items.size() && std::chrono::steady_clock::now() < deadline) {
    uint32_t length = static_cast<uint32_t>(buffer.size());
    uint8_t lost = 0;
    ASSERT_EQ(Qor_Monitor_Read(port, 0, buffer.data(), &length, &lost), 0u) << Qor_GetLastErrorDescription();
    ASSERT_EQ(lost, 0u);
    received.insert(received.end(), buffer.begin(), buffer.begin() + length);
    if (length == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(received, stream.items);
  EXPECT_EQ(Qor_CloseMonitor(port), 0u) << Qor_GetLastErrorDescription();
}

// The stand-in itself: a read learns the caller's room, and a frame beyond it is an error, never an overflow.
TEST_F(UsbDevices, TheStandInRefusesAFrameLargerThanTheRoom) {
  plugInCrx(100);
  const firmware::SerialNumberQuery query{firmware::kSerialNumberSubFunction};
  const FirmwareMessageHeader header = protocol::commandHeader(QOR_REQUEST_NO_ACKNOWLEDGE, 1, 1, 0, 0, 0x0C, sizeof query);
  std::vector<uint8_t> frame(sizeof header + sizeof query);
  memcpy(frame.data(), &header, sizeof header);
  memcpy(frame.data() + sizeof header, &query, sizeof query);
  constexpr size_t kAnswerLength = sizeof(FirmwareMessageHeader) + sizeof(firmware::SerialNumberAnswer);

  std::vector<uint8_t> buffer(64, 0xEE);
  ASSERT_EQ(QorUSB_Platform_Write_FIFO(kCrxDriverType, 1, frame.data(), static_cast<uint32_t>(frame.size())), 0u);
  uint32_t size = kAnswerLength - 1;
  EXPECT_EQ(QorUSB_Platform_Read_FIFO_Timeout(kCrxDriverType, 1, buffer.data(), &size, 500), QOR_USB_MEMORY_UNDERSIZED);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(buffer[0], 0xEE);

  ASSERT_EQ(QorUSB_Platform_Write_FIFO(kCrxDriverType, 1, frame.data(), static_cast<uint32_t>(frame.size())), 0u);
  size = static_cast<uint32_t>(buffer.size());
  EXPECT_EQ(QorUSB_Platform_Read_FIFO_Timeout(kCrxDriverType, 1, buffer.data(), &size, 500), 0u);
  EXPECT_EQ(size, kAnswerLength);
  EXPECT_EQ(QorUSB_Platform_Read_FIFO_Timeout(kCrxDriverType, 2, buffer.data(), &size, 1), QOR_USB_DEVICE_REMOVED);
}

} // namespace
} // namespace qor::test
