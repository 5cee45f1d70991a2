// A user event whose record cannot be allocated: the library's "not enough memory", and the core is not asked to
// initialise a record that is not there. The allocation is made to fail by replacing the allocator of this process.
#include <gtest/gtest.h>

#include <atomic>
#include <new>

#include "qor_api.h"
#include "qor_common_events.h"

namespace {

std::atomic<bool> failAllocations{false};

}  // namespace

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (failAllocations) return nullptr;
  try {
    return ::operator new(size);
  } catch (...) {
    return nullptr;
  }
}

namespace {

constexpr uint32_t kNotEnoughMemory = 0x02010106;
constexpr uint32_t kUnopenedPort = 7;

TEST(UserEventAllocation, FailureIsTheLibrarysOwnWithoutCallingTheCore) {
  void* event = &failAllocations;  // any pointer: it must stay as it is
  failAllocations = true;
  // On a port that is not open the core would answer "invalid port handle": its code here means it was called.
  const uint32_t result = Qor_Common_Events_AllocateEvent(kUnopenedPort, &event);
  failAllocations = false;
  EXPECT_EQ(result, kNotEnoughMemory);
  EXPECT_EQ(event, &failAllocations);
  EXPECT_EQ(Qor_Common_Events_AllocateEvent(kUnopenedPort, &event), QOR_ERR_API_INVALID_PORT_HANDLE);
  EXPECT_EQ(event, &failAllocations);
}

}  // namespace
