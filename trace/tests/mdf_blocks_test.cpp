// The MDF block model, structure blocks and data lists: placement and in-place rewrites, the identification block,
// the layouts of the structure blocks, and data lists of compressed blocks, checked in the bytes they leave and by
// the independent checker.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "data_blocks.hpp"
#include "mdf_files.hpp"
#include "structure_blocks.hpp"
#include "text_blocks.hpp"

namespace MDF {
namespace {

using test::at;
using test::fileBytes;
using test::textAt;

class MdfBlocks : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories("/tmp/mdf");
    ASSERT_TRUE(stream.Open(path));
  }
  std::vector<uint8_t> closeAndRead() {
    stream.close();
    return fileBytes(path);
  }
  // Places the tree behind the identification block and writes every block that asks for it, in file order.
  void writeTree(Block& root) {
    id.Write(stream);
    int64_t position = std::max<int64_t>(IDBLOCK::kLength, stream.EndOfFile());
    std::vector<Block*> toWrite;
    root.Block_PlaceAndList(false, &position, &toWrite);
    std::sort(toWrite.begin(), toWrite.end(),
              [](const Block* a, const Block* b) { return a->Block_FilePos() < b->Block_FilePos(); });
    for (Block* block : toWrite) block->Write(stream);
  }

  const std::string path = "/tmp/mdf/blocks.mf4";
  FileStream stream;
  IDBLOCK id;
};

TEST_F(MdfBlocks, APlacementWalkLaysBlocksOutDepthFirstInLinkOrderOnEightByteBoundaries) {
  HDBLOCK header(5);
  auto* group = header.Adopt<DGBLOCK>(false);
  auto* channels = header.Adopt<CGBLOCK>("CAN1", 0, 6, 0);
  auto* time = header.Adopt<CNBLOCK>("t", 2, 1, 0, 0, 64);
  header.Link_DGBLOCK(group);
  group->Link_CGBLOCK(channels);
  channels->Link_CNBLOCK(time);

  int64_t position = 65;
  std::vector<Block*> toWrite;
  header.Block_PlaceAndList(false, &position, &toWrite);
  // HD 104 bytes, DG 64, CG 104, CN 160, the CN's name "t" 32, then the CG's name "CAN1" 32.
  EXPECT_EQ(header.Block_FilePos(), 72);
  EXPECT_EQ(group->Block_FilePos(), 176);
  EXPECT_EQ(channels->Block_FilePos(), 240);
  EXPECT_EQ(time->Block_FilePos(), 344);
  EXPECT_EQ(time->Links_Get(2)->Block_FilePos(), 504);
  EXPECT_EQ(channels->Links_Get(2)->Block_FilePos(), 536);
  EXPECT_EQ(position, 568);
  EXPECT_EQ(toWrite.size(), 6u);

  // Placed blocks keep their place; only blocks that ask for it are listed again.
  for (Block* block : toWrite) block->Write(stream);
  toWrite.clear();
  header.Block_PlaceAndList(false, &position, &toWrite);
  EXPECT_TRUE(toWrite.empty());
  EXPECT_EQ(position, 568);
}

TEST_F(MdfBlocks, ABlockBeyondTheEndIsPrecededByZeros) {
  TXBLOCK text("abc");
  text.Block_FilePos_Set(200);
  text.Write(stream);
  const auto bytes = closeAndRead();
  ASSERT_EQ(bytes.size(), 232u);
  EXPECT_EQ(std::count(bytes.begin(), bytes.begin() + 200, 0), 200);
  EXPECT_EQ(textAt(bytes, 200, 4), "##TX");
  EXPECT_EQ(at<uint64_t>(bytes, 208), 32u);
  EXPECT_EQ(textAt(bytes, 224, 4), std::string("abc\0", 4));
}

TEST_F(MdfBlocks, AWrittenBlockIsPatchedInPlaceAndAnUnplacedOneWritesNothing) {
  CNBLOCK channel("", 0, 0, 0, 64, 8);
  EXPECT_EQ(channel.Write(stream), 0) << "no place, nothing written (least of all over the identification block)";
  EXPECT_EQ(stream.EndOfFile(), 0);

  TXBLOCK name("speed");
  channel.Block_FilePos_Set(64);
  name.Block_FilePos_Set(224);
  channel.Write(stream);
  name.Write(stream);
  const int64_t length = stream.EndOfFile();
  EXPECT_FALSE(channel.WriteRequest());

  channel.Links_Set(2, &name);
  EXPECT_TRUE(channel.WriteRequest());
  channel.Write(stream);
  EXPECT_EQ(stream.EndOfFile(), length);
  const auto bytes = closeAndRead();
  EXPECT_EQ(at<uint64_t>(bytes, 64 + 24 + 2 * 8), 224u);
  EXPECT_EQ(at<uint32_t>(bytes, 64 + 88 + 8), 8u) << "the data section stayed as written";
}

TEST_F(MdfBlocks, SettingALinkBeyondTheListGrowsItWithNullLinks) {
  SIBLOCK source("", 1, 2, 2, 0);
  TXBLOCK sourcePath("p");
  EXPECT_EQ(source.Links_Count(), 3u);
  source.Links_Set(7, &sourcePath);
  EXPECT_EQ(source.Links_Count(), 8u);
  for (uint32_t index : {1u, 3u, 4u, 5u, 6u}) EXPECT_EQ(source.Links_Get(index), nullptr);
  EXPECT_EQ(source.Links_Get(7), &sourcePath);
  EXPECT_EQ(source.Block_Length(), 24u + 8 * 8 + 8);
}

TEST_F(MdfBlocks, APlacementWalkDoesNotDescendBelowADataList) {
  DGBLOCK group(false);
  DLBLOCK list(&group, 4, false, stream);
  int64_t position = 64;
  std::vector<Block*> toWrite;
  list.Block_PlaceAndList(true, &position, &toWrite);
  ASSERT_EQ(toWrite.size(), 1u);
  EXPECT_EQ(toWrite[0], &list);
  EXPECT_EQ(list.Links_Get(1)->Block_FilePos(), 0) << "the data block is placed by its list";
}

TEST_F(MdfBlocks, TheIdentificationBlockIsFinalizedOnlyWithoutFlagsAndOnASoundFile) {
  id.UnfinFlags(1);
  EXPECT_TRUE(id.Finalize(stream));
  stream.flush();
  auto bytes = fileBytes(path);
  ASSERT_EQ(bytes.size(), 64u);
  EXPECT_EQ(textAt(bytes, 0, 24), std::string("UnFinMF 4.10    Qor_API\0", 24));
  EXPECT_EQ(at<uint16_t>(bytes, 28), 410u);
  EXPECT_EQ(at<uint16_t>(bytes, 60), 1u);

  id.Block_Reset();
  EXPECT_TRUE(id.Finalize(stream));
  stream.flush();
  bytes = fileBytes(path);
  EXPECT_EQ(textAt(bytes, 0, 8), "MDF     ");
  EXPECT_EQ(at<uint16_t>(bytes, 60), 0u);

  FileStream failed;
  ASSERT_TRUE(failed.Open("/tmp/mdf/failed.mf4"));
  failed.setstate(std::ios::badbit);
  IDBLOCK other;
  EXPECT_FALSE(other.Finalize(failed)) << "a stream that failed is never marked finalized";
}

TEST_F(MdfBlocks, StructureBlocksHoldTheirFieldsWhereTheFormatPutsThem) {
  CNBLOCK channel("", 0, 0, 0, 95, 1);
  CCBLOCK table(CCBLOCK::kValueToText, 0, "");
  table.ValueTexts_Set({{0, "Rx"}, {1, "Tx"}}, "");
  channel.Links_Set(CNBLOCK::kLinkConversion, &table);
  EXPECT_EQ(table.Links_Count(), 4u + 3u);
  EXPECT_EQ(table.Block_Length(), 24u + 7 * 8 + 40);
  EXPECT_EQ(channel.Links_Get(2), nullptr) << "an empty name makes no text block";
  writeTree(channel);
  const auto bytes = closeAndRead();
  const size_t data = 64 + 24 + 8 * 8;
  EXPECT_EQ(bytes[data + 3], 7u) << "bit offset";
  EXPECT_EQ(at<uint32_t>(bytes, data + 4), 11u) << "byte offset";
  EXPECT_EQ(at<uint32_t>(bytes, data + 8), 1u) << "bit count";

  struct TextCase {
    std::string text;
    uint64_t length;
  };
  for (const TextCase& row : {TextCase{"t", 32}, {"1234567", 40}, {"12345678", 40}, {"123456789012345", 48}}) {
    EXPECT_EQ(TXBLOCK(row.text).Block_Length(), row.length) << row.text;
  }
}

TEST_F(MdfBlocks, ChainsAppendAtTheirEnd) {
  DGBLOCK group(false);
  CGBLOCK first("a", 0, 0, 0), second("b", 0, 0, 0), third("c", 0, 0, 0);
  group.Link_CGBLOCK(&first);
  first.Link_CGBLOCK(&second);
  group.Link_CGBLOCK(&third);
  EXPECT_EQ(group.Links_Get(1), &first);
  EXPECT_EQ(first.Links_Get(0), &second);
  EXPECT_EQ(second.Links_Get(0), &third);

  HDBLOCK header(1000);
  EXPECT_EQ(header.RelativeTime(1500), 500u);
  EXPECT_EQ(header.RelativeTime(1000), 0u) << "a record at the start time is at 0, not at the absolute time";
  EXPECT_EQ(header.RelativeTime(999), 999u);
}

TEST_F(MdfBlocks, EventsAreBuiltByTheirRulesAndEmptyOnesAreNeverLinked) {
  HDBLOCK header;
  EVBLOCK* begin = header.Event_Add(std::make_unique<EVBLOCK>("Begin of Recording", EVBLOCK::kRecording, 4, 0));
  ASSERT_NE(begin, nullptr);
  EXPECT_EQ(header.Event_Add(std::make_unique<EVBLOCK>("x", EVBLOCK::kRecording, 4, 5, nullptr)), nullptr);
  EXPECT_EQ(header.Event_Add(std::make_unique<EVBLOCK>("x", EVBLOCK::kMarker, 4, 5, begin)), nullptr);
  EXPECT_EQ(header.Event_Add(std::make_unique<EVBLOCK>("x", EVBLOCK::kRecordingInterrupt, 0, 5, begin, nullptr)),
            nullptr);
  auto* interrupt = header.Event_Add(std::make_unique<EVBLOCK>("Pause", EVBLOCK::kRecordingInterrupt, 1, 10, begin));
  header.Event_Add(std::make_unique<EVBLOCK>("Resume", EVBLOCK::kRecordingInterrupt, 1, 20, begin, interrupt));
  header.Event_Add(std::make_unique<EVBLOCK>("Mark", EVBLOCK::kMarker, 2, 30));
  header.Event_Add(std::make_unique<EVBLOCK>("End of Recording", EVBLOCK::kRecording, 4, 40, begin));
  writeTree(header);
  stream.close();

  const auto checked = test::checkFile(path);
  EXPECT_EQ(checked.status, 0) << checked.all();
  EXPECT_EQ(checked.starting("EVENT"),
            (std::vector<std::string>{
                "EVENT 0 type=0 range=1 cause=4 time=0 name=Begin of Recording parent=- rangeevent=- scopes=-",
                "EVENT 1 type=1 range=1 cause=1 time=10 name=Pause parent=0 rangeevent=- scopes=-",
                "EVENT 2 type=1 range=2 cause=1 time=20 name=Resume parent=0 rangeevent=1 scopes=-",
                "EVENT 3 type=6 range=0 cause=2 time=30 name=Mark parent=- rangeevent=- scopes=-",
                "EVENT 4 type=0 range=2 cause=4 time=40 name=End of Recording parent=- rangeevent=0 scopes=-"}))
      << checked.all();
}

TEST_F(MdfBlocks, DataThatDoesNotShrinkIsStoredPlainAndAnEmptyListWritesNothing) {
  DGBLOCK group(false);
  writeTree(group);
  DLBLOCK list(&group, 4, true, stream);
  EXPECT_FALSE(list.Write());
  std::mt19937 random(5);
  std::vector<uint8_t> noise(1'000'000), zeros(1'000'000);
  for (uint8_t& byte : noise) byte = static_cast<uint8_t>(random());
  for (const auto* piece : {&noise, &noise, &zeros}) ASSERT_TRUE(list.Insert(*piece));
  EXPECT_TRUE(list.Write());
  EXPECT_FALSE(list.Write()) << "flushing twice is harmless";
  const auto bytes = closeAndRead();
  const uint64_t headerList = at<uint64_t>(bytes, 64 + 24 + 2 * 8);
  const uint64_t firstList = at<uint64_t>(bytes, headerList + 24);
  const uint64_t plain = at<uint64_t>(bytes, firstList + 24 + 8);
  const uint64_t compressed = at<uint64_t>(bytes, firstList + 24 + 16);
  ASSERT_EQ(textAt(bytes, plain, 4), "##DT");
  EXPECT_EQ(at<uint64_t>(bytes, plain + 8), 24u + 2'000'000);
  EXPECT_TRUE(std::equal(noise.begin(), noise.end(), bytes.begin() + static_cast<ptrdiff_t>(plain) + 24));
  ASSERT_EQ(textAt(bytes, compressed, 4), "##DZ");
  EXPECT_EQ(textAt(bytes, compressed + 24, 2), "DT");
  EXPECT_EQ(at<uint64_t>(bytes, compressed + 24 + 8), 1'000'000u);
  EXPECT_EQ(at<uint64_t>(bytes, firstList + 24 + 3 * 8 + 8 + 8), 2'000'000u);
}

TEST(MdfDataBlock, APieceFitsOnlyWhileFortyEightBytesStayFree) {
  DataBlockDynamic block;
  const std::vector<uint8_t> fill(DataBlockDynamic::kCapacity - 59), piece(12);
  ASSERT_TRUE(block.Insert(fill));
  EXPECT_FALSE(block.Insert(piece));
  EXPECT_EQ(block.DataBytes(), fill.size());
  EXPECT_TRUE(block.Insert(std::span(piece).first(11)));
  EXPECT_FALSE(block.Insert(std::span(piece).first(1)));
}

// A recording of one channel group written through the blocks: a time channel and a frame channel whose members
// are fixed fields, a constant, a value-to-text flag, a maximum-length field and a variable-length field in signal
// data. Enough records for six data blocks, so the records' data list needs a second DL block.
class MdfRecording : public MdfBlocks {
 protected:
  static constexpr uint32_t kPayload = 976;
  static constexpr uint32_t kRecordBytes = 38 + kPayload;
  static constexpr uint32_t kRecords = 10500;

  struct Frame {
    uint64_t time;
    uint32_t identifier;
    bool sent;
    std::vector<uint8_t> shortBytes;
    std::vector<uint8_t> signal;
    std::vector<uint8_t> payload;
  };

  static std::string hex(const std::vector<uint8_t>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (uint8_t byte : bytes) text += {digits[byte >> 4], digits[byte & 15]};
    return text.empty() ? "-" : text;
  }

  static Frame frameAt(uint32_t index, std::mt19937& random) {
    Frame frame{1000 * uint64_t{index}, index * 7919u, index % 3 == 0, {}, {}, std::vector<uint8_t>(kPayload)};
    frame.shortBytes.resize(index % 17);
    for (uint8_t& byte : frame.shortBytes) byte = static_cast<uint8_t>(index + 1);
    frame.signal.resize(index % 9);
    for (uint8_t& byte : frame.signal) byte = static_cast<uint8_t>(random());
    if (index % 5 == 0) {
      for (uint8_t& byte : frame.payload) byte = static_cast<uint8_t>(random());
    } else {
      frame.payload[index % kPayload] = static_cast<uint8_t>(index);
    }
    return frame;
  }

  static std::string expectedLine(uint32_t index, const Frame& frame) {
    return "RECORD " + std::to_string(index) + " t=" + std::to_string(frame.time) +
           " Frame.BusChannel=7.0 Frame.ID=" + std::to_string(frame.identifier) +
           " Frame.Dir=" + (frame.sent ? "1(Tx)" : "0(Rx)") +
           " Frame.Length=" + std::to_string(frame.shortBytes.size()) + " Frame.Short=" + hex(frame.shortBytes) +
           " Frame.Data=" + hex(frame.signal) + " Frame.Payload=" + hex(frame.payload);
  }
};

TEST_F(MdfRecording, RecordsAndSignalDataComeBackThroughCompressedChainedDataLists) {
  HDBLOCK header(1'000'000);
  header.Links_SetOwned(HDBLOCK::kLinkFileHistory, std::make_unique<FHBLOCK>(1'000'000, "<FHcomment/>"));
  auto* group = header.Adopt<DGBLOCK>(false);
  auto* channels = header.Adopt<CGBLOCK>("BUS7", 0, 6, 0);
  header.Link_DGBLOCK(group);
  group->Link_CGBLOCK(channels);
  channels->Links_Set(CGBLOCK::kLinkSource, header.Adopt<SIBLOCK>("Frame", 7, 2, 2, 0));

  auto* time = header.Adopt<CNBLOCK>("t", 2, 1, 0, 0, 64);
  auto* seconds = header.Adopt<CCBLOCK>(CCBLOCK::kLinear, 0, "s");
  seconds->Value_Add(0);
  seconds->Value_Add(1e-9);
  time->Links_Set(CNBLOCK::kLinkConversion, seconds);
  time->Links_SetOwned(6, Text_Make("s"));
  channels->Link_CNBLOCK(time);
  auto* frame = header.Adopt<CNBLOCK>("Frame", 0, 0, 10, 64, 0);
  frame->Flags_Set(0x440);
  channels->Link_CNBLOCK(frame);

  auto* busChannel = header.Adopt<CNBLOCK>("Frame.BusChannel", 6, 0, 0, 64, 0);
  auto* constant = header.Adopt<CCBLOCK>(CCBLOCK::kLinear, 0, "");
  constant->Value_Add(7);
  constant->Value_Add(0);
  busChannel->Links_Set(CNBLOCK::kLinkConversion, constant);
  auto* direction = header.Adopt<CNBLOCK>("Frame.Dir", 0, 0, 0, 12 * 8 + 6, 1);
  auto* directions = header.Adopt<CCBLOCK>(CCBLOCK::kValueToText, 0, "");
  directions->ValueTexts_Set({{0, "Rx"}, {1, "Tx"}}, "");
  direction->Links_Set(CNBLOCK::kLinkConversion, directions);
  auto* length = header.Adopt<CNBLOCK>("Frame.Length", 0, 0, 0, 13 * 8, 8);
  auto* shortBytes = header.Adopt<CNBLOCK>("Frame.Short", 5, 0, 10, 14 * 8, 128);
  shortBytes->Links_Set(CNBLOCK::kLinkData, length);
  auto* signal = header.Adopt<CNBLOCK>("Frame.Data", 1, 0, 10, 30 * 8, 64);
  auto* payload = header.Adopt<CNBLOCK>("Frame.Payload", 0, 0, 10, 38 * 8, kPayload * 8);
  for (CNBLOCK* member : {busChannel, header.Adopt<CNBLOCK>("Frame.ID", 0, 0, 0, 64, 32), direction, length,
                          shortBytes, signal, payload}) {
    member->Flags_Set(0x440);
    frame->Link_CNBLOCK(member, true);
  }

  DLBLOCK records(group, 4, true, stream);
  DLBLOCK signalData(signal, 4, true, stream);
  writeTree(header);
  EXPECT_EQ(channels->DataBytes(), kRecordBytes);

  std::mt19937 random(11);
  std::vector<std::string> expected;
  uint64_t signalOffset = 0;
  for (uint32_t index = 0; index < kRecords; ++index) {
    const Frame row = frameAt(index, random);
    ByteWriter value;
    value.Put(static_cast<uint32_t>(row.signal.size()));
    for (uint8_t byte : row.signal) value.Put(byte);
    ASSERT_TRUE(signalData.Insert(value.Bytes()));
    ByteWriter record(kRecordBytes);
    record.Put(row.time).Put(row.identifier).Put(static_cast<uint8_t>(row.sent ? 0x40 : 0));
    record.Put(static_cast<uint8_t>(row.shortBytes.size()));
    for (uint8_t byte : row.shortBytes) record.Put(byte);
    record.Zeros(16 - row.shortBytes.size()).Put(signalOffset);
    for (uint8_t byte : row.payload) record.Put(byte);
    ASSERT_EQ(record.Bytes().size(), kRecordBytes);
    ASSERT_TRUE(records.Insert(record.Bytes()));
    signalOffset += value.Bytes().size();
    expected.push_back(expectedLine(index, row));
  }
  EXPECT_TRUE(records.Write());
  EXPECT_TRUE(signalData.Write());
  EXPECT_FALSE(records.Write()) << "an empty block is not written";
  channels->CycleCount_Set(kRecords);
  writeTree(header);
  ASSERT_TRUE(stream.good());
  const auto bytes = closeAndRead();

  // The first DL block sits behind the HL, its first data block 56 + 3 × 32 bytes behind it; the fifth data block
  // opens a second DL block chained to the first, whose first offset counts every uncompressed byte before it.
  const int64_t headerList = static_cast<int64_t>(at<uint64_t>(bytes, group->Block_FilePos() + 24 + 2 * 8));
  ASSERT_EQ(textAt(bytes, headerList, 4), "##HL");
  const uint64_t firstList = at<uint64_t>(bytes, headerList + 24);
  EXPECT_EQ(at<uint64_t>(bytes, firstList + 24 + 8), CalcStartPos(firstList + 56 + 96));
  EXPECT_EQ(textAt(bytes, at<uint64_t>(bytes, firstList + 24 + 16), 4), "##DZ");
  const uint64_t blockBytes = (DataBlockDynamic::kCapacity - 48) / kRecordBytes * kRecordBytes;
  EXPECT_EQ(at<uint64_t>(bytes, firstList + 24 + 5 * 8 + 8 + 3 * 8), 3 * blockBytes);
  const uint64_t secondList = at<uint64_t>(bytes, firstList + 24);
  ASSERT_EQ(textAt(bytes, secondList, 4), "##DL");
  EXPECT_EQ(at<uint64_t>(bytes, secondList + 24 + 3 * 8 + 8), 4 * blockBytes);

  const auto checked = test::checkFile(path);
  ASSERT_EQ(checked.status, 0) << checked.all().substr(0, 4000);
  EXPECT_TRUE(checked.has("GROUP 0 acq=BUS7 source=Frame sourcetype=2 bustype=2 channelno=7 flags=6 separator=0x2e "
                          "recordbytes=1014 invalbytes=0 cycles=10500"));
  EXPECT_TRUE(checked.has("CHANNEL t type=2 sync=1 dtype=0 bit=0.0 bits=64 flags=0x0 conv=linear(0.0,1e-09) unit=s"));
  EXPECT_TRUE(checked.has("CHANNEL Frame type=0 sync=0 dtype=10 bit=8.0 bits=8048 flags=0x440"));
  EXPECT_TRUE(checked.has("  CHANNEL Frame.Dir type=0 sync=0 dtype=0 bit=12.6 bits=1 flags=0x440 "
                          "conv=table(0:Rx,1:Tx;default=None)"));
  const auto lines = checked.starting("RECORD");
  ASSERT_EQ(lines.size(), expected.size());
  for (size_t index = 0; index < lines.size(); ++index) ASSERT_EQ(lines[index], expected[index]) << index;
}

}  // namespace
}  // namespace MDF
