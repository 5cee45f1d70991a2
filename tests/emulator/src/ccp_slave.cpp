#include "qor_emulator/ccp_slave.hpp"

#include <algorithm>
#include <utility>

namespace qor::emulator {
namespace {

constexpr size_t kMemoryBytes = 0x10000;
constexpr uint8_t kCrm = 0xFF;
constexpr uint8_t kAccessLocked = 0x35, kUnknownCommand = 0x30, kOutOfRange = 0x32, kKeyRequest = 0x18;
constexpr uint8_t kCalibration = 0x01, kDaq = 0x02, kProgramming = 0x40;
constexpr uint8_t kKeyMask = 0x5A;
constexpr size_t kOdtsPerList = 4;

uint8_t resourceOf(uint8_t code) {
  switch (code) {
    case 0x03: case 0x23: case 0x10: case 0x19: return kCalibration;
    case 0x14: case 0x15: case 0x16: case 0x06: case 0x08: return kDaq;
    case 0x18: case 0x22: return kProgramming;
    default: return 0;
  }
}

}  // namespace

CcpSlave::CcpSlave(CcpSlaveSettings settings) : settings_(std::move(settings)), memory_(kMemoryBytes) {
  for (size_t index = 0; index < memory_.size(); ++index) memory_[index] = static_cast<uint8_t>(index);
}

void CcpSlave::goSilent(bool silent) {
  const std::lock_guard lock(mutex_);
  silent_ = silent;
}

void CcpSlave::write(uint32_t address, const std::vector<uint8_t>& bytes) {
  const std::lock_guard lock(mutex_);
  std::ranges::copy(bytes, memory_.begin() + address);
}

std::vector<uint8_t> CcpSlave::read(uint32_t address, size_t count) const {
  const std::lock_guard lock(mutex_);
  return {memory_.begin() + address, memory_.begin() + address + count};
}

uint32_t CcpSlave::valueAt(const Cro& cro, size_t offset, unsigned width) const {
  uint32_t value = 0;
  for (unsigned index = 0; index < width; ++index) {
    const unsigned shift = 8 * (settings_.motorola ? width - 1 - index : index);
    value |= uint32_t{cro[offset + index]} << shift;
  }
  return value;
}

void CcpSlave::putValue(Cro& crm, size_t offset, uint32_t value) const {
  for (unsigned index = 0; index < 4; ++index) {
    const unsigned shift = 8 * (settings_.motorola ? 3 - index : index);
    crm[offset + index] = static_cast<uint8_t>(value >> shift);
  }
}

bool CcpSlave::inMemory(uint32_t address, size_t count) const {
  return address <= memory_.size() && memory_.size() - address >= count;
}

std::optional<Cro> CcpSlave::command(const Cro& cro) {
  const std::lock_guard lock(mutex_);
  if (silent_) return std::nullopt;
  return answer(cro);
}

std::optional<Cro> CcpSlave::answer(const Cro& cro) {
  const uint8_t code = cro[0];
  Cro crm{kCrm, 0, cro[1], 0, 0, 0, 0, 0};
  const auto refuse = [&](uint8_t returnCode) {
    crm[1] = returnCode;
    return crm;
  };
  const uint16_t station = static_cast<uint16_t>(cro[2] | cro[3] << 8);
  if (code == 0x01 || code == 0x05) {  // CONNECT, TEST
    if (station != settings_.stationAddress) return std::nullopt;
    if (code == 0x01) connected_ = true;
    return crm;
  }
  if (!connected_) return std::nullopt;
  const uint8_t resource = resourceOf(code);
  if (resource != 0 && (settings_.protectedResources & resource) != 0 && (unlocked_ & resource) == 0) {
    return refuse(kAccessLocked);
  }
  uint32_t& mta0 = mta_[0];
  switch (code) {
    case 0x02: {  // SET_MTA
      const uint32_t address = valueAt(cro, 4, 4);
      if (cro[2] > 1) return refuse(kOutOfRange);
      mta_[cro[2]] = address;
      return crm;
    }
    case 0x03: case 0x18: case 0x22: case 0x23: {  // DNLOAD, PROGRAM, PROGRAM_6, DNLOAD_6
      const bool six = code == 0x22 || code == 0x23;
      const size_t size = six ? 6 : cro[2];
      if (size > 6 || !inMemory(mta0, size)) return refuse(kOutOfRange);
      std::copy_n(cro.begin() + (six ? 2 : 3), size, memory_.begin() + mta0);
      mta0 += static_cast<uint32_t>(size);
      putValue(crm, 4, mta0);
      return crm;
    }
    case 0x04: case 0x0F: {  // UPLOAD, SHORT_UP
      const size_t size = cro[2];
      const uint32_t address = code == 0x04 ? mta0 : valueAt(cro, 4, 4);
      if (size > 5 || !inMemory(address, size)) return refuse(kOutOfRange);
      std::copy_n(memory_.begin() + address, size, crm.begin() + 3);
      if (code == 0x04) mta0 += static_cast<uint32_t>(size);
      return crm;
    }
    case 0x06: {  // START_STOP
      auto found = daqLists_.find(cro[3]);
      if (found == daqLists_.end() || cro[2] > 2) return refuse(kOutOfRange);
      DaqList& list = found->second;
      list.lastOdt = std::min<uint8_t>(cro[4], static_cast<uint8_t>(list.odts.size() - 1));
      list.prescaler = static_cast<uint16_t>(std::max<uint32_t>(1, valueAt(cro, 6, 2)));
      list.started = cro[2] == 1;
      list.prepared = cro[2] == 2;
      list.nextCycle = std::chrono::steady_clock::now();
      return crm;
    }
    case 0x07:  // DISCONNECT
      if (cro[2] == 1) connected_ = false;
      return crm;
    case 0x08:  // START_STOP_ALL
      for (auto& [number, list] : daqLists_) {
        if (cro[2] == 1 && !list.prepared) continue;
        list.started = cro[2] == 1;
        list.nextCycle = std::chrono::steady_clock::now();
      }
      return crm;
    case 0x09:  // GET_ACTIVE_CAL_PAGE
      putValue(crm, 4, activePage_);
      return crm;
    case 0x0C:
      sessionStatus_ = cro[2];
      return crm;
    case 0x0D:
      crm[3] = sessionStatus_;
      return crm;
    case 0x0E: {  // BUILD_CHKSUM: a 16-bit sum
      const uint32_t size = valueAt(cro, 2, 4);
      if (!inMemory(mta0, size)) return refuse(kOutOfRange);
      uint16_t sum = 0;
      for (uint32_t index = 0; index < size; ++index) sum = static_cast<uint16_t>(sum + memory_[mta0 + index]);
      crm[3] = 2;
      crm[4] = static_cast<uint8_t>(sum >> 8);
      crm[5] = static_cast<uint8_t>(sum);
      return crm;
    }
    case 0x10: {  // CLEAR_MEMORY
      const uint32_t size = valueAt(cro, 2, 4);
      if (!inMemory(mta0, size)) return refuse(kOutOfRange);
      std::fill_n(memory_.begin() + mta0, size, 0xFF);
      return crm;
    }
    case 0x11:
      activePage_ = mta0;
      return crm;
    case 0x12:  // GET_SEED
      seedRequested_ = cro[2];
      crm[3] = (settings_.protectedResources & cro[2] & ~unlocked_) != 0 ? 1 : 0;
      std::ranges::copy(settings_.seed, crm.begin() + 4);
      return crm;
    case 0x13: {  // UNLOCK
      for (size_t index = 0; index < settings_.seed.size(); ++index) {
        if (cro[2 + index] != (settings_.seed[index] ^ kKeyMask)) return refuse(kKeyRequest);
      }
      unlocked_ |= seedRequested_;
      crm[3] = unlocked_;
      return crm;
    }
    case 0x14: {  // GET_DAQ_SIZE
      DaqList& list = daqLists_[cro[2]];
      list = DaqList{};
      list.odts.resize(kOdtsPerList);
      list.firstPid = static_cast<uint8_t>(cro[2] * kOdtsPerList);
      crm[3] = static_cast<uint8_t>(kOdtsPerList);
      crm[4] = list.firstPid;
      return crm;
    }
    case 0x15:  // SET_DAQ_PTR
      if (!daqLists_.contains(cro[2]) || cro[3] >= kOdtsPerList || cro[4] >= 7) return refuse(kOutOfRange);
      daqPointerList_ = cro[2];
      daqPointerOdt_ = cro[3];
      daqPointerElement_ = cro[4];
      return crm;
    case 0x16: {  // WRITE_DAQ
      const uint32_t address = valueAt(cro, 4, 4);
      if ((cro[2] != 1 && cro[2] != 2 && cro[2] != 4) || daqPointerElement_ + cro[2] > 7 ||
          !inMemory(address, cro[2])) {
        return refuse(kOutOfRange);
      }
      daqLists_[daqPointerList_].odts[daqPointerOdt_][daqPointerElement_] = Element{cro[2], address};
      daqPointerElement_ = static_cast<uint8_t>(daqPointerElement_ + cro[2]);
      return crm;
    }
    case 0x17:  // EXCHANGE_ID
      crm[3] = static_cast<uint8_t>(settings_.slaveId.size());
      crm[5] = kCalibration | kDaq | kProgramming;
      crm[6] = settings_.protectedResources & ~unlocked_;
      mta0 = 0xFF00;
      std::ranges::copy(settings_.slaveId, memory_.begin() + mta0);
      return crm;
    case 0x19: {  // MOVE
      const uint32_t size = valueAt(cro, 2, 4);
      if (!inMemory(mta0, size) || !inMemory(mta_[1], size)) return refuse(kOutOfRange);
      std::copy_n(memory_.begin() + mta0, size, memory_.begin() + mta_[1]);
      return crm;
    }
    case 0x1B:  // GET_CCP_VERSION
      crm[3] = 2;
      crm[4] = 1;
      return crm;
    case 0x20: case 0x21:  // DIAG_SERVICE, ACTION_SERVICE
      crm[3] = 4;
      crm[4] = static_cast<uint8_t>(valueAt(cro, 2, 2));
      return crm;
    default:
      return refuse(kUnknownCommand);
  }
}

std::vector<Cro> CcpSlave::sampleDaq() {
  const std::lock_guard lock(mutex_);
  std::vector<Cro> dtos;
  const auto now = std::chrono::steady_clock::now();
  for (auto& [number, list] : daqLists_) {
    if (!list.started) continue;
    const auto period = std::chrono::milliseconds(list.prescaler);
    while (list.nextCycle <= now) {
      for (uint8_t odt = 0; odt <= list.lastOdt; ++odt) {
        Cro dto{static_cast<uint8_t>(list.firstPid + odt)};
        for (size_t byte = 0; byte < 7;) {
          const Element& element = list.odts[odt][byte];
          if (element.size == 0) {
            ++byte;
            continue;
          }
          std::copy_n(memory_.begin() + element.address, element.size, dto.begin() + 1 + byte);
          byte += element.size;
        }
        dtos.push_back(dto);
      }
      list.nextCycle += period;
    }
  }
  return dtos;
}

}  // namespace qor::emulator
