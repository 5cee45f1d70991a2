// How signals are laid out into DAQ lists and ODTs within a slave's limits: one table of layouts, each with the lists
// and ODTs it gives or the text it fails with.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common_library.hpp"
#include "qor_api.h"
#include "xcp_daq_layout.hpp"

namespace qor::common::xcp {
namespace {

constexpr uint32_t kDaqNotPossible = 0x02010201;
constexpr uint8_t kWhole = QOR_COMMON_XCP_DAQ_WHOLE_ELEMENT;

Qor_Common_Xcp_Daq_Signal_t signal(uint8_t type, uint16_t eventChannel, uint8_t bitOffset = kWhole) {
  return Qor_Common_Xcp_Daq_Signal_t{0, bitOffset, type, 0, 0, eventChannel, 0, 0x4000, 0};
}

struct ListShape {
  uint16_t number;
  uint16_t eventChannel;
  std::vector<std::vector<uint8_t>> odts;  // entry sizes
};

struct Layout {
  const char* name;
  DaqLimits limits;
  std::vector<Qor_Common_Xcp_Daq_Signal_t> signals;
  std::vector<ListShape> lists;
  const char* failure = nullptr;
};

TEST(XcpDaqLayout, ListsAndOdtsWithinTheSlavesLimits) {
  const DaqLimits plain{.maxDto = 8, .minDaq = 0, .configurableLists = 4, .granularity = 1, .maxEntrySize = 4};
  DaqLimits words = plain;
  words.granularity = 2;
  DaqLimits offset = plain;
  offset.minDaq = 3;
  DaqLimits narrow = plain;
  narrow.maxEntrySize = 2;
  DaqLimits oneList = plain;
  oneList.configurableLists = 1;
  DaqLimits wideIdentifier = plain;
  wideIdentifier.identificationType = 3;  // 4 identifier bytes leave 4 of 8

  const std::vector<Layout> layouts = {
      {"ten bytes on one event give odts of 7 and 3", plain, std::vector(10, signal(0, 3)),
       {{0, 3, {std::vector<uint8_t>(7, 1), std::vector<uint8_t>(3, 1)}}}},
      {"lists in order of first appearance", offset, {signal(0, 5), signal(2, 2), signal(4, 5)},
       {{3, 5, {{1, 4}}}, {4, 2, {{2}}}}},
      {"entries take whole granules, bits one granule: odts never overfill", words,
       {signal(0, 1), signal(1, 1, 3), signal(0, 1), signal(2, 1)},
       {{0, 1, {{2, 2, 2}, {2}}}}},
      {"a four-byte word after five bytes opens a new odt", plain,
       {signal(0, 1), signal(2, 1), signal(2, 1), signal(4, 1)}, {{0, 1, {{1, 2, 2}, {4}}}}},
      {"seven bytes fill an odt", plain, {signal(0, 1), signal(2, 1), signal(4, 1)}, {{0, 1, {{1, 2, 4}}}}},
      {"the identifier field shrinks the odt", wideIdentifier, {signal(4, 1), signal(0, 1)}, {{0, 1, {{4}, {1}}}}},
      {"an element above the slave's entry size", narrow, {signal(0, 1), signal(4, 1)}, {},
       "signal size of signal with index 1 > maximum signal size allowed by slave (2 bytes)"},
      {"more event channels than lists", oneList, {signal(0, 1), signal(0, 2)}, {},
       "the slave has 1 configurable daq lists, signal with index 1 needs another"},
      {"no signals, no lists", plain, {}, {}},
  };
  const kit::Call call(kCommon, QOR_NO_PORT);
  for (const Layout& layout : layouts) {
    SCOPED_TRACE(layout.name);
    std::vector<DaqList> lists;
    const uint32_t code = layOut(call, layout.signals, layout.limits, lists);
    if (layout.failure != nullptr) {
      EXPECT_EQ(code, kDaqNotPossible);
      EXPECT_EQ(std::string(Qor_GetLastErrorDescription()),
                std::string("0x02010201 - COMMON - daq not initialized - ") + layout.failure);
      continue;
    }
    ASSERT_EQ(code, 0u);
    ASSERT_EQ(lists.size(), layout.lists.size());
    for (size_t index = 0; index < lists.size(); ++index) {
      EXPECT_EQ(lists[index].number, layout.lists[index].number);
      EXPECT_EQ(lists[index].eventChannel, layout.lists[index].eventChannel);
      std::vector<std::vector<uint8_t>> odts;
      for (const DaqOdt& odt : lists[index].odts) {
        std::vector<uint8_t> sizes;
        uint16_t used = 0;
        for (const DaqEntry& entry : odt.entries) {
          sizes.push_back(entry.size);
          used = static_cast<uint16_t>(used + entry.size);
        }
        EXPECT_EQ(odt.bytesUsed, used);
        EXPECT_LE(odt.bytesUsed, layout.limits.odtCapacity());
        odts.push_back(sizes);
      }
      EXPECT_EQ(odts, layout.lists[index].odts);
    }
  }
}

TEST(XcpDaqLayout, DtoIdentifiersOfEveryFieldType) {
  CommandInfo bigEndian;
  bigEndian.bigEndian = true;
  const DaqList list{0x0102, 7, 0x10, {}};
  struct Case {
    uint8_t type;
    std::vector<uint8_t> identifier;
  };
  const Case cases[] = {{0, {0x13}}, {1, {3, 0x02}}, {2, {3, 0x01, 0x02}}, {3, {3, 0, 0x01, 0x02}}};
  for (const Case& c : cases) {
    DaqLimits limits;
    limits.identificationType = c.type;
    EXPECT_EQ(identifierOf(limits, bigEndian, list, 3), c.identifier) << int{c.type};
    EXPECT_EQ(limits.identifierBytes(), c.identifier.size());
  }
}

}  // namespace
}  // namespace qor::common::xcp
