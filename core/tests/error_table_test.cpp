#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "qor_error_codes.h"
#include "qor_helpers.h"

namespace {

std::string describe(uint32_t code) {
  return Qor_Error_GetErrorDescription(code);
}

std::string hex(uint32_t code) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", code);
  return text;
}

struct Case {
  uint32_t code;
  const char* text;
};

// At least one listed code of every group, misspellings and all.
constexpr Case kListedCodes[] = {
    {0x01000033, "SERVER - monitor thread could not be stoppedwithin time limit"},
    {0x01000034, "SERVER - one ore more threads did not stop within time limit"},
    {0x01000042, "SERVER - wrong file version"},
    {0x0101000C, "PXI7120/PCI7120 - driver version too old"},
    {0x0102000A, "PXI7130/PCI7130 - xilinx download failed"},
    {0x0103000B, "PXI7140/PCI7140 - initialization failed"},
    {0x01040001, "PXI7150/PCI7150 - write instructionfailed"},
    {0x0105000A, "PXI7160/PCI7160 - too old dll"},
    {0x01060009, "PXI7170/PCI7170 - read monitor failed"},
    {0x0107000B, "PXI94XX/PCI94XX - unknown interrupt source"},
    {0x01080006, "PXI7155/PCI7155 - getting driver info failed"},
    {0x01090005, "APIX - port already in use"},
    {0x010A0001, "PXI TENTA - fpga read failed"},
    {0x010B0007, "PXI 8200 - Xilinx download failed"},
    {0x010C000C, "QORPXI95XX/QORPCI95XX - unknown command"},
    {0x01100011, "QorUSB_PLATFORM - no usb device type"},
    {0x01100015, "QorUSB_PLATFORM - connection error"},
    {0x01200006, "ETHERNET - feature not available"},
    {0x01300003, "Vexlink - write register failed"},
    {0x02000205, "API - no response from device"},
    {0x0200010C, "API - not initialized"},
    {0x02000402, "API - callback function allready existing"},
    {0x0201000B, "COMMON - invalid firmware version"},
    {0x02010200, "COMMON - data aquisition currently running"},
    {0x0202020C, "CAN - no baudrate found"},
    {0x02020401, "CAN - TP - unknown addressing format"},
    {0x02020600, "CAN - monitor not started"},
    {0x02030103, "DIAG - asynchronous communication not enabled"},
    {0x02040501, "MOST - monitor not initialized"},
    {0x0205000E, "LIN - operation not allowed"},
    {0x02060015, "LVDS - chip internal bus error"},
    {0x02070201, "FLEXRAY - xml loader - unknown error"},
    {0x02070301, "FLEXRAY - monitor - not initialized"},
    {0x0208000B, "IO - timeout"},
    {0x02090006, "SEQUENCE - not supported by device type"},
    {0x020A000E, "CYCLOR - no data available"},
    {0x020B0006, "XML - node error"},
    {0x020C000A, "FS - error writing file"},
    {0x020E0007, "User Code - response buffer too small"},
    {0x020F0011, "K-Line - monitor already configurated"},
    {0x02100004, "Resistors - invalid parameter"},
    {0x02110302, "Flasher - Device Driver - function error"},
    {0x02120007, "Tp - invlalid firmware response parameter"},
    {0x02130008, "Ethernet - RX FIFO Error"},
    {0x0214000C, "Trace - not enough memory"},
    {0x02150003, "CAN STM - invalid parameter"},
    // Texts that name their group themselves still get the group word in front.
    {0x01010009, "PXI7120/PCI7120 - PXI7120/PCI7120 - DLL version is too old"},
    {0x010B0003, "PXI 8200 - PXI8200 - load DLL failed"},
};

TEST(error_table, ListedCodeGivesGroupWordAndText) {
  for (const Case& c : kListedCodes) EXPECT_EQ(describe(c.code), c.text) << hex(c.code);
}

// The code names that callers use must stand for the texts they are named after.
constexpr Case kNamedCodes[] = {
    {QOR_ERR_SERVER_UNKNOWN_DEVICE_TYPE, "SERVER - unknown device type"},
    {QOR_ERR_SERVER_UNKNOWN_COMMAND, "SERVER - unknown command"},
    {QOR_ERR_SERVER_NOT_ENOUGH_MEMORY, "SERVER - not enough memory"},
    {QOR_ERR_SERVER_INIT_FAILED, "SERVER - initialisation failed"},
    {QOR_ERR_SERVER_TOO_MANY_DEVICES, "SERVER - too many devices to map"},
    {QOR_ERR_SERVER_NO_FREE_APPLICATION, "SERVER - no free application handle"},
    {QOR_ERR_SERVER_MONITOR_NOT_STARTED, "SERVER - monitor not started"},
    {QOR_ERR_SERVER_NO_LOCK, "SERVER - no lock"},
    {QOR_ERR_SERVER_RESPONSE_BUFFER_TOO_SMALL, "SERVER - response buffer too small"},
    {QOR_ERR_SERVER_DEVICE_NOT_CONNECTED, "SERVER - device not connected"},
    {QOR_ERR_SERVER_FUNCTION_NOT_AVAILABLE, "SERVER - function not available"},
    {QOR_ERR_SERVER_INTERNAL, "SERVER - internal error"},
    {QOR_ERR_SERVER_INVALID_PARAMETER, "SERVER - invalid parameter"},
    {QOR_ERR_SERVER_CREATE_PIPE, "SERVER - create pipe failed"},
    {QOR_ERR_SERVER_READ_PIPE, "SERVER - read pipe failed"},
    {QOR_ERR_SERVER_WRITE_PIPE, "SERVER - write pipe failed"},
    {QOR_ERR_SERVER_HARDWARE_THREAD_NOT_STARTED, "SERVER - hardware thread not started"},
    {QOR_ERR_SERVER_REQUEST_THREAD_NOT_STARTED, "SERVER - request thread not started"},
    {QOR_ERR_SERVER_MONITOR_THREAD_RUNNING, "SERVER - monitor thread already started"},
    {QOR_ERR_SERVER_MONITOR_THREAD_NOT_STOPPED,
     "SERVER - monitor thread could not be stoppedwithin time limit"},
    {QOR_ERR_SERVER_THREADS_NOT_STOPPED, "SERVER - one ore more threads did not stop within time limit"},
    {QOR_ERR_SERVER_THREAD_NOT_STARTED, "SERVER - thread could not be started"},
    {QOR_ERR_API_UNKNOWN_DEVICE_TYPE, "API - unknown device type"},
    {QOR_ERR_API_TOO_MANY_DEVICES, "API - too many devices to map"},
    {QOR_ERR_API_INVALID_CONTROLLER, "API - invalid controller number"},
    {QOR_ERR_API_NOT_ENOUGH_MEMORY, "API - not enough memory"},
    {QOR_ERR_API_INVALID_PORT_HANDLE, "API - invalid port handle"},
    {QOR_ERR_API_INVALID_DEVICE_TYPE, "API - invalid device type"},
    {QOR_ERR_API_COULD_NOT_CONNECT, "API - could not connect to server"},
    {QOR_ERR_API_CREATE_EVENT, "API - create event failed"},
    {QOR_ERR_API_WRITE_PIPE, "API - write pipe failed"},
    {QOR_ERR_API_FILE_NOT_FOUND, "API - file not found"},
    {QOR_ERR_API_THREAD_NOT_STARTED, "API - thread not started"},
    {QOR_ERR_API_RESPONSE_BUFFER_TOO_SMALL, "API - response buffer too small"},
    {QOR_ERR_API_INVALID_COMMAND_LENGTH, "API - invalid command length"},
    {QOR_ERR_API_UNEXPECTED_COMMAND, "API - unexpected command code"},
    {QOR_ERR_API_NO_RESPONSE, "API - no response from device"},
    {QOR_ERR_API_INVALID_PARAMETER, "API - invalid parameter"},
    {QOR_ERR_API_UNKNOWN_FLAG, "API - unknown flag"},
    {QOR_ERR_API_FUNCTION_NOT_AVAILABLE, "API - function not available"},
    {QOR_ERR_API_ASYNC_NOT_ENABLED, "API - asynchronous communication not enabled"},
};

TEST(error_table, CodeNamesMatchTheirTexts) {
  for (const Case& c : kNamedCodes) EXPECT_EQ(describe(c.code), c.text) << hex(c.code);
}

// The bus library modules share their first ten numbers.
TEST(error_table, BusLibrariesShareTheFirstNumbers) {
  constexpr Case kBusModules[] = {{0x0201, "COMMON"}, {0x0202, "CAN"}, {0x0203, "DIAG"},
                                  {0x0204, "MOST"}, {0x0205, "LIN"}, {0x0207, "FLEXRAY"}};
  constexpr const char* kShared[] = {
      "wrong interface type", "invalid data length", "invalid response length", "unknown flag",
      "unknown mode", "response buffer undersized", "invalid parameter", "user timeout",
      "invalid response parameter", "no lock"};
  for (const Case& bus : kBusModules) {
    for (uint32_t number = 1; number <= 0xA; ++number) {
      const uint32_t code = bus.code << 16 | number;
      EXPECT_EQ(describe(code), std::string(bus.text) + " - " + kShared[number - 1]) << hex(code);
    }
  }
}

constexpr Case kRuleCases[] = {
    {0x00000000, ""},
    {0x00000001, "FW"},
    {0x00123456, "FW"},
    {0x00FFFFFF, "FW"},
    {0x03000000, "unknown error"},
    {0x03000205, "unknown error"},
    {0x10020001, "unknown error"},
    {0xFF000001, "unknown error"},
    {0xFFFFFFFF, "unknown error"},
    // numbers that a listed module does not list
    {0x01000010, "SERVER - unknown error"},
    {0x0101000D, "PXI7120/PCI7120 - unknown error"},
    {0x01060000, "PXI71707PCI7170 - unknown error"},
    {0x0106000B, "PXI71707PCI7170 - unknown error"},
    {0x01300004, "PXI95XX/PCI95XX - unknown error"},
    {0x0130FFFF, "PXI95XX/PCI95XX - unknown error"},
    {0x02000000, "API - unknown error"},
    {0x0200000E, "API - unknown error"},
    {0x02020010, "CAN - unknown error"},
    {0x0202FFFF, "CAN - unknown error"},
    {0x02150004, "CAN STM - unknown error"},
    // modules that a class does not list
    {0x010D0001, "SERVER - unknown error"},
    {0x01110001, "SERVER - unknown error"},
    {0x01FF0002, "SERVER - unknown error"},
    {0x020D0001, "DLL - unknown error"},
    {0x02160001, "DLL - unknown error"},
    {0x02FFFFFF, "DLL - unknown error"},
};

TEST(error_table, UnlistedAndSpecialCodes) {
  for (const Case& c : kRuleCases) EXPECT_EQ(describe(c.code), c.text) << hex(c.code);
}

struct Group {
  uint32_t key; // class << 8 | module
  const char* word;
  const char* unknownText;
  int listed; // how many numbers the module lists
};

constexpr Group kGroups[] = {
    {0x0100, "SERVER", "SERVER - unknown error", 26},
    {0x0101, "PXI7120/PCI7120", "PXI7120/PCI7120 - unknown error", 12},
    {0x0102, "PXI7130/PCI7130", "PXI7130/PCI7130 - unknown error", 12},
    {0x0103, "PXI7140/PCI7140", "PXI7140/PCI7140 - unknown error", 11},
    {0x0104, "PXI7150/PCI7150", "PXI7150/PCI7150 - unknown error", 11},
    {0x0105, "PXI7160/PCI7160", "PXI7160/PCI7160 - unknown error", 11},
    {0x0106, "PXI7170/PCI7170", "PXI71707PCI7170 - unknown error", 10},
    {0x0107, "PXI94XX/PCI94XX", "PXI94XX/PCI94XX - unknown error", 13},
    {0x0108, "PXI7155/PCI7155", "PXI7155/PCI7155 - unknown error", 10},
    {0x0109, "APIX", "APIX - unknown error", 5},
    {0x010A, "PXI TENTA", "PXI TENTA - unknown error", 7},
    {0x010B, "PXI 8200", "PXI 8200 - unknown error", 7},
    {0x010C, "QORPXI95XX/QORPCI95XX", "QORPXI95XX/QORPCI95XX - unknown error", 12},
    {0x0110, "QorUSB_PLATFORM", "QorUSB_PLATFORM - unknown error", 21},
    {0x0120, "ETHERNET", "ETHERNET - unknown error", 6},
    {0x0130, "Vexlink", "PXI95XX/PCI95XX - unknown error", 3},
    {0x0200, "API", "API - unknown error", 45},
    {0x0201, "COMMON", "COMMON - unknown error", 23},
    {0x0202, "CAN", "CAN - unknown error", 36},
    {0x0203, "DIAG", "DIAG - unknown error", 13},
    {0x0204, "MOST", "MOST - unknown error", 20},
    {0x0205, "LIN", "LIN - unknown error", 17},
    {0x0206, "LVDS", "LVDS - unknown error", 21},
    {0x0207, "FLEXRAY", "FLEXRAY - unknown error", 30},
    {0x0208, "IO", "IO - unknown error", 11},
    {0x0209, "SEQUENCE", "SEQUENCE - unknown error", 6},
    {0x020A, "CYCLOR", "CYCLOR - unknown error", 14},
    {0x020B, "XML", "XML - unknown error", 6},
    {0x020C, "FS", "FS - unknown error", 10},
    {0x020E, "User Code", "User Code - unknown error", 7},
    {0x020F, "K-Line", "K-Line - unknown error", 9},
    {0x0210, "Resistors", "Resistors - unknown error", 4},
    {0x0211, "Flasher", "Flasher - unknown error", 15},
    {0x0212, "Tp", "Tp - unknown error", 9},
    {0x0213, "Ethernet", "Ethernet - unknown error", 10},
    {0x0214, "Trace", "Trace - unknown error", 12},
    {0x0215, "CAN STM", "CAN STM - unknown error", 3},
};

// Walks every number of every listed module: each answer is the module's unknown text or a listed text that
// begins with the group word and " - ", and the listed ones are as many as the module has.
TEST(error_table, EveryNumberOfAListedModuleIsGroupedAndCounted) {
  for (const Group& group : kGroups) {
    const std::string prefix = std::string(group.word) + " - ";
    int listed = 0;
    for (uint32_t number = 0; number <= 0xFFFF; ++number) {
      const uint32_t code = group.key << 16 | number;
      const std::string text = describe(code);
      if (text == group.unknownText) continue;
      ++listed;
      EXPECT_EQ(text.compare(0, prefix.size(), prefix), 0) << hex(code) << ": " << text;
      EXPECT_GT(text.size(), prefix.size()) << hex(code);
    }
    EXPECT_EQ(listed, group.listed) << group.word;
  }
}

// Every module that a class leaves out answers with the class's fallback, whatever the number.
TEST(error_table, EveryUnlistedModuleGivesItsClassFallback) {
  for (uint32_t key = 0x0100; key <= 0x02FF; ++key) {
    bool isListed = false;
    for (const Group& group : kGroups) isListed = isListed || group.key == key;
    if (isListed) continue;
    const char* fallback = key < 0x0200 ? "SERVER - unknown error" : "DLL - unknown error";
    for (uint32_t number : {0x0000u, 0x0001u, 0x0205u, 0xFFFFu}) {
      const uint32_t code = key << 16 | number;
      EXPECT_EQ(describe(code), fallback) << hex(code);
    }
  }
}

} // namespace
