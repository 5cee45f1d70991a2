#include "xcp_daq_start.hpp"

#include <chrono>
#include <thread>

#include "common_library.hpp"
#include "qor_common_xcp.h"
#include "xcp_command_session.hpp"
#include "xcp_seed_key.hpp"

namespace qor::common::xcp {
namespace {

constexpr uint8_t kBusySession = 0xCD;  // STORE_CAL_REQ, STORE_DAQ_REQ, CLEAR_DAQ_REQ, DAQ_RUNNING, RESUME
constexpr unsigned kStatusRetries = 6;
constexpr uint8_t kSmallestMaxCto = 8;
constexpr uint16_t kProperty0 = 0;
constexpr uint16_t kTimeStampProperty = 4;
constexpr uint32_t kProperty0Raised = 255;

uint32_t notPossible(const kit::Call& call, const char* text) {
  return call.fail(kCommon.code(kDaqNotInitialized), "%s", text);
}

uint32_t setProperty(const kit::Call& call, uint8_t channel, uint16_t id, uint32_t value) {
  const Qor_Common_Xcp_Property_t property{id, 0, value};
  return Qor_Common_Xcp_Property_SetById(call.port(), channel, &property);
}

// The commands of one start on a session whose time-out is the record's.
class DaqStart {
 public:
  DaqStart(const kit::Call& call, uint8_t channel, DaqRecord& record) : session_(call, channel), record_(record) {}

  uint32_t open() {
    if (uint32_t code = session_.open()) return code;
    session_.info.firmwareTimeoutUs = record_.firmwareTimeoutUs;
    return 0;
  }

  uint32_t connect() {
    Packet answer;
    if (uint32_t code = session_.command(Packet{kConnect, 0}, answer)) return code;
    if (uint32_t code = session_.expectAnswer(answer, 6)) return code;
    if ((answer[1] & kResourceDaq) == 0) return notPossible(call(), "daq not supported on slave device");
    CommandInfo& info = session_.info;
    info.bigEndian = (answer[2] & 1) != 0;
    const uint8_t granularityCode = (answer[2] >> 1) & 3;
    info.granularity = granularityCode == 1 ? 2 : granularityCode == 2 ? 4 : 1;
    info.maxCto = answer[3];
    if (info.maxCto < kSmallestMaxCto) {
      return call().fail(kit::GeneralError::InvalidResponseParameter, "the slave's MAX_CTO %u is below %u",
                         info.maxCto, kSmallestMaxCto);
    }
    record_.limits.maxDto = info.read16(answer, 4);
    session_.store();
    record_.slave = info;
    return 0;
  }

  // GET_STATUS until the slave is idle; protectedDaq tells whether DAQ is locked.
  uint32_t waitIdle(bool& protectedDaq) {
    Packet answer;
    for (unsigned attempt = 0;; ++attempt) {
      if (uint32_t code = session_.command(Packet{kGetStatus}, answer)) return code;
      if (uint32_t code = session_.expectAnswer(answer, 3)) return code;
      if ((answer[1] & kBusySession) == 0) break;
      if (attempt == kStatusRetries) return notPossible(call(), "the slave is busy");
      std::this_thread::sleep_for(std::chrono::milliseconds(record_.timeoutsMs[6]));
    }
    protectedDaq = (answer[2] & kResourceDaq) != 0;
    return 0;
  }

  uint32_t askSeedInto(Qor_Common_Xcp_Daq_StartResult_t& result) {
    uint32_t length = sizeof result.seed;
    if (uint32_t code = askSeed(session_, kResourceDaq, length, result.seed)) return code;
    result.seedLength = static_cast<uint8_t>(length);
    return 0;
  }

  uint32_t unlock(const Qor_Common_Xcp_Daq_StartRequest_t& request) {
    Packet answer;
    if (uint32_t code = sendKey(session_, std::span(request.key, request.keyLength), answer)) return code;
    if (uint32_t code = session_.expectAnswer(answer, 2)) return code;
    if ((answer[1] & kResourceDaq) != 0) return notPossible(call(), "key was transmitted but resource is still locked");
    return 0;
  }

  uint32_t readLimits() {
    DaqLimits& limits = record_.limits;
    Packet answer;
    if (uint32_t code = session_.command(Packet{kGetDaqProcessorInfo}, answer)) return code;
    if (uint32_t code = session_.expectAnswer(answer, 8)) return code;
    const uint16_t maxDaq = info().read16(answer, 2);
    limits.minDaq = answer[6];
    limits.configurableLists = maxDaq > limits.minDaq ? static_cast<uint16_t>(maxDaq - limits.minDaq) : 0;
    limits.identificationType = static_cast<uint8_t>(answer[7] >> 6);
    if (limits.maxDto <= limits.identifierBytes()) {
      return call().fail(kit::GeneralError::InvalidResponseParameter,
                         "the slave's MAX_DTO %u leaves no room after a %zu-byte identifier", limits.maxDto,
                         limits.identifierBytes());
    }
    if (uint32_t code = session_.command(Packet{kGetDaqResolutionInfo}, answer)) return code;
    if (uint32_t code = session_.expectAnswer(answer, 3)) return code;
    const uint8_t granularity = answer[1];
    if (granularity != 1 && granularity != 2 && granularity != 4 && granularity != 8) {
      return call().fail(kit::GeneralError::InvalidResponseParameter, "the slave's ODT entry granularity %u is unknown",
                         granularity);
    }
    limits.granularity = granularity;
    limits.maxEntrySize = answer[2];
    return 0;
  }

  uint32_t allocate() {
    if (uint32_t code = session_.command(Packet{kFreeDaq})) return code;
    Packet packet = {kAllocDaq, 0};
    info().append16(packet, static_cast<uint16_t>(record_.lists.size()));
    if (uint32_t code = session_.command(packet)) return code;
    for (const DaqList& list : record_.lists) {
      packet = {kAllocOdt, 0};
      info().append16(packet, list.number);
      packet.push_back(static_cast<uint8_t>(list.odts.size()));
      if (uint32_t code = session_.command(packet)) return code;
    }
    for (const DaqList& list : record_.lists) {
      for (size_t odt = 0; odt < list.odts.size(); ++odt) {
        packet = {kAllocOdtEntry, 0};
        info().append16(packet, list.number);
        packet.push_back(static_cast<uint8_t>(odt));
        packet.push_back(static_cast<uint8_t>(list.odts[odt].entries.size()));
        if (uint32_t code = session_.command(packet)) return code;
      }
    }
    return 0;
  }

  uint32_t prepareLists() {
    for (const DaqList& list : record_.lists) {
      Packet packet = {kSetDaqListMode, 0x01};
      info().append16(packet, list.number);
      info().append16(packet, list.eventChannel);
      packet.insert(packet.end(), {1, 0});  // prescaler, priority
      if (uint32_t code = session_.command(packet)) return code;
      for (size_t odt = 0; odt < list.odts.size(); ++odt) {
        packet = {kSetDaqPtr, 0};
        info().append16(packet, list.number);
        packet.insert(packet.end(), {static_cast<uint8_t>(odt), 0});
        if (uint32_t code = session_.command(packet)) return code;
        for (const DaqEntry& entry : list.odts[odt].entries) {
          packet = {kWriteDaq, entry.bitOffset, entry.size, entry.addressExtension};
          info().append32(packet, entry.address);
          if (uint32_t code = session_.command(packet)) return code;
        }
      }
    }
    return 0;
  }

  // Selects each list and remembers its first PID; identifiers that are no DAQ packets or that two ODTs share are
  // refused, since their values would be lost or misread.
  uint32_t selectLists() {
    for (DaqList& list : record_.lists) {
      Packet packet = {kStartStopDaqList, 2};
      info().append16(packet, list.number);
      Packet answer;
      if (uint32_t code = session_.command(packet, answer)) return code;
      if (uint32_t code = session_.expectAnswer(answer, 2)) return code;
      list.firstPid = answer[1];
    }
    record_.lookup.clear();
    for (size_t index = 0; index < record_.lists.size(); ++index) {
      const DaqList& list = record_.lists[index];
      for (size_t odt = 0; odt < list.odts.size(); ++odt) {
        const auto identifier = identifierOf(record_.limits, info(), list, static_cast<uint8_t>(odt));
        if (record_.limits.identificationType == 0 && list.firstPid + odt > kLastDaqPid) {
          return notPossible(call(), "the slave's packet identifiers of a daq list reach past 0xFB");
        }
        const OdtRef ref{static_cast<uint16_t>(index), static_cast<uint8_t>(odt)};
        if (!record_.lookup.emplace(identifierKey(identifier), ref).second) {
          return notPossible(call(), "two odts of the slave share a packet identifier");
        }
      }
    }
    return 0;
  }

  uint32_t raiseProperty0() {
    const Qor_Common_Xcp_PropertyRequest_t request{kProperty0, 0};
    Qor_Common_Xcp_Property_t property{};
    if (uint32_t code = Qor_Common_Xcp_Property_GetById(call().port(), session_.channel(), &request, &property)) {
      return code;
    }
    if (property.value >= kProperty0Raised) return 0;
    if (uint32_t code = setProperty(call(), session_.channel(), kProperty0, kProperty0Raised)) return code;
    record_.savedProperty0 = property.value;
    return 0;
  }

  void disconnect() { (void)session_.command(Packet{kDisconnect}); }

  const kit::Call& call() const { return session_.call(); }
  const CommandInfo& info() const { return session_.info; }

 private:
  CommandSession session_;
  DaqRecord& record_;
};

// Steps 1 to 7 of the configuration; seedReturned when the slave wants a key first.
uint32_t configure(DaqStart& start, DaqRecord& record, const Qor_Common_Xcp_Daq_StartRequest_t& request,
                   Qor_Common_Xcp_Daq_StartResult_t& result, bool& seedReturned) {
  if ((request.flags & QOR_COMMON_XCP_DAQ_KEY_GIVEN) == 0) {
    if (uint32_t code = start.connect()) return code;
    bool protectedDaq = false;
    if (uint32_t code = start.waitIdle(protectedDaq)) return code;
    if (protectedDaq) {
      if (uint32_t code = start.askSeedInto(result)) return code;
      if (result.seedLength > 0) {
        seedReturned = true;
        result.flags |= QOR_COMMON_XCP_DAQ_SEED_RETURNED;
        return notPossible(start.call(), "DAQ is protected by seed & key mechanism");
      }
    }
  } else if (uint32_t code = start.unlock(request)) {
    return code;
  }
  if (uint32_t code = start.readLimits()) return code;
  if (uint32_t code = layOut(start.call(), record.signals, record.limits, record.lists)) return code;
  if (uint32_t code = start.allocate()) return code;
  if (uint32_t code = start.prepareLists()) return code;
  if (uint32_t code = start.selectLists()) return code;
  if (uint32_t code = start.raiseProperty0()) return code;
  record.configured = true;
  return 0;
}

}  // namespace

uint32_t synchronise(const kit::Call& call, uint8_t channel, const DaqRecord& record, bool start) {
  CommandSession session(call, channel);
  if (uint32_t code = session.open()) return code;
  session.info.firmwareTimeoutUs = record.firmwareTimeoutUs;
  return session.command(Packet{kStartStopSynch, static_cast<uint8_t>(start ? 1 : 0)});
}

void dropLayout(const kit::Call& call, uint8_t channel, DaqRecord& record) {
  record.lists.clear();
  record.lookup.clear();
  if (record.savedProperty0) (void)setProperty(call, channel, kProperty0, *record.savedProperty0);
  record.savedProperty0.reset();
  record.configured = false;
  record.running = false;
}

uint32_t startDaq(const kit::Call& call, uint8_t channel, DaqRecord& record,
                  const Qor_Common_Xcp_Daq_StartRequest_t& request, Qor_Common_Xcp_Daq_StartResult_t& result) {
  const uint32_t timeStamps = request.flags & QOR_COMMON_XCP_DAQ_TIME_STAMPS;
  if (uint32_t code = setProperty(call, channel, kTimeStampProperty, timeStamps)) return code;
  DaqStart start(call, channel, record);
  if (uint32_t code = start.open()) return code;
  bool seedReturned = false;
  // START_STOP_SYNCH starts the selected lists and clears their selection: a restart selects them again.
  uint32_t code = record.configured ? start.selectLists() : configure(start, record, request, result, seedReturned);
  if (seedReturned) return code;  // the connection stays for the key
  if (code == 0) code = synchronise(call, channel, record, true);
  if (code != 0) {
    // The first failure is the one reported; the clean-up is best effort.
    start.disconnect();
    dropLayout(call, channel, record);
    return code;
  }
  record.running = true;
  return 0;
}

}  // namespace qor::common::xcp
