// Event-triggered and sporadic frames, each request byte-exact. A definition goes in one record of at most the
// port's maximum parameter length: 250 and 251 unconditional frames at 1012 bytes, 1018 and 1019 at 4084.
#include <functional>
#include <vector>

#include "lin_road.hpp"
#include "qor_lin_event_frames.h"

namespace qor::test {
namespace {

using emulator::words;

constexpr uint8_t kSporadicDefine = 0x64;
constexpr uint8_t kSporadicDelete = 0x65;
constexpr uint8_t kSporadicActivation = 0x66;
constexpr uint8_t kSporadicState = 0x67;
constexpr uint8_t kEventDefine = 0x68;
constexpr uint8_t kEventDelete = 0x69;
constexpr uint8_t kEventActivation = 0x6A;
constexpr uint8_t kEventStateOrTable = 0x6B;

std::vector<uint8_t> frameIds(size_t count) {
  std::vector<uint8_t> ids(count);
  for (size_t index = 0; index < count; ++index) ids[index] = static_cast<uint8_t>(index % 60 + 1);
  return ids;
}

// Each id as a u32.
Bytes widened(const std::vector<uint8_t>& ids) {
  Bytes bytes;
  for (uint8_t id : ids) bytes = bytes + Bytes{id, 0, 0, 0};
  return bytes;
}

using LinEventFrames = LinRoad;

TEST_F(LinEventFrames, RecordsAreLaidOutByteExact) {
  const uint8_t ids[] = {0x10, 0x11, 0x3B};
  const struct {
    const char* name;
    std::function<uint32_t(uint32_t)> call;
    uint8_t command;
    Bytes record;
  } cases[] = {
      {"event-triggered",
       [&](uint32_t port) { return Qor_Lin_EventTriggeredFrames_Define(port, 0x3A, 1, 7, 9, 3, ids); }, kEventDefine,
       Bytes{0x3A, 0, 0, 0, 7, 9, 1, 0, 0, 0, 3, 0} + words({0x10, 0x11, 0x3B})},
      {"event-triggered without frames: the head alone",
       [](uint32_t port) { return Qor_Lin_EventTriggeredFrames_Define(port, 0x3A, 0, 1, 2, 0, nullptr); },
       kEventDefine,
       {0x3A, 0, 0, 0, 1, 2, 0, 0, 0, 0, 0, 0}},
      {"event-triggered delete",
       [](uint32_t port) { return Qor_Lin_EventTriggeredFrames_Delete(port, 0x3A); },
       kEventDelete,
       {0x3A, 0, 0, 0}},
      {"event-triggered activate",
       [](uint32_t port) { return Qor_Lin_EventTriggeredFrames_Activate(port, 0x3A, 5); },
       kEventActivation,
       {0x3A, 1, 5, 0}},
      {"event-triggered deactivate",
       [](uint32_t port) { return Qor_Lin_EventTriggeredFrames_Deactivate(port, 0x3A, 6); },
       kEventActivation,
       {0x3A, 0, 6, 0}},
      {"collision-resolving table",
       [](uint32_t port) { return Qor_Lin_EventTriggeredFrames_SetCollisionResolvingTable(port, 0x3A, 4); },
       kEventStateOrTable,
       {0x3A, 1, 0, 0, 4, 0, 0, 0}},
      {"sporadic", [&](uint32_t port) { return Qor_Lin_SporadicFrames_Define(port, 0x39, 3, ids); }, kSporadicDefine,
       Bytes{0x39, 0, 0, 0, 0, 0, 3, 0} + words({0x10, 0x11, 0x3B})},
      {"sporadic without frames",
       [](uint32_t port) { return Qor_Lin_SporadicFrames_Define(port, 0x39, 0, nullptr); },
       kSporadicDefine,
       {0x39, 0, 0, 0, 0, 0, 0, 0}},
      {"sporadic delete",
       [](uint32_t port) { return Qor_Lin_SporadicFrames_Delete(port, 0x39); },
       kSporadicDelete,
       {0x39, 0, 0, 0}},
      {"sporadic activate",
       [](uint32_t port) { return Qor_Lin_SporadicFrames_Activate(port, 0x39, 2); },
       kSporadicActivation,
       {0x39, 1, 2, 0}},
      {"sporadic deactivate",
       [](uint32_t port) { return Qor_Lin_SporadicFrames_Deactivate(port, 0x39, 0); },
       kSporadicActivation,
       {0x39, 0, 0, 0}},
  };
  for (const auto& c : cases) device_->expect(c.command, c.record);
  for (const auto& c : cases) EXPECT_EQ(c.call(port_), 0u) << c.name << ": " << lastText();

  EXPECT_EQ(Qor_Lin_EventTriggeredFrames_Define(port_, 0x3A, 2, 0, 0, 3, ids), kUnknownFlag);
  EXPECT_EQ(Qor_Lin_EventTriggeredFrames_Define(port_, 0x3A, 0, 0, 0, 3, nullptr), kInvalidParameter);
  EXPECT_EQ(Qor_Lin_SporadicFrames_Define(port_, 0x39, 1, nullptr), kInvalidParameter);
}

TEST_F(LinEventFrames, DefinitionsTakeWhatOneRecordOf4084BytesHolds) {
  const std::vector<uint8_t> ids = frameIds(1020);
  const Bytes idRecords = widened(frameIds(1019));
  device_->expect(kEventDefine,
                  Bytes{1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFA, 0x03} + Bytes(idRecords.begin(), idRecords.end() - 4));
  device_->expect(kSporadicDefine, Bytes{2, 0, 0, 0, 0, 0, 0xFB, 0x03} + idRecords);
  EXPECT_EQ(Qor_Lin_EventTriggeredFrames_Define(port_, 1, 0, 0, 0, 1018, ids.data()), 0u) << lastText();
  EXPECT_EQ(Qor_Lin_SporadicFrames_Define(port_, 2, 1019, ids.data()), 0u) << lastText();
  EXPECT_EQ(Qor_Lin_EventTriggeredFrames_Define(port_, 1, 0, 0, 0, 1019, ids.data()), kInvalidParameter);
  EXPECT_EQ(lastText(), described(kInvalidParameter, "maximum number of unconditional frames = 1018"));
  EXPECT_EQ(Qor_Lin_SporadicFrames_Define(port_, 2, 1020, ids.data()), kInvalidParameter);
  EXPECT_EQ(lastText(), described(kInvalidParameter, "maximum number of unconditional frames = 1019"));
}

class LinEventFramesOf1012 : public LinRoad {
 protected:
  LinEventFramesOf1012() : LinRoad(linModelOfParameterLength1012()) {}
};

TEST_F(LinEventFramesOf1012, DefinitionsTakeWhatOneRecordOf1012BytesHolds) {
  const std::vector<uint8_t> ids = frameIds(252);
  const Bytes idRecords = widened(frameIds(251));
  device_->expect(kEventDefine,
                  Bytes{1, 0, 0, 0, 3, 4, 1, 0, 0, 0, 250, 0} + Bytes(idRecords.begin(), idRecords.end() - 4));
  device_->expect(kSporadicDefine, Bytes{2, 0, 0, 0, 0, 0, 251, 0} + idRecords);
  EXPECT_EQ(Qor_Lin_EventTriggeredFrames_Define(port_, 1, 1, 3, 4, 250, ids.data()), 0u) << lastText();
  EXPECT_EQ(Qor_Lin_SporadicFrames_Define(port_, 2, 251, ids.data()), 0u) << lastText();
  EXPECT_EQ(Qor_Lin_EventTriggeredFrames_Define(port_, 1, 2, 3, 4, 251, ids.data()), kInvalidParameter)
      << "the count before the flags";
  EXPECT_EQ(lastText(), described(kInvalidParameter, "maximum number of unconditional frames = 250"));
  EXPECT_EQ(Qor_Lin_SporadicFrames_Define(port_, 2, 252, ids.data()), kInvalidParameter);
  EXPECT_EQ(lastText(), described(kInvalidParameter, "maximum number of unconditional frames = 251"));
}

TEST_F(LinEventFrames, StateIsOneOnlyWhenTheInterfaceSaysSo) {
  const struct {
    const char* name;
    uint8_t command;
    std::function<uint32_t(uint32_t, uint32_t*)> call;
  } kinds[] = {
      {"event-triggered", kEventStateOrTable,
       [](uint32_t port, uint32_t* state) { return Qor_Lin_EventTriggeredFrames_GetState(port, 0x3A, 3, state); }},
      {"sporadic", kSporadicState,
       [](uint32_t port, uint32_t* state) { return Qor_Lin_SporadicFrames_GetState(port, 0x3A, 3, state); }},
  };
  const Bytes query = {0x3A, 0, 0, 0, 3, 0, 0, 0};
  for (const auto& kind : kinds) {
    SCOPED_TRACE(kind.name);
    device_->expect(kind.command, query).answer({0x3A, 0, 0, 0, 0x03, 0, 0, 0});
    device_->expect(kind.command, query).answer({0x3A, 0, 0, 0, 0xFE, 0, 0, 0});
    device_->expect(kind.command, query).answer({0x3A, 0, 0, 0});
    device_->expect(kind.command, query).fail(kFirmwareBusy, "busy");
    uint32_t state = 9;
    EXPECT_EQ(kind.call(port_, &state), 0u) << lastText();
    EXPECT_EQ(state, 1u);
    EXPECT_EQ(kind.call(port_, &state), 0u) << lastText();
    EXPECT_EQ(state, 0u);
    state = 9;
    EXPECT_EQ(kind.call(port_, &state), kInvalidResponseLength) << "the state byte is missing";
    EXPECT_EQ(state, 0u);
    state = 9;
    EXPECT_EQ(kind.call(port_, &state), kFirmwareBusy);
    EXPECT_EQ(state, 0u);
    EXPECT_EQ(kind.call(port_, nullptr), kInvalidParameter);
  }
}

}  // namespace
}  // namespace qor::test
