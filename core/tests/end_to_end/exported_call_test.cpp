// No exception leaves an exported function: an allocation that fails inside one gives the out-of-memory code, for
// the port and the process, and leaves no lock of the port held.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <future>
#include <new>
#include <string>

#include "qor_test/interface_fixture.hpp"

namespace {

// Allocations of the current thread fail while this is set; the emulator's and the test's other threads go on.
thread_local bool tFailAllocations = false;

class FailingAllocations {
 public:
  FailingAllocations() { tFailAllocations = true; }
  ~FailingAllocations() { tFailAllocations = false; }
};

} // namespace

// Out of line, so that the compiler pairs no inlined free() with the allocation it saw as operator new.
__attribute__((noinline)) void* operator new(std::size_t size) {
  if (tFailAllocations) throw std::bad_alloc();
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}
__attribute__((noinline)) void operator delete(void* memory) noexcept { std::free(memory); }
__attribute__((noinline)) void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }

namespace qor::test {
namespace {

constexpr uint32_t kNotEnoughMemory = 0x2000007;
constexpr char kNotEnoughMemoryText[] = "0x02000007 - API - not enough memory";

void noUpdate(uint32_t, void*, const uint8_t*, uint32_t) {}

using ExportedCalls = InterfaceFixture;

TEST_F(ExportedCalls, AFailedAllocationGivesTheOutOfMemoryCodeAndLeavesThePortUsable) {
  const uint32_t port = open();
  const uint8_t signal[64] = {1, 2, 3};
  struct Case {
    const char* name;
    std::function<uint32_t()> call;
  } cases[] = {
      {"rest-bus update callback", [&] { return Qor_Cyclor_UpdateCallback_Set(port, noUpdate); }},
      // Builds its message under the port's queue section.
      {"rest-bus signal write", [&] { return Qor_Cyclor_WriteSignal(port, signal, sizeof signal); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Qor_ErrorHandler(QOR_NO_PORT, 0, "%s", "");
    uint32_t result = 0;
    {
      FailingAllocations failing;
      result = c.call();
    }
    EXPECT_EQ(result, kNotEnoughMemory);
    EXPECT_STREQ(Qor_GetLastErrorDescription(), kNotEnoughMemoryText);
    uint32_t code = 0;
    char text[128];
    uint32_t size = sizeof text;
    ASSERT_EQ(Qor_GetLastErrorByPortHandle(port, &code, &size, text), 0u);
    EXPECT_EQ(code, kNotEnoughMemory);
    EXPECT_STREQ(text, kNotEnoughMemoryText);
    // Another thread gets through: the failed call left no section of the port held.
    auto again = std::async(std::launch::async, c.call);
    ASSERT_EQ(again.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(again.get(), 0u) << Qor_GetLastErrorDescription();
  }
  EXPECT_EQ(Qor_CloseInterface(port), 0u);
}

TEST_F(ExportedCalls, AFailedAllocationWithoutAPortIsRecordedForTheProcess) {
  char text[64];
  uint32_t length = sizeof text;
  uint32_t result = 0;
  {
    FailingAllocations failing;
    result = Qor_Interface_BuildInterfaceId(12345, QOR_COMMUNICATION_ETHERNET, QOR_INTERFACE_CAN, 1, 2, &length, text);
  }
  EXPECT_EQ(result, kNotEnoughMemory);
  EXPECT_STREQ(Qor_GetLastErrorDescription(), kNotEnoughMemoryText);
  ASSERT_EQ(Qor_Interface_BuildInterfaceId(12345, QOR_COMMUNICATION_ETHERNET, QOR_INTERFACE_CAN, 1, 2, &length, text), 0u);
  EXPECT_STREQ(text, "12345_Ethernet_1_2_CAN");
}

} // namespace
} // namespace qor::test
