#include "asc_lines.hpp"

#include <algorithm>
#include <array>

namespace qor::trace {
namespace {

bool bit(uint32_t value, unsigned number) {
  return (value >> number & 1u) != 0;
}

// ---- CAN: hex, whatever the file's base; channels in decimal, as every ASC reader takes them.

uint8_t errorCaptureCode(std::span<const uint8_t> data, bool received) {
  static constexpr std::array<uint8_t, 8> kByErrorCode{0xC0, 0x80, 0x40, 0xC0, 0x00, 0x00, 0xC0, 0x00};
  const uint8_t code = data.empty() || data[0] >= kByErrorCode.size() ? 0xC0 : kByErrorCode[data[0]];
  return static_cast<uint8_t>(code + (received ? 0x20 : 0));
}

void appendCan(AscLine& line, const TraceEntry& entry) {
  const auto record = entry.record();
  const uint8_t flags = record[offsetof(Qor_Trace_Entry_Can_t, flags)];
  const auto data = bytesAt(record, offsets::kCanData, record[offsetof(Qor_Trace_Entry_Can_t, dataLength)]);
  if (bit(flags, 4)) {
    line << "log trigger event";
    if (!data.empty() && data[0] == 0) {
      line << " (rising edge on trigger input)";
    } else if (!data.empty() && data[0] == 1) {
      line << " (falling edge on trigger input)";
    } else {
      line << " (user event)";
      for (uint8_t byte : data) (line << " ").hex(byte);
    }
    line << "\n";
    return;
  }
  if (bit(flags, 2)) {
    const uint8_t ecc = errorCaptureCode(data, !bit(flags, 1));
    line.decimal(entry.channelId()) << " ErrorFrame ECC: ";
    for (int index = 7; index >= 0; --index) line << (bit(ecc, static_cast<unsigned>(index)) ? "1" : "0");
    line << "\n";
    return;
  }
  uint32_t identifier = fieldAt<uint32_t>(record, offsetof(Qor_Trace_Entry_Can_t, identifier));
  if (bit(flags, 0)) identifier &= ~(1u << 31);
  if (bit(flags, 3)) identifier &= ~(1u << 30);
  line << "CANFD ";
  line.decimal(entry.channelId()) << (bit(flags, 1) ? " Tx" : " Rx") << " ";
  line.hex(identifier) << (bit(flags, 0) ? "x" : "") << "  " << (bit(flags, 5) ? " 1" : " 0")
                       << (bit(flags, 6) ? " 1" : " 0") << " ";
  line.hex(record[offsetof(Qor_Trace_Entry_Can_t, dlc)]) << " ";
  line.number(data.size(), {Radix::Decimal, 2, true});
  for (uint8_t byte : data) (line << " ").number(byte, {Radix::Hex, 2, true, true});
  const unsigned frameFlags =
      (bit(flags, 3) ? 0x1000u : 0) + (bit(flags, 5) ? 0x2000u : 0) + (bit(flags, 6) ? 0x4000u : 0);
  line << " 0 0 ";
  line.hex(frameFlags) << " 0 0 0 0 0\n";
}

// ---- Ethernet

void appendEthernet(AscLine& line, const TraceEntry& entry) {
  const auto record = entry.record();
  const auto frame = bytesAt(record, offsets::kEthernetFrame,
                             fieldAt<uint16_t>(record, offsetof(Qor_Trace_Entry_Ethernet_t, frameLength)));
  line << "ETH ";
  line.based(entry.channelId()) << " " << (bit(fieldAt<uint8_t>(record, 40), 0) ? "Tx " : "Rx ");
  line.based(frame.size(), line.decimalFile() ? 3 : 2) << ":";
  for (uint8_t byte : frame) line.number(byte, {Radix::Hex, 2, true, true});
  line << "\n";
}

// ---- FlexRay: channels in decimal, the other numbers in the file's base.

const char* channelCode(uint8_t channel) {
  switch (channel) {
    case 0: return "1 ";
    case 1: return "2 ";
    case 2: return "3 ";
    default: return "0 ";
  }
}

uint32_t frameState(uint8_t indicator) {
  uint32_t state =
      bit(indicator, 2) ? (bit(indicator, 1) ? 0x80011u : 0x80001u) : (bit(indicator, 1) ? 0x80012u : 0x80002u);
  if (bit(indicator, 3)) state += 4;
  if (bit(indicator, 4)) state += 8;
  return state;
}

unsigned errorValue(uint16_t type, uint8_t channel) {
  switch (channel) {
    case 0: return type == 7 ? 1 : 2;
    case 1: return type == 7 ? 4 : 8;
    case 2: return type == 7 ? 5 : 10;
    default: return 0;
  }
}

void appendFlexRayFrame(AscLine& line, const TraceEntry& entry, uint16_t type) {
  const auto record = entry.record();
  const uint8_t indicator = fieldAt<uint8_t>(record, offsetof(Qor_Trace_Entry_FlexRay_t, indicator));
  const auto payload = bytesAt(record, offsets::kFlexRayPayload,
                               2u * fieldAt<uint8_t>(record, offsetof(Qor_Trace_Entry_FlexRay_t, payloadWords)));
  line << channelCode(fieldAt<uint8_t>(record, offsetof(Qor_Trace_Entry_FlexRay_t, channel)));
  line.based(fieldAt<uint16_t>(record, offsetof(Qor_Trace_Entry_FlexRay_t, slot))) << " ";
  line.based(fieldAt<uint8_t>(record, offsetof(Qor_Trace_Entry_FlexRay_t, cycle))) << " ";
  line << (type == 1 ? "Rx " : "Tx ") << "0 ";
  line.based(frameState(indicator)) << " 5 ";
  line.based(40) << " ";
  line.based(fieldAt<uint16_t>(record, offsetof(Qor_Trace_Entry_FlexRay_t, headerCrc))) << " FlexRay_Frame_[x|x|x] ";
  line.based(payload.size()) << " ";
  if (bit(indicator, 2)) {
    line << "0";
  } else {
    line.based(payload.size());
    for (uint8_t byte : payload) (line << " ").basedFilled(byte, 2);
  }
}

void appendFlexRay(AscLine& line, const TraceEntry& entry) {
  static constexpr std::array<uint8_t, 8> kSymbolA{2, 2, 2, 1, 1, 2, 2, 2};
  static constexpr std::array<uint8_t, 8> kSymbolB{6, 0, 4, 2, 3, 1, 32, 19};
  const auto record = entry.record();
  const uint16_t type = fieldAt<uint16_t>(record, offsetof(Qor_Trace_Entry_FlexRay_t, entryType));
  const uint8_t byte40 = fieldAt<uint8_t>(record, 40);
  const uint8_t byte43 = fieldAt<uint8_t>(record, 43);
  line << "Fr ";
  const auto head = [&](const char* kind) -> AscLine& {
    return (line << kind << "1 0 ").decimal(entry.channelId()) << " ";
  };
  switch (type) {
    case 1:
    case 2:
      head("RMSG  ");
      appendFlexRayFrame(line, entry, type);
      break;
    case 3:
      head("SCE  ") << "0 ";
      line.based(byte40) << " Rx 5 0 0 0 0 0 NM_Vector: 0";
      break;
    case 4:
      head("SE  ") << "0 0 5 ";
      line.based(byte40 < kSymbolA.size() ? kSymbolA[byte40] : 2) << " ";
      line.based(byte40 < kSymbolB.size() ? kSymbolB[byte40] : 0) << " 0 0 0 0";
      break;
    case 5: head("SCE  ") << "0 "; break;
    case 6: head("SCE  ") << channelCode(byte40); break;
    case 7:
    case 8:
    case 9:
    case 10:
      // Types 8 and 10 carry no error value of their own.
      head("EE  ") << channelCode(byte43) << "5 4 ";
      line.based(type == 7 || type == 9 ? errorValue(type, byte43) : 0) << " 0 0";
      break;
    default: head("EE  ") << "0 5 6 0 0 0"; break;  // status, and types this writer does not know
  }
  line << "\n";
}

// ---- LIN

struct LinEvent {
  uint8_t f1;
  uint8_t f2;
  uint8_t f3;
};

LinEvent appendLinEvent(AscLine& line, uint16_t status, uint8_t identifierByte) {
  const uint8_t identifier = identifierByte & 0x3F;
  if (bit(status, 3) && bit(status, 6)) {
    (line << " ").based(identifier) << " TransmErr  ";
    return {0xF0, 0x61, 0x01};
  }
  if (bit(status, 0) || bit(status, 2)) {
    line << " RcvError: " << (bit(status, 0) ? " invalid identifier parity  " : " inconsistent sync field  ")
         << " StateReason =  0  ShortError = 0  DlcTimeout = 0  HasDataBytes = 0  ";
    return {0xE0, 0xF0, 0x01};
  }
  if (bit(status, 1)) {
    (line << " ").based(identifier) << " CSErr  ";
    return {0xFF, 0xFF, 0x01};
  }
  if (bit(status, 4)) {
    (line << " ").based(identifier) << " EvTrigFrmInfo  "
                                    << (identifierByte != 0 ? " falling edge at trigger input"
                                                            : " rising edge at trigger input");
    return {0, 0, 0};
  }
  if (bit(status, 5)) {
    line << " WakeupFrame  ";
    return {0x61, 0, 0x06};
  }
  (line << " ").based(identifier);
  return {0xFF, 0xFF, 0x01};
}

void appendLinBitRate(AscLine& line, uint32_t bitTime) {
  const uint32_t nanoseconds = bitTime >> 3;
  const uint64_t bitRate = nanoseconds == 0 ? 0 : static_cast<uint64_t>(1.0 / (nanoseconds / 1e9));
  (line << "BR = ").number(bitRate, {Radix::Decimal, 5}) << " ";
}

void appendLin(AscLine& line, const TraceEntry& entry, const AscLineTimes& times) {
  const auto record = entry.record();
  const uint16_t status = fieldAt<uint16_t>(record, offsetof(Qor_Trace_Entry_Lin_t, status));
  const uint8_t count = std::min<uint8_t>(record[offsetof(Qor_Trace_Entry_Lin_t, byteCount)], 9);
  const auto bytes = record.subspan(offsetof(Qor_Trace_Entry_Lin_t, bytes), count);
  const auto dataBytes = bytes.first(count > 0 ? count - 1u : 0u);
  const NumberFormat byteFormat{line.fileRadix(), line.decimalFile() ? 3 : 2, true, true};

  line << times.time << " ";
  if (entry.channelId() == 1) {
    line << "Li";
  } else {
    (line << "L").based(entry.channelId());
  }
  const LinEvent event = appendLinEvent(line, status, record[offsetof(Qor_Trace_Entry_Lin_t, identifier)]);
  if (bit(event.f1, 0)) line << (bit(status, 6) ? " Tx" : " Rx");
  if (bit(event.f1, 1)) (line << " ").based(dataBytes.size()) << " ";
  if (bit(event.f1, 2)) {
    for (uint8_t byte : dataBytes) line.number(byte, byteFormat) << " ";
  }
  if (bit(event.f1, 3)) (line << "checksum = ").number(count > 0 ? bytes.back() : 0, byteFormat) << " ";
  if (bit(event.f1, 4)) line << "header time = 0, full time = 0 ";
  if (bit(event.f1, 5)) line << "SOF = " << secondsText6(times.sinceStart) << " ";
  if (bit(event.f1, 6)) appendLinBitRate(line, fieldAt<uint32_t>(record, offsetof(Qor_Trace_Entry_Lin_t, bitTime)));
  if (bit(event.f1, 7)) line << "break = 0 0";
  static constexpr std::array<const char*, 8> kF2{" EOH = 0.0", nullptr,    " sim = 0", " EOF = 0.0",
                                                  " RBR = 0",   " HBR = 0", " HSO = 0", " RSO = 0"};
  for (unsigned index = 0; index < kF2.size(); ++index) {
    if (!bit(event.f2, index)) continue;
    if (kF2[index] != nullptr) {
      line << kF2[index];
    } else {
      line << " EOB =";
      for (size_t byte = 0; byte < dataBytes.size(); ++byte) line << " 0.0";
    }
  }
  static constexpr std::array<const char*, 3> kF3{" CSM = unknown", " 0", " LengthCode = 0"};
  for (unsigned index = 0; index < kF3.size(); ++index) {
    if (bit(event.f3, index)) line << kF3[index];
  }
  line << "\n";
}

}  // namespace

void appendAscLine(AscLine& line, const TraceEntry& entry, const AscLineTimes& times) {
  const auto record = entry.record();
  switch (entry.busType()) {
    case QOR_TRACE_BUS_CAN:
      line << times.time << " ";
      appendCan(line, entry);
      break;
    case QOR_TRACE_BUS_LIN:
      if (record[offsetof(Qor_Trace_Entry_Lin_t, reserved1)] == 0) appendLin(line, entry, times);
      break;
    case QOR_TRACE_BUS_FLEXRAY:
      line << times.time << " ";
      appendFlexRay(line, entry);
      break;
    case QOR_TRACE_BUS_ETHERNET:
      if (fieldAt<uint16_t>(record, offsetof(Qor_Trace_Entry_Ethernet_t, itemType)) == 1) {
        line << times.time << " ";
        appendEthernet(line, entry);
      }
      break;
    default: break;
  }
}

}  // namespace qor::trace
