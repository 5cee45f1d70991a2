// The core of an emulated device, independent of the transport: it takes the command frames a front end hands
// it, records them, and plays its answers through the front end's sink. Front ends: TcpFrontEnd for Ethernet;
// the USB and card stand-ins sit in front of the same core.
//
// Answers, the first that applies:
// - the request table (request_table.hpp), for a command given expectations with expect(), unless the request is
//   one of the three housekeeping queries below, which the library and the daemon put to every device;
// - a handler registered with onCommand for the command;
// - built in (the records of qor_shared/firmware_records.hpp): the serial-number query 0x0C {u32 5} gets
//   {u32 5, u32 serial}; the identity 0xFF with a first parameter word of 0 gets the identity below; 0xFD {u32 code}
//   gets {u32 code, text with NUL};
// - otherwise request kind 1 gets an acknowledge (type 2, u32 0); kinds 0 and 2 get nothing.
// Every answer copies TAddr, TPort, App, Mod and the command byte from the command (ReceivedFrame's builders).
//
// Faults are replies too, for example:
//   negative acknowledge   frame.negativeAcknowledge(0x1F, "busy")
//   silence                Reply()  (registered for 0x0C: a device that never tells its serial number)
//   delay                  Reply().wait(200ms).send(frame.response(data))
//   cut between frames     Reply(frame.response(data)).cut(), or TcpFrontEnd::cutConnections() at any time
//   cut inside a frame     Reply(firstBytes(frame.response(data), 6)).cut()
//   lying length           withLength(frame.response(data), 8), or 100 with fewer bytes sent
// Refused connections and a black hole are TcpFrontEnd's.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "qor_emulator/frame.hpp"
#include "qor_emulator/recorder.hpp"
#include "qor_emulator/reply.hpp"
#include "qor_emulator/request_table.hpp"

namespace qor::emulator {

struct InterfaceEntry {
  uint8_t firmwareCode;
  uint8_t number;
};

// The answer to the identity command 0xFF.
struct Identity {
  uint32_t deviceCode = 0;         // data offset 28, translated by the library to a host interface type
  bool bootLoaderRunning = false;  // bit 0 of the word at 4
  uint32_t word8 = 0;              // the word at 8: controller type and subtype
  std::vector<InterfaceEntry> interfaces;  // count at 36, pairs from 40
};

struct DeviceConfig {
  uint32_t serialNumber = 0;
  uint32_t hostType = 0;
  // When not given: the host type's first firmware device code and no interfaces.
  std::optional<Identity> identity = std::nullopt;
  // Network settings the device reports in its discovery answer, as numbers (0xFFFFFF00 is 255.255.255.0).
  uint32_t mac = 0;
  uint32_t netmask = 0xFF000000;
  uint32_t gateway = 0;
};

// One connection (or ring) of a front end, through which the device sends to the host.
class FrameSink {
 public:
  virtual ~FrameSink() = default;
  virtual uint64_t id() const = 0;  // ReceivedFrame::connection() of the frames it carried
  virtual bool isOpen() const = 0;
  // Plays the steps in order; returns when they are done or the sink closed.
  virtual void play(const Reply& reply) = 0;
};

class Device {
 public:
  // Throws std::invalid_argument for a host type without firmware device code when no identity is given.
  explicit Device(DeviceConfig config);

  const DeviceConfig& config() const { return config_; }
  const Identity& identity() const { return *config_.identity; }

  // Replaces the built-in answer or an earlier handler. Handlers of one device never run concurrently; they
  // may call sendToApplication.
  void onCommand(uint8_t command, Handler handler);
  // The text that 0xFD gives for a code; unknown codes give an empty text.
  void setErrorText(uint32_t code, std::string text);

  // Expected requests and their canned answers; unexpectedRequests() and unmetExpectations() of requests() report
  // what went otherwise.
  RequestTable::Expectation expect(uint8_t command, Bytes parameters) {
    return requests_.expect(command, std::move(parameters));
  }
  RequestTable::Expectation expectStartingWith(uint8_t command, Bytes head) {
    return requests_.expectStartingWith(command, std::move(head));
  }
  const RequestTable& requests() const { return requests_; }

  // A frame from the host, whole as its length says. False when it is no frame (counted, not recorded): the
  // front end closes the connection, since the stream has lost its framing.
  bool receive(std::span<const uint8_t> frame, const std::shared_ptr<FrameSink>& origin);

  // Unsolicited frames, on the connection that last carried a frame of this application or, when that one has
  // closed meanwhile, on the one that last carried any frame. False when the application sent no frame yet or
  // that connection is closed too.
  bool sendToApplication(uint8_t application, const Reply& reply);
  // A response frame addressed as the application's last frame, with this command byte and data.
  bool sendToApplication(uint8_t application, uint8_t command, std::span<const uint8_t> data);
  // That frame built without sending it, for a sender whose own building must not count (a benchmark's device);
  // nothing when the application sent no frame yet.
  std::optional<Bytes> responseFrame(uint8_t application, uint8_t command, std::span<const uint8_t> data);

  // The application that sent the last frame to this controller and interface, if any did.
  std::optional<uint8_t> lastApplicationOn(uint8_t controller, uint8_t interfaceNumber) const;

  Recorder& recorder() { return recorder_; }
  uint64_t malformedFrames() const;

 private:
  struct Route {
    std::weak_ptr<FrameSink> sink;
    FirmwareMessageHeader header;  // of the application's last frame
  };

  Reply answer(const ReceivedFrame& frame);
  std::shared_ptr<FrameSink> sinkFor(uint8_t application, FirmwareMessageHeader* header);
  void installBuiltIns();

  const DeviceConfig config_;
  Recorder recorder_;
  RequestTable requests_;

  mutable std::mutex mutex_;  // guards what follows
  std::map<uint8_t, Handler> handlers_;
  std::map<uint32_t, std::string> errorTexts_;
  std::map<uint8_t, Route> routes_;
  std::map<std::pair<uint8_t, uint8_t>, uint8_t> lastApplications_;  // by controller and interface
  std::weak_ptr<FrameSink> lastSink_;
  uint64_t malformed_ = 0;

  std::mutex handlerMutex_;  // serialises handlers
};

}  // namespace qor::emulator
