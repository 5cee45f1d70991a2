// The USB-over-Ethernet path in this process, with the stand-in libuoe_QorUSB_Platform and emulated adapters on
// loopback addresses of the sandbox's own network: per-adapter device tables, the connection counted per port,
// the design check and the failures of an open.
#include <arpa/inet.h>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "map_usb_over_ethernet.hpp"
#include "port_table.hpp"
#include "qor_emulator/usb_over_ethernet_adapter.hpp"
#include "qor_error_codes.h"
#include "qor_usb_platform.h"
#include "usb_device_table.hpp"
#include "usb_download_outcomes.hpp"

namespace qor::daemon {
namespace {

using namespace std::chrono_literals;

constexpr uint16_t kUsbPort = 5400;
constexpr uint32_t kResistorHostType = 33; // design files "USB8200..."
constexpr uint32_t kResistorDriverType = 12;
constexpr uint32_t kRelayHostType = 71; // no design files
constexpr uint32_t kRelayDriverType = 48;
constexpr uint32_t kCrxDriverType = 13; // a firmware model, not served behind an adapter
constexpr char kFpgaDirectory[] = "/tmp/uoe_daemon";

uint32_t targetOf(const char* address) {
  in_addr binary{};
  inet_pton(AF_INET, address, &binary);
  return binary.s_addr;
}

Qor_InterfaceInfo_t descriptor(const char* adapter, uint32_t hostType, uint32_t deviceNumber, uint8_t controller = 1) {
  Qor_InterfaceInfo_t info{};
  info.hostInterfaceType = hostType;
  info.controllerNumber = controller;
  info.interfaceNumber = 1;
  info.flags = QOR_INTERFACE_FLAG_USB_OVER_ETHERNET;
  info.deviceNumber = deviceNumber;
  const uint32_t target = targetOf(adapter);
  memcpy(info.ipAddress + 4, &target, sizeof target);
  return info;
}

std::vector<UsbDriverInfoEntry> entriesOf(const std::vector<uint8_t>& out, uint32_t written) {
  std::vector<UsbDriverInfoEntry> entries;
  if (written < 12) return entries;
  uint32_t count = 0;
  memcpy(&count, out.data() + 8, sizeof count);
  entries.resize(std::min<size_t>(count, (written - 12) / sizeof(UsbDriverInfoEntry)));
  if (!entries.empty()) memcpy(entries.data(), out.data() + 12, entries.size() * sizeof entries[0]);
  return entries;
}

class UsbOverEthernetPath : public ::testing::Test {
protected:
  void SetUp() override {
    std::filesystem::create_directories(std::string(kFpgaDirectory) + "/FpgaFiles");
    for (int version : {5, 9}) {
      std::ofstream(std::string(kFpgaDirectory) + "/FpgaFiles/USB8200_emulated_" + std::to_string(version) + ".CFD")
          << "design " << version << "\n";
    }
    first_.devices().plugIn({kResistorDriverType, {{300, nullptr}}, 9});
    first_.devices().plugIn({kRelayDriverType, {{500, nullptr}}});
    second_.devices().plugIn({kResistorDriverType, {{301, nullptr}}, 9});
    first_.start();
    second_.start();
    first_.announce();
    path_->start(settings_);
  }

  void TearDown() override { path_->shutdown(); }

  std::vector<UsbDriverInfoEntry> list(const char* adapter, PathStatus* status = nullptr) {
    std::vector<uint8_t> out(4108);
    uint32_t written = 0;
    const uint32_t target = targetOf(adapter);
    const PathStatus listed = path_->driverInfo(32, out, written, Bytes(reinterpret_cast<const uint8_t*>(&target), 4));
    if (status != nullptr) *status = listed;
    EXPECT_TRUE(status != nullptr || listed.ok()) << listed.text;
    return entriesOf(out, written);
  }

  PathStatus open(const Qor_InterfaceInfo_t& info, std::unique_ptr<Device>& device) {
    return path_->open(info, device);
  }

  // The adapter's connections once closed ones are gone.
  static size_t settledConnections(const emulator::UsbOverEthernetAdapter& adapter, size_t expected) {
    for (int i = 0; i < 200 && adapter.openConnections() != expected; ++i) std::this_thread::sleep_for(5ms);
    return adapter.openConnections();
  }

  emulator::UsbOverEthernetAdapter first_{700, "127.0.0.2", kUsbPort};
  emulator::UsbOverEthernetAdapter second_{701, "127.0.0.3", kUsbPort};
  PathSettings settings_;
  std::unique_ptr<AccessPath> path_ = makeUsbOverEthernetPath(kFpgaDirectory, UOE_LIBRARY);
};

TEST_F(UsbOverEthernetPath, ListsTheDevicesBehindEachAdapterAndLetsTheConnectionGo) {
  const auto first = list("127.0.0.2");
  ASSERT_EQ(first.size(), 2u);
  EXPECT_EQ(first[0].hostInterfaceType, kResistorHostType);
  EXPECT_EQ(first[0].communicationType, 5u);
  EXPECT_EQ(first[0].deviceNumber, 1u);
  EXPECT_EQ(first[0].serialNumber, 300u);
  EXPECT_EQ(first[1].hostInterfaceType, kRelayHostType);
  EXPECT_EQ(first[1].serialNumber, 500u);
  const auto second = list("127.0.0.3");
  ASSERT_EQ(second.size(), 1u);
  EXPECT_EQ(second[0].serialNumber, 301u);
  EXPECT_EQ(settledConnections(first_, 0), 0u);
  EXPECT_EQ(settledConnections(second_, 0), 0u);
}

// Both adapters list a USB8200 as device 1: each open drives the device behind its own adapter.
TEST_F(UsbOverEthernetPath, AnOpenForAnotherAdapterDrivesThatAdaptersDevice) {
  std::unique_ptr<Device> onFirst;
  std::unique_ptr<Device> onSecond;
  ASSERT_TRUE(open(descriptor("127.0.0.2", kResistorHostType, 1), onFirst).ok());
  const PathStatus opened = open(descriptor("127.0.0.3", kResistorHostType, 1), onSecond);
  ASSERT_TRUE(opened.ok()) << opened.text;
  EXPECT_EQ(onFirst->properties.deviceIdentifier, 300u);
  EXPECT_EQ(onSecond->properties.deviceIdentifier, 301u);
  ASSERT_TRUE(onFirst->fpgaRegisterWrite(7, 0x111).ok());
  ASSERT_TRUE(onSecond->fpgaRegisterWrite(7, 0x222).ok());
  EXPECT_EQ(first_.devices().fpgaRegister(1, 7), 0x111u);
  EXPECT_EQ(second_.devices().fpgaRegister(1, 7), 0x222u);
  uint32_t value = 0;
  ASSERT_TRUE(onSecond->fpgaRegisterRead(7, value).ok());
  EXPECT_EQ(value, 0x222u);
}

// The model without a design file is never entered in a list of designs checked: its port holds the connection
// all the same, also across a listing and the close of another port.
TEST_F(UsbOverEthernetPath, TheConnectionIsHeldByEveryOpenPort) {
  std::unique_ptr<Device> relays;
  std::unique_ptr<Device> resistors;
  ASSERT_TRUE(open(descriptor("127.0.0.2", kRelayHostType, 1), relays).ok());
  ASSERT_TRUE(open(descriptor("127.0.0.2", kResistorHostType, 1), resistors).ok());
  EXPECT_EQ(list("127.0.0.2").size(), 2u);
  resistors.reset();
  ASSERT_TRUE(relays->fpgaRegisterWrite(3, 1).ok());
  EXPECT_EQ(first_.devices().fpgaRegister(2, 3), 1u);
  EXPECT_EQ(first_.acceptedConnections(), 1u); // one connection for the ports and the listing
  EXPECT_EQ(settledConnections(first_, 1), 1u);
  relays.reset();
  EXPECT_EQ(settledConnections(first_, 0), 0u);
}

TEST_F(UsbOverEthernetPath, AnOutdatedDesignIsReplacedOnceAndACurrentOneKept) {
  first_.devices().setFpgaRegister(1, emulator::kDesignVersionRegister, 5);
  std::unique_ptr<Device> device;
  ASSERT_TRUE(open(descriptor("127.0.0.2", kResistorHostType, 1), device).ok());
  EXPECT_EQ(first_.devices().downloads(), std::vector<std::string>{std::string(kFpgaDirectory) +
                                                                    "/FpgaFiles/USB8200_emulated_9.CFD"});
  uint32_t version = 0;
  ASSERT_TRUE(device->fpgaDesignVersion(version).ok());
  EXPECT_EQ(version, 9u);
  device.reset();
  ASSERT_TRUE(open(descriptor("127.0.0.2", kResistorHostType, 1), device).ok());
  EXPECT_EQ(first_.devices().downloads().size(), 1u);
  EXPECT_EQ(second_.devices().downloads().size(), 0u);
}

TEST_F(UsbOverEthernetPath, EachDownloadOutcomeEndsTheOpenAsItShould) {
  for (uint32_t number = 2; const test::UsbDownloadCase& c : test::kUsbDownloadCases) {
    SCOPED_TRACE(c.name);
    const int handle = first_.devices().plugIn({kResistorDriverType, {{300 + number, nullptr}}, test::kOutdatedDesignVersion});
    first_.devices().setDownloadOutcome(handle, c.outcome);
    list("127.0.0.2");
    std::unique_ptr<Device> device;
    const PathStatus status = open(descriptor("127.0.0.2", kResistorHostType, number++), device);
    EXPECT_EQ(status.code, c.pathCode);
    EXPECT_NE(status.text.find(c.pathText), std::string::npos) << status.text;
    EXPECT_EQ(device == nullptr, c.pathCode != 0);
    EXPECT_EQ(first_.devices().fpgaRegister(handle, emulator::kDesignVersionRegister), c.version);
  }
}

TEST_F(UsbOverEthernetPath, FailedOpensSayWhyAndGiveTheConnectionBack) {
  first_.devices().plugIn({kCrxDriverType, {{900, nullptr}}});
  const struct {
    const char* what;
    Qor_InterfaceInfo_t info;
    uint32_t code;
    const char* text;
  } cases[] = {
      {"device number beyond the table", descriptor("127.0.0.2", kResistorHostType, 129),
       QOR_ERR_SERVER_TOO_MANY_DEVICES, ""},
      {"no such device", descriptor("127.0.0.2", kResistorHostType, 2), QOR_ERR_USB_DEVICE_NOT_AVAILABLE,
       "USB8200 #2 is not available"},
      {"no such controller", descriptor("127.0.0.2", kResistorHostType, 1, 2), QOR_ERR_USB_CONTROLLER_NOT_AVAILABLE,
       "USB8200 #1 controller 2 is not available"},
      {"a model not served", descriptor("127.0.0.2", 17, 1), QOR_ERR_USB_NOT_SUPPORTED,
       "device not supported for usb over ethernet connection"},
      {"no adapter there", descriptor("127.0.0.9", kResistorHostType, 1), QOR_ERR_USB_CONNECT,
       "connect failed - ethernet - connection failed"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::unique_ptr<Device> device;
    const PathStatus status = open(c.info, device);
    EXPECT_EQ(status.code, c.code);
    EXPECT_EQ(status.text, c.text);
    EXPECT_EQ(device, nullptr);
  }
  EXPECT_EQ(settledConnections(first_, 0), 0u);
}

TEST_F(UsbOverEthernetPath, AnAdapterThatReportsAnUnknownEnumerationStatusListsNothing) {
  first_.setEnumeration(3, 7);
  PathStatus status;
  EXPECT_TRUE(list("127.0.0.2", &status).empty());
  EXPECT_EQ(status.code, QOR_ERR_USB_NOT_SUPPORTED);
  EXPECT_EQ(status.text, "received unknown device enumeration status '0x7'");
  std::unique_ptr<Device> device;
  EXPECT_EQ(open(descriptor("127.0.0.2", kRelayHostType, 1), device).text, status.text);
}

TEST_F(UsbOverEthernetPath, TheLibraryMustLoadInItsVersionWindow) {
  const struct {
    const char* library;
    uint32_t code;
    const char* text;
  } cases[] = {
      {HXUSB_LIBRARY, QOR_ERR_USB_VERSION_TOO_NEW, "dll version 225 > maximum dll version 199"},
      {"libuoe_absent.so", QOR_ERR_USB_LOAD_LIBRARY, "unable to load 'libuoe_absent.so'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.library);
    const auto path = makeUsbOverEthernetPath(kFpgaDirectory, c.library);
    std::unique_ptr<Device> device;
    const PathStatus status = path->open(descriptor("127.0.0.2", kRelayHostType, 1), device);
    EXPECT_EQ(status.code, c.code);
    EXPECT_EQ(status.text.rfind(c.text, 0), 0u) << status.text;
  }
}

// Listings, opens and closes of both adapters from several threads at once share the path's state safely.
TEST_F(UsbOverEthernetPath, ListingsOpensAndClosesRunTogether) {
  second_.devices().plugIn({kRelayDriverType, {{501, nullptr}}});
  std::vector<std::thread> threads;
  for (const char* adapter : {"127.0.0.2", "127.0.0.3"}) {
    threads.emplace_back([&, adapter] {
      for (int i = 0; i < 20; ++i) EXPECT_FALSE(list(adapter).empty());
    });
    threads.emplace_back([&, adapter] {
      for (int i = 0; i < 20; ++i) {
        std::unique_ptr<Device> device;
        const PathStatus status = open(descriptor(adapter, kRelayHostType, 1), device);
        ASSERT_TRUE(status.ok()) << status.text;
        EXPECT_TRUE(device->fpgaRegisterWrite(4, static_cast<uint32_t>(i)).ok());
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(settledConnections(first_, 0), 0u);
  EXPECT_EQ(settledConnections(second_, 0), 0u);
}

// The stand-in keeps one connection per adapter, so a path that connected twice or let go of a connection it still
// uses would see it fail.
TEST_F(UsbOverEthernetPath, TheStandInHasOneConnectionPerAdapter) {
  void* library = dlopen(UOE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  const auto connect = reinterpret_cast<decltype(&QorUSB_Platform_ConnectToTarget)>(
      dlsym(library, "QorUSB_Platform_ConnectToTarget"));
  const auto disconnect = reinterpret_cast<decltype(&QorUSB_Platform_DisconnectFromTarget)>(
      dlsym(library, "QorUSB_Platform_DisconnectFromTarget"));
  const auto version = reinterpret_cast<decltype(&QorUSB_Platform_Xilinx_Version_UoE)>(
      dlsym(library, "QorUSB_Platform_Xilinx_Version_UoE"));
  uint32_t connection = 0;
  uint32_t design = 0;
  ASSERT_EQ(connect(targetOf("127.0.0.2"), 4000, &connection), 0u);
  EXPECT_EQ(version(kResistorDriverType, 1, &design, connection), 0u);
  EXPECT_EQ(design, 9u);
  uint32_t again = 0;
  EXPECT_EQ(connect(targetOf("127.0.0.2"), 4000, &again), 0xE0000301u); // already connected
  EXPECT_EQ(connect(targetOf("127.0.0.9"), 4000, &again), 0xE0000300u); // connection failed
  EXPECT_EQ(disconnect(targetOf("127.0.0.2")), 0u);
  EXPECT_EQ(disconnect(targetOf("127.0.0.2")), 0xE0000304u); // no connection
  EXPECT_EQ(version(kResistorDriverType, 1, &design, connection), 0xE0000304u);
  dlclose(library);
}

// A connect finds the open port of its device: behind an adapter, by adapter, type and number.
TEST(UsbOverEthernetPorts, AreTheSameDeviceOnlyBehindTheSameAdapterWithTheSameTypeAndNumber) {
  const Qor_InterfaceInfo_t open = descriptor("127.0.0.2", kResistorHostType, 1);
  Qor_InterfaceInfo_t onUsb = open;
  onUsb.flags = 0;
  memset(onUsb.ipAddress, 0, sizeof onUsb.ipAddress);
  const struct {
    const char* what;
    Qor_InterfaceInfo_t port;
    Qor_InterfaceInfo_t request;
    bool same;
  } cases[] = {
      {"the same device", open, descriptor("127.0.0.2", kResistorHostType, 1), true},
      {"another controller of a single-controller model", open, descriptor("127.0.0.2", kResistorHostType, 1, 2), true},
      {"the next device of the type", open, descriptor("127.0.0.2", kResistorHostType, 2), false},
      {"another type", open, descriptor("127.0.0.2", kRelayHostType, 1), false},
      {"another adapter", open, descriptor("127.0.0.3", kResistorHostType, 1), false},
      {"the device of that number on the host's USB", open, onUsb, false},
      {"a port on the host's USB", onUsb, open, false},
  };
  for (const auto& c : cases) EXPECT_EQ(sameDevice(c.port, c.request), c.same) << c.what;
}

} // namespace
} // namespace qor::daemon
