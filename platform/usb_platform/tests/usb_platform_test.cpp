// The USB platform stand-ins as the daemon sees them: loaded by path with RTLD_NOW and bound by name.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "qor_usb_platform.h"

namespace {

class Library {
 public:
  explicit Library(const char* path) : handle_(dlopen(path, RTLD_NOW | RTLD_LOCAL)) {}
  ~Library() {
    if (handle_) dlclose(handle_);
  }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;
  bool loaded() const { return handle_ != nullptr; }
  bool has(const char* name) const { return dlsym(handle_, name) != nullptr; }
  template <class Function>
  Function* bind(const char* name) const {
    return reinterpret_cast<Function*>(dlsym(handle_, name));
  }

 private:
  void* handle_;
};

#define BIND(library, name) (library).bind<decltype(name)>(#name)

const std::vector<std::string> kHxusbNames = {
    "QorUSB_Platform_Initialize", "QorUSB_Platform_DLL_Info", "QorUSB_Platform_Driver_Info",
    "QorUSB_Platform_Write_FIFO", "QorUSB_Platform_94xx_WriteData", "QorUSB_Platform_Read_FIFO_Timeout",
    "QorUSB_Platform_94xx_ReadData", "QorUSB_Platform_Xilinx_Read", "QorUSB_Platform_Xilinx_Write",
    "QorUSB_Platform_Xilinx_Version", "QorUSB_Platform_Xilinx_Download", "QorUSB_Platform_FPGA_Reconfiguration",
    "QorUSB_Platform_Write_FIFO_Memory", "QorUSB_Platform_Read_FIFO_Extended_Timeout",
    "QorUSB_Platform_Read_FIFO_Extended_Speed_Timeout", "QorUSB_Platform_7140_Read_FIFO_Extended_Packet_Timeout",
    "QorUSB_Platform_Read_FIFO"};
const std::vector<std::string> kUoeNames = {
    "QorUSB_Platform_DLL_Info", "QorUSB_Platform_ConnectToTarget", "QorUSB_Platform_DisconnectFromTarget",
    "QorUSB_Platform_DeviceEnumerationStatus_Get_UoE", "QorUSB_Platform_Driver_Info_UoE",
    "QorUSB_Platform_Xilinx_Read_UoE", "QorUSB_Platform_Xilinx_Write_UoE", "QorUSB_Platform_Xilinx_Version_UoE",
    "QorUSB_Platform_Xilinx_Download_UoE"};

TEST(UsbPlatformLibraries, EachBindsItsOwnNamesOnly) {
  const struct {
    const char* path;
    const std::vector<std::string>& own;
    const std::vector<std::string>& other;
    uint32_t version;
  } libraries[] = {{HXUSB_LIBRARY, kHxusbNames, kUoeNames, 225}, {UOE_LIBRARY, kUoeNames, kHxusbNames, 100}};
  for (const auto& l : libraries) {
    SCOPED_TRACE(l.path);
    Library library(l.path);
    ASSERT_TRUE(library.loaded()) << dlerror();
    for (const std::string& name : l.own) EXPECT_TRUE(library.has(name.c_str())) << name;
    for (const std::string& name : l.other) {
      const bool shared = std::find(l.own.begin(), l.own.end(), name) != l.own.end();
      EXPECT_EQ(library.has(name.c_str()), shared) << name;
    }
    uint32_t version = 0;
    EXPECT_EQ(BIND(library, QorUSB_Platform_DLL_Info)(&version), 0u);
    EXPECT_EQ(version, l.version);
    EXPECT_EQ(BIND(library, QorUSB_Platform_DLL_Info)(nullptr), QOR_USB_INVALID_PARAMETER);
  }
}

TEST(UsbPlatformLibraries, TheDeviceListIsEmpty) {
  Library hxusb(HXUSB_LIBRARY);
  Library uoe(UOE_LIBRARY);
  ASSERT_TRUE(hxusb.loaded() && uoe.loaded());
  EXPECT_EQ(BIND(hxusb, QorUSB_Platform_Initialize)(), 0u);
  using List = std::function<uint32_t(void*, uint32_t)>;
  const struct {
    const char* name;
    List list;
    uint32_t version;
  } lists[] = {
      {"USB", BIND(hxusb, QorUSB_Platform_Driver_Info), 225},
      {"USB over Ethernet", [&](void* b, uint32_t s) { return BIND(uoe, QorUSB_Platform_Driver_Info_UoE)(b, s, 1, 0); },
       100},
  };
  for (const auto& l : lists) {
    SCOPED_TRACE(l.name);
    std::vector<uint8_t> buffer(QOR_USB_DRIVER_INFO_SIZE, 0xAA);
    EXPECT_EQ(l.list(buffer.data(), QOR_USB_DRIVER_INFO_SIZE), QOR_USB_NO_DEVICE);
    QorUSB_DriverInfo_Header_t header;
    memcpy(&header, buffer.data(), sizeof header);
    EXPECT_EQ(header.version, l.version);
    EXPECT_EQ(header.controllerCount, 0u);
    EXPECT_EQ(std::count(buffer.begin() + sizeof header, buffer.end(), 0), QOR_USB_DRIVER_INFO_SIZE - sizeof header);
    std::vector<uint8_t> small(8, 0xAA);
    EXPECT_EQ(l.list(small.data(), 8), QOR_USB_MEMORY_UNDERSIZED);
    EXPECT_EQ(small, std::vector<uint8_t>(8, 0xAA)); // nothing written beyond the room
    EXPECT_EQ(l.list(nullptr, QOR_USB_DRIVER_INFO_SIZE), QOR_USB_INVALID_PARAMETER);
  }
}

TEST(UsbPlatformLibraries, NoControllerOrAdapterAnswers) {
  Library hxusb(HXUSB_LIBRARY);
  Library uoe(UOE_LIBRARY);
  ASSERT_TRUE(hxusb.loaded() && uoe.loaded());
  uint8_t frame[64] = {};
  uint32_t value = 0, status = 0, other = 0;
  uint32_t size = sizeof frame;
  const struct {
    const char* name;
    std::function<uint32_t()> call;
  } calls[] = {
      {"write", [&] { return BIND(hxusb, QorUSB_Platform_Write_FIFO)(19, 0, frame, 16); }},
      {"94xx write", [&] { return BIND(hxusb, QorUSB_Platform_94xx_WriteData)(32, 0, frame, 16); }},
      {"read", [&] { return BIND(hxusb, QorUSB_Platform_Read_FIFO_Timeout)(19, 0, frame, &size, 100); }},
      {"94xx read", [&] { return BIND(hxusb, QorUSB_Platform_94xx_ReadData)(32, 0, frame, &size, 100); }},
      {"plain read", [&] { return BIND(hxusb, QorUSB_Platform_Read_FIFO)(19, 0, frame, &size); }},
      {"7140 read",
       [&] { return BIND(hxusb, QorUSB_Platform_7140_Read_FIFO_Extended_Packet_Timeout)(0, frame, &size, 111); }},
      {"register read", [&] { return BIND(hxusb, QorUSB_Platform_Xilinx_Read)(19, 0, 2, &value); }},
      {"register write", [&] { return BIND(hxusb, QorUSB_Platform_Xilinx_Write)(19, 0, 2, 1); }},
      {"FPGA version", [&] { return BIND(hxusb, QorUSB_Platform_Xilinx_Version)(19, 0, &value); }},
      {"FPGA download", [&] { return BIND(hxusb, QorUSB_Platform_Xilinx_Download)(19, 0, "/tmp/x.CFD", &status); }},
      {"reconfiguration",
       [&] { return BIND(hxusb, QorUSB_Platform_FPGA_Reconfiguration)(19, 0, "/tmp/x", &status, &other); }},
      {"FIFO memory", [&] { return BIND(hxusb, QorUSB_Platform_Write_FIFO_Memory)(19, 0, frame, 16); }},
      {"extended read", [&] { return BIND(hxusb, QorUSB_Platform_Read_FIFO_Extended_Timeout)(19, 0, frame, 1, 2); }},
      {"extended speed read",
       [&] { return BIND(hxusb, QorUSB_Platform_Read_FIFO_Extended_Speed_Timeout)(19, 0, frame, 1, 2); }},
      {"connect", [&] { return BIND(uoe, QorUSB_Platform_ConnectToTarget)(7, 4000, &value); }},
      {"disconnect", [&] { return BIND(uoe, QorUSB_Platform_DisconnectFromTarget)(7); }},
      {"enumeration", [&] { return BIND(uoe, QorUSB_Platform_DeviceEnumerationStatus_Get_UoE)(&status, 1); }},
      {"UoE register read", [&] { return BIND(uoe, QorUSB_Platform_Xilinx_Read_UoE)(19, 0, 2, &value, 1); }},
      {"UoE register write", [&] { return BIND(uoe, QorUSB_Platform_Xilinx_Write_UoE)(19, 0, 2, 1, 1); }},
      {"UoE FPGA version", [&] { return BIND(uoe, QorUSB_Platform_Xilinx_Version_UoE)(19, 0, &value, 1); }},
      {"UoE FPGA download",
       [&] { return BIND(uoe, QorUSB_Platform_Xilinx_Download_UoE)(19, 0, "/tmp/x", &status, 1); }},
  };
  for (const auto& c : calls) {
    SCOPED_TRACE(c.name);
    size = sizeof frame;
    EXPECT_EQ(c.call(), QOR_USB_NO_DEVICE);
  }
  size = sizeof frame;
  EXPECT_EQ(BIND(hxusb, QorUSB_Platform_Read_FIFO_Timeout)(19, 0, frame, &size, 100), QOR_USB_NO_DEVICE);
  EXPECT_EQ(size, 0u);
  const struct {
    const char* name;
    std::function<uint32_t()> call;
  } missing[] = {
      {"read without size", [&] { return BIND(hxusb, QorUSB_Platform_Read_FIFO_Timeout)(19, 0, frame, nullptr, 1); }},
      {"read without buffer", [&] { return BIND(hxusb, QorUSB_Platform_94xx_ReadData)(19, 0, nullptr, &size, 1); }},
      {"version without room", [&] { return BIND(hxusb, QorUSB_Platform_Xilinx_Version)(19, 0, nullptr); }},
      {"download without status", [&] { return BIND(hxusb, QorUSB_Platform_Xilinx_Download)(19, 0, "/x", nullptr); }},
      {"connect without id", [&] { return BIND(uoe, QorUSB_Platform_ConnectToTarget)(7, 4000, nullptr); }},
  };
  for (const auto& c : missing) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.call(), QOR_USB_INVALID_PARAMETER);
  }
}

} // namespace
