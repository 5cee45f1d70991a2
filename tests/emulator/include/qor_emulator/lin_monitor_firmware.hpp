// The firmware's LIN monitor, as an emulated device runs it on each of its LIN interfaces: it hears the frames of a
// LinBus and streams them as monitor items to the application that started it, or keeps the latest item of each frame
// id for the list queries.
//
//   command  request                                       answer
//   0x50     u32 sub-function: 8 configure {u8 buffer mode, u8, u16, u32, u8 item kind (1 small, 0 normal,
//            2 advanced), 3 bytes}; 12 start; 5 filter {u8 mode, u8, u8 a, u8 b, 12 bytes}     response {u32 sub}
//   0x54     u32: 0x01000002 / 0x01000000 small list on / off; 2 / 0 normal list on / off (0 also stops the
//            buffer monitor)                               acknowledge
//   0xF4     {u8 frame id, 3 x 0}: small list answer of 28 bytes; 0xF3 the same, normal, 76 bytes
// Other sub-functions and records that are too short get a negative acknowledge with kLinMonitorRefusal.
//
// Buffer items (20, 68 or 140 bytes): u8 id, u8 length, u8 state, u8[8] data, u8 0, u32 time stamp (400-ns ticks of
// the bus time), u32 time1 (break), then for normal and advanced u32 time2 to time4 (sync, identifier, response) and
// nine u32 byte times A (ends of the data bytes and the checksum, from the break), and for advanced nine B (their
// starts) and nine C (their durations); times in 25-ns ticks, unused entries 0. The items of a monitor frame (command
// 0xF1) follow a u32 item count, itemsPerFrame of them (1 unless set).
// List answers: u8 id, 3 x 0, u32 entry present, u8 state, u8 length, u8 times the id was heard, u8[8] data, u8 0,
// u32 time stamp, u32 time1, and for normal time2 to time4 and byte times A; an id not heard while its list was on
// answers with entry present 0 and zeros.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "qor_emulator/device.hpp"
#include "qor_emulator/lin_bus.hpp"

namespace qor::emulator {

inline constexpr uint32_t kLinMonitorRefusal = 0x00500001;
inline constexpr uint8_t kLinMonitorData = 0xF1;

class LinMonitorFirmware : public std::enable_shared_from_this<LinMonitorFirmware> {
 public:
  // Answers the monitor commands of the device from now on and listens on the bus on these interfaces (attached
  // here); the device's handlers keep the firmware alive.
  static std::shared_ptr<LinMonitorFirmware> attachTo(Device& device, LinBus& bus,
                                                      std::initializer_list<uint8_t> interfaces);

  // Items per monitor frame: heard frames wait until so many are there.
  void setItemsPerFrame(uint8_t interfaceNumber, uint32_t items);

  // While holding, monitor frames (their data) are kept instead of sent: a benchmark sends them itself, outside the
  // time it takes for the firmware's own work.
  void holdFrames(uint8_t interfaceNumber, bool hold);
  std::vector<Bytes> takeHeldFrames(uint8_t interfaceNumber);

  // ---- what the host did ----
  // The application that started the interface's monitor last.
  uint8_t application(uint8_t interfaceNumber) const;
  bool bufferRunning(uint8_t interfaceNumber) const;
  // The last filter record (after the sub-function); empty before any.
  std::optional<Bytes> filter(uint8_t interfaceNumber) const;
  uint64_t itemsSent(uint8_t interfaceNumber) const;

 private:
  struct Heard {
    LinFrame frame;
    LinTiming timing;
    uint8_t count = 0;
  };
  struct Monitor {
    bool running = false;
    uint8_t application = 0;
    uint8_t itemKind = 1;
    bool smallList = false;
    bool normalList = false;
    uint32_t itemsPerFrame = 1;
    uint32_t waiting = 0;
    Bytes pending;  // items not sent yet
    bool holding = false;
    std::vector<Bytes> held;
    uint64_t sent = 0;
    std::optional<Bytes> filter;
    std::map<uint8_t, Heard> latest;
  };

  LinMonitorFirmware(Device& device);
  Reply parameters(const ReceivedFrame& frame);
  Reply listSwitch(const ReceivedFrame& frame);
  Reply listQuery(const ReceivedFrame& frame, bool normal);
  void heard(uint8_t interfaceNumber, const LinFrame& frame, const LinTiming& timing);
  Monitor& monitor(uint8_t interfaceNumber);  // with mutex_ held

  Device& device_;
  mutable std::mutex mutex_;  // guards the monitors; never held while sending
  std::map<uint8_t, Monitor> monitors_;
};

}  // namespace qor::emulator
