// The walk over FIFO frames whose lengths come from the device, and the XCP error texts: tables of cases.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qor_common_xcp.h"
#include "xcp_fifo_frames.hpp"

namespace qor::common::xcp {
namespace {

using Bytes = std::vector<uint8_t>;

struct Walk {
  const char* name;
  Bytes frames;
  std::vector<size_t> dataSizes;  // of the frames given before the walk ends
  bool broken;                    // the walk ends on a frame it refuses
};

const Walk kWalks[] = {
    {"nothing", {}, {}, false},
    {"plain", {6, 0, 0, 1, 0xAA, 0xBB}, {2}, false},
    {"plain without data", {4, 0, 0, 0}, {0}, false},
    {"time-stamped", {13, 0, 1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 0xCC}, {1}, false},
    {"two frames", {5, 0, 0, 0, 0x11, 4, 0, 0, 0}, {1, 0}, false},
    {"length 0 would never move", {0, 0, 0, 0, 0xAA}, {}, true},
    {"length shorter than the header", {3, 0, 0, 0, 0xAA}, {}, true},
    {"time-stamped shorter than its header", {8, 0, 1, 0, 1, 2, 3, 4}, {}, true},
    {"length past the answer", {100, 0, 0, 0, 1, 2, 3}, {}, true},
    {"good frame, then one past the answer", {5, 0, 0, 0, 0x11, 0xFF, 0xFF, 0, 0}, {1}, true},
    {"header cut short", {5, 0, 0, 0, 0x11, 4, 0}, {1}, true},
    {"unknown type with the plain header", {5, 0, 7, 0, 0x11}, {1}, false},
};

TEST(XcpFifoFrames, WalkStopsAtEveryImpossibleLength) {
  for (const Walk& walk : kWalks) {
    FifoFrameWalker walker(walk.frames);
    std::vector<size_t> sizes;
    bool broken = false;
    while (!walker.atEnd()) {
      const std::optional<FifoFrame> frame = walker.next();
      if (!frame) {
        broken = true;
        break;
      }
      sizes.push_back(frame->data.size());
    }
    EXPECT_EQ(sizes, walk.dataSizes) << walk.name;
    EXPECT_EQ(broken, walk.broken) << walk.name;
    EXPECT_TRUE(walker.atEnd()) << walk.name;
  }
}

TEST(XcpFifoFrames, FrameFieldsComeFromTheHeader) {
  const Bytes bytes = {14, 0, 1, 0x03, 0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01, 0xAB, 0xCD};
  FifoFrameWalker walker(bytes);
  const std::optional<FifoFrame> frame = walker.next();
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->type, kTimeStampedFrame);
  EXPECT_EQ(frame->flags, 0x03);
  EXPECT_EQ(frame->timeStamp, 0x0102030405060708u);
  EXPECT_EQ(Bytes(frame->data.begin(), frame->data.end()), (Bytes{0xAB, 0xCD}));
}

TEST(XcpErrorTexts, ByTheLowByteOfTheCode) {
  const std::pair<uint32_t, std::string> texts[] = {
      {0x00, "Command processor synchronization"},
      {0x10, "Command was not executed"},
      {0x11, "Command rejected because DAQ is running"},
      {0x12, "Command rejected because PGM is running"},
      {0x20, "Unknown command or not implemented optional command"},
      {0x21, "Command syntax invalid"},
      {0x22, "Command syntax valid but command parameter(s) out of range"},
      {0x23, "The memory location is write protected"},
      {0x24, "The memory location is not accessible"},
      {0x25, "Access denied, Seed & Key is required"},
      {0x26, "Selected page not available"},
      {0x27, "Selected page mode not available"},
      {0x28, "Selected segment not valid"},
      {0x29, "Sequence error"},
      {0x2A, "DAQ configuration not valid"},
      {0x30, "Memory overflow error"},
      {0x31, "Generic error"},
      {0x32, "The slave internal program verify routine detects an error"},
      {0x33, "Access to the requested resource is temporary not possible"},
      {0x12345629, "Sequence error"},
      {0x100, "Command processor synchronization"},
      {0x01, ""},
      {0x2B, ""},
      {0x34, ""},
      {0xFF, ""},
  };
  for (const auto& [code, text] : texts) EXPECT_EQ(Qor_Common_Xcp_GetErrorDescription(code), text) << code;
}

}  // namespace
}  // namespace qor::common::xcp
