#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <thread>

#include "qor_helpers.h"
#include "qor_shared/host_types.hpp"

namespace {

struct HostTypeRow {
  uint32_t type;
  const char* description;
  uint32_t folded;
  uint32_t communication;
  uint8_t controllers;
  const char* sizeGroup;
};

// Rows transcribed independently of the table, one or more per size group and per folding rule.
const HostTypeRow kHostTypeRows[] = {
    {0, "PCI7120", 0, 2, 4, "S1"},          {1, "PXI7120", 1, 1, 4, "S1"},
    {4, "PCI7140", 4, 2, 1, "S2"},          {12, "USB7140", 12, 3, 1, "S2"},
    {7, "PXI7150", 7, 1, 3, "S3"},          {10, "USB zenoCAN", 11, 3, 4, "S3"},
    {13, "USB zenoLIN", 14, 3, 3, "S3"},    {15, "USB zenoCRX", 16, 3, 1, "S3"},
    {18, "Ethernet", 18, 4, 1, "S4"},       {19, "DOZ8340", 19, 3, 1, "S5"},
    {21, "PXI7170", 21, 1, 2, "S6"},        {31, "zenoCAN94Plus", 23, 3, 1, "S4"},
    {33, "USB8200", 33, 3, 1, "S7"},        {34, "PXI9400", 22, 1, 1, "S4"},
    {41, "zenoMOST9430", 40, 3, 1, "S4"},   {44, "zenoCAN9420", 23, 3, 1, "S4"},
    {45, "zenoLIN9440", 25, 3, 1, "S4"},    {46, "zenoCRX9450", 30, 3, 1, "S4"},
    {47, "zenoFLEX9460", 27, 3, 1, "S4"},   {53, "Apix2Devkit Tx", 53, 6, 1, "S8"},
    {55, "zenoCON8350", 55, 3, 1, "S9"},    {76, "ETH8200", 76, 4, 1, "S6"},
    {78, "QorPCIE9510", 78, 7, 1, "S9"},    {86, "QorPXIE9520", 86, 8, 1, "S9"},
};

TEST(HostTypeTable, RowsMatchTheModels) {
  for (const HostTypeRow& row : kHostTypeRows) {
    SCOPED_TRACE(row.type);
    EXPECT_STREQ(Qor_Internal_GetHostInterfaceTypeDescription(row.type), row.description);
    EXPECT_EQ(Qor_Internal_GetInternalHostInterfaceType(row.type), row.folded);
    Qor_InterfaceInfo_t info{};
    info.hostInterfaceType = row.type;
    EXPECT_EQ(Qor_Internal_GetHostCommunicationType(&info), row.communication);
    uint8_t controllers = 99;
    EXPECT_EQ(Qor_Internal_GetMaxNumberOfControllers(row.type, &controllers), 0u);
    EXPECT_EQ(controllers, row.controllers);
    ASSERT_TRUE(qor::sizeGroupOf(row.type).has_value());
    EXPECT_STREQ(qor::sizeGroupOf(row.type)->name, row.sizeGroup);
    EXPECT_EQ(Qor_Internal_CheckHostInterfaceType(row.type), 0u);
  }
}

TEST(HostTypeTable, TypesBeyondTheTable) {
  for (uint32_t type : {87u, 88u, 1000u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(type);
    EXPECT_STREQ(Qor_Internal_GetHostInterfaceTypeDescription(type), "unknown device");
    EXPECT_EQ(Qor_Internal_GetInternalHostInterfaceType(type), type);
    EXPECT_EQ(Qor_Internal_CheckHostInterfaceType(type), 0x2000206u);
    uint8_t controllers = 99;
    Qor_Internal_GetMaxNumberOfControllers(type, &controllers);
    EXPECT_EQ(controllers, 0);
    Qor_InterfaceInfo_t info{};
    info.hostInterfaceType = type;
    EXPECT_EQ(Qor_Internal_GetHostCommunicationType(&info), 0u);
    EXPECT_FALSE(qor::sizeGroupOf(type).has_value());
  }
}

TEST(HostTypeTable, OnlyTheListedVariantsFold) {
  const std::pair<uint32_t, uint32_t> folds[] = {{10, 11}, {13, 14}, {15, 16}, {31, 23}, {44, 23}, {34, 22},
                                                 {41, 40}, {45, 25}, {46, 30}, {47, 27}};
  for (uint32_t type = 0; type < QOR_HOST_INTERFACE_TYPE_COUNT; ++type) {
    uint32_t expected = type;
    for (auto [from, to] : folds) {
      if (from == type) expected = to;
    }
    EXPECT_EQ(Qor_Internal_GetInternalHostInterfaceType(type), expected) << type;
  }
}

TEST(HostTypeTable, ControllerCountsFollowTheModelFamilies) {
  for (uint32_t type = 0; type < QOR_HOST_INTERFACE_TYPE_COUNT; ++type) {
    uint8_t expected = 1;
    if (type <= 3 || type == 10 || type == 11) expected = 4;
    if (type == 6 || type == 7 || type == 13 || type == 14) expected = 3;
    if (type == 20 || type == 21) expected = 2;
    uint8_t count = 0;
    Qor_Internal_GetMaxNumberOfControllers(type, &count);
    EXPECT_EQ(count, expected) << type;
  }
}

TEST(HostTypeTable, FirmwareDeviceCodes) {
  const std::pair<uint32_t, uint32_t> cases[] = {
      {5, 1},   {9, 14},  {29, 14}, {21, 3},  {44, 31}, {34, 34}, {60, 55}, {76, 76}, {83, 86}, {81, 84},
      {0, 87},  {1, 87},  {2, 87},  {30, 87}, {45, 87}, {59, 87}, {69, 87}, {70, 87}, {72, 87}, {84, 87},
      {85, 87}, {255, 87}, {0xFFFFFFFF, 87}};
  for (auto [code, type] : cases) {
    EXPECT_EQ(Qor_Internal_TranslateHostInterfaceType_Fw2Api(code), type) << code;
  }
}

// The models of each library column, transcribed as ranges independently of the table.
struct ModelSet {
  std::initializer_list<std::pair<uint32_t, uint32_t>> ranges;
  bool has(uint32_t type) const {
    for (auto [first, last] : ranges) {
      if (type >= first && type <= last) return true;
    }
    return false;
  }
};

TEST(HostTypeTable, LibraryColumnsFollowTheModelFamilies) {
  const ModelSet first22{{{22, 27}, {29, 32}, {34, 34}, {38, 38}, {40, 41}, {44, 51}, {74, 74}, {78, 86}}};
  const ModelSet first21{{{58, 63}, {75, 77}}};
  const ModelSet lvdsWithoutFirmware{{{19, 19}, {42, 43}, {53, 54}, {56, 57}}};
  const ModelSet ioWithoutFirmware{{{36, 37}, {64, 71}}};
  const ModelSet resistorsWithoutFirmware{{{33, 33}, {73, 73}}};
  const ModelSet usbWithSettings{{{23, 23}, {25, 25}, {27, 27}, {30, 31}, {40, 41}, {44, 47}, {55, 55}, {74, 74},
                                  {80, 80}, {83, 84}}};
  const ModelSet usbAsListed{{{10, 17}, {19, 19}, {28, 28}, {33, 33}, {36, 37}, {39, 39}, {42, 43}, {52, 52},
                              {69, 71}}};
  const ModelSet relayController1{{{6, 7}, {13, 14}, {36, 37}, {64, 71}}};
  const ModelSet relayInterface9{{{8, 9}, {15, 17}, {28, 28}, {52, 52}}};
  const ModelSet relayInterface21{{{22, 27}, {29, 32}, {34, 34}, {44, 51}, {59, 63}, {72, 72}, {75, 75}, {77, 77},
                                   {85, 86}}};
  const ModelSet mostFiltered{{{38, 38}, {40, 41}}};
  const ModelSet probesLvds{{{55, 55}, {78, 78}, {80, 81}}};
  const ModelSet addressed{{{18, 18}, {32, 32}, {58, 63}, {75, 77}}};
  for (uint32_t type = 0; type < QOR_HOST_INTERFACE_TYPE_COUNT; ++type) {
    SCOPED_TRACE(type);
    const qor::HostType* host = qor::findHostType(type);
    ASSERT_NE(host, nullptr);
    const qor::LibraryFacts& library = host->library;
    EXPECT_EQ(library.firstInterfaceNumber, first22.has(type) ? 22 : first21.has(type) ? 21 : type == 72 ? 20 : 1);
    const uint32_t withoutFirmware = lvdsWithoutFirmware.has(type)        ? QOR_INTERFACE_LVDS
                                     : ioWithoutFirmware.has(type)        ? QOR_INTERFACE_IO
                                     : resistorsWithoutFirmware.has(type) ? QOR_INTERFACE_RESISTORS
                                                                          : 0;
    EXPECT_EQ(library.interfaceTypeWithoutFirmware, withoutFirmware);
    EXPECT_EQ(library.usbListing, usbWithSettings.has(type) ? qor::UsbListing::WithNetworkSettings
                                  : usbAsListed.has(type)   ? qor::UsbListing::AsListed
                                                            : qor::UsbListing::Skipped);
    EXPECT_EQ(library.relay, relayController1.has(type)    ? qor::RelayAt::Controller1
                             : relayInterface9.has(type)   ? qor::RelayAt::Interface9
                             : relayInterface21.has(type)  ? qor::RelayAt::Interface21
                                                           : qor::RelayAt::Nowhere);
    EXPECT_EQ(library.mostMonitor, type == 12              ? qor::MostMonitor::FromDaemon
                                   : mostFiltered.has(type) ? qor::MostMonitor::Filtered
                                                            : qor::MostMonitor::Unsupported);
    EXPECT_EQ(library.probesLvdsParts, probesLvds.has(type));
    EXPECT_EQ(host->daemon.identity == qor::DeviceIdentity::Address, addressed.has(type));
  }
}

TEST(InterfaceTypes, FirmwareCodesAndChecks) {
  const std::pair<uint32_t, uint32_t> cases[] = {{1, 1},   {2, 4},   {3, 5},   {4, 6},   {12, 3},  {13, 9},
                                                 {15, 7},  {17, 2},  {18, 8},  {20, 12}, {21, 10}, {22, 11},
                                                 {23, 15}, {24, 14}, {25, 16}, {0, 0},   {5, 0},   {14, 0},
                                                 {16, 0},  {19, 0},  {26, 0},  {1000, 0}};
  for (auto [code, type] : cases) {
    EXPECT_EQ(Qor_Internal_TranslateInterfaceType_Fw2Api(code), type) << code;
  }
  EXPECT_EQ(Qor_Internal_CheckInterfaceType(0), 0x2000206u);
  EXPECT_EQ(Qor_Internal_CheckInterfaceType(1), 0u);
  EXPECT_EQ(Qor_Internal_CheckInterfaceType(16), 0u);
  EXPECT_EQ(Qor_Internal_CheckInterfaceType(17), 0x2000206u);
}

TEST(HostCommunicationType, DescriptorFlagsOverrideTheTable) {
  Qor_InterfaceInfo_t info{};
  info.hostInterfaceType = 22; // PXI in the table
  info.flags = QOR_INTERFACE_FLAG_ETHERNET;
  EXPECT_EQ(Qor_Internal_GetHostCommunicationType(&info), 4u);
  info.flags = QOR_INTERFACE_FLAG_ETHERNET | QOR_INTERFACE_FLAG_USB_OVER_ETHERNET;
  EXPECT_EQ(Qor_Internal_GetHostCommunicationType(&info), 5u);
  info.flags = QOR_INTERFACE_FLAG_USB_OVER_ETHERNET; // without the Ethernet bit the table decides
  EXPECT_EQ(Qor_Internal_GetHostCommunicationType(&info), 1u);
}

struct FractionCase {
  double value;
  uint32_t numerator;
  uint32_t denominator;
};

TEST(Decimal2Fraction, Approximations) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const FractionCase cases[] = {
      {0.5, 1, 2},     {3.0, 3, 1},     {0.000001, 0, 1}, {5e9, 0, 1},      {0.25, 1, 4},
      {2.5, 5, 2},     {1.0 / 3, 1, 3}, {0.1, 1, 10},     {3.14159265358979, 355, 113},
      {0.0, 0, 1},     {nan, 0, 1},     {inf, 0, 1},      {-inf, 0, 1},     {-0.5, 0xFFFFFFFFu, 2},
      {-1e300, 0, 1},  {4294967295.0, 4294967295u, 1},
  };
  for (const FractionCase& c : cases) {
    uint32_t numerator = 7, denominator = 7;
    Qor_Internal_Math_Float64_Decimal2Fraction(&numerator, &denominator, c.value);
    EXPECT_EQ(numerator, c.numerator) << c.value;
    EXPECT_EQ(denominator, c.denominator) << c.value;
  }
}

TEST(TimeHelpers, NanosecondsToTimespec) {
  const struct {
    int64_t ns;
    time_t seconds;
    long nanoseconds;
  } cases[] = {{0, 0, 0}, {-1, -1, 999999999}, {1500000000, 1, 500000000}, {-1500000000, -2, 500000000},
               {999999999, 0, 999999999}};
  for (const auto& c : cases) {
    timespec t = ns_to_timespec(c.ns);
    EXPECT_EQ(t.tv_sec, c.seconds) << c.ns;
    EXPECT_EQ(t.tv_nsec, c.nanoseconds) << c.ns;
  }
}

TEST(TimeHelpers, TickCountIsMonotonicMilliseconds) {
  double before = GetTickCount();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  double elapsed = GetTickCount() - before;
  EXPECT_GE(elapsed, 19.0);
  EXPECT_LT(elapsed, 1000.0);
}

TEST(TextHelpers, ItoaAndFileSize) {
  char text[21];
  EXPECT_STREQ(itoa(-9223372036854775807LL - 1, text), "-9223372036854775808");
  EXPECT_STREQ(itoa(42, text), "42");
  uint32_t size = 0;
  EXPECT_EQ(Qor_Internal_GetFileSize("/nonexistent/file", &size), 0x2000108u);
  EXPECT_EQ(Qor_Internal_GetFileSize("/proc/self/exe", &size), 0u);
  EXPECT_GT(size, 0u);
  EXPECT_STREQ(Qor_Internal_GetWindowsErrorDescription(ENOENT), strerror(ENOENT));
}

TEST(Events, SetWakesAWaiterOnAnotherThread) {
  pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
  pthread_cond_t condition = PTHREAD_COND_INITIALIZER;
  InternalEvent event{&condition, &mutex, 0};
  std::thread setter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    Qor_Internal_SetEvent(&event);
  });
  pthread_mutex_lock(&mutex);
  while (!event.signalled) pthread_cond_wait(&condition, &mutex);
  pthread_mutex_unlock(&mutex);
  setter.join();
  Qor_Internal_ResetEvent(&event);
  EXPECT_EQ(event.signalled, 0u);

  ExternalEvent user{};
  pthread_mutex_init(&user.mutex, nullptr);
  pthread_cond_init(&user.condition, nullptr);
  Qor_External_SetEvent(&user);
  EXPECT_EQ(user.signalled, 1u);
  pthread_cond_destroy(&user.condition);
  pthread_mutex_destroy(&user.mutex);
}

TEST(CriticalSection, IsRecursiveAndInertWhenNotInitialised) {
  Qor_CriticalSection_t section{};
  Qor_EnterCriticalSection(&section); // not initialised: nothing happens
  Qor_LeaveCriticalSection(&section);
  Qor_InitializeCriticalSection(&section);
  EXPECT_EQ(section.flags & 1u, 1u);
  Qor_EnterCriticalSection(&section);
  Qor_EnterCriticalSection(&section);
  bool otherThreadGotIt = true;
  std::thread other([&] { otherThreadGotIt = pthread_mutex_trylock(&section.mutex) == 0; });
  other.join();
  EXPECT_FALSE(otherThreadGotIt);
  Qor_LeaveCriticalSection(&section);
  Qor_LeaveCriticalSection(&section);
  Qor_DeleteCriticalSection(&section);
  EXPECT_EQ(section.flags & 1u, 0u);
}

TEST(Threads, StartRunsTheRoutine) {
  static std::atomic<int> ran{0};
  static int kFive = 5;
  pthread_t thread = Qor_Internal_Thread_Start(
      [](void* argument) -> void* {
        ran = *static_cast<int*>(argument);
        return nullptr;
      },
      "test", &kFive);
  ASSERT_NE(thread, 0u);
  pthread_join(thread, nullptr);
  EXPECT_EQ(ran, 5);
}

} // namespace
