// USB devices as the stand-in libhxusb reaches them (qor_usb_emulator_link.hpp): a Unix seqpacket socket, one call
// per connection. The front end lists controllers as the platform library does (serial number, driver device type;
// a multi-controller device is a group of serial numbers) and addresses each by (driver device type, index), the
// index counting the listed controllers of that type from 1. As with the platform library, the addresses hold from
// one listing to the next: an unplugged device's calls fail with "device removed" until the next listing drops
// it, and a device plugged in is appended. Each controller carries firmware frames to and from
// its own emulator Device; each USB device has FPGA registers, one of which is its design version, a download
// outcome, and (the 7140 model) a scripted monitor byte stream.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "qor_emulator/device.hpp"

namespace qor::emulator {

class Wakeup;
class UsbControllerSink;

struct UsbController {
  uint32_t serialNumber = 0;
  Device* firmware = nullptr; // frames to a controller without firmware are lost; must outlive the front end
};

struct UsbDeviceConfig {
  uint32_t driverType = 0;
  std::vector<UsbController> controllers;
  uint32_t designVersion = 0; // FPGA register kDesignVersionRegister; a download sets it to the file's number
};

// The FPGA register the version query reads.
inline constexpr uint8_t kDesignVersionRegister = 0;

// What a design download does.
enum class UsbDownloadOutcome {
  Done,            // the design version becomes the file's number
  LoadedByAnother, // 0xE000012A; the version reads 0 until, kLateVersionDelay later, the file's number shows
  FirmwareError,   // returns 0 with the status byte kDownloadFirmwareError; the version stays
};
inline constexpr std::chrono::milliseconds kLateVersionDelay{50};
inline constexpr uint32_t kDownloadFirmwareError = 0x3C;
inline constexpr uint32_t kDownloadInProgress = 0xE000012A;

class UsbFrontEnd {
 public:
  // socketPath: where start() listens (an old socket file there is removed).
  explicit UsbFrontEnd(std::string socketPath);
  ~UsbFrontEnd(); // stops
  UsbFrontEnd(const UsbFrontEnd&) = delete;
  UsbFrontEnd& operator=(const UsbFrontEnd&) = delete;

  // Plugs a device in behind the ones there are; returns its handle.
  int plugIn(UsbDeviceConfig device);
  // Unplugs it: its calls fail with "device removed"; the next listing drops it.
  void unplug(int handle);

  uint32_t fpgaRegister(int handle, uint8_t reg) const;
  void setFpgaRegister(int handle, uint8_t reg, uint32_t value);
  // The file paths of the downloads so far, in order.
  std::vector<std::string> downloads() const;
  void setDownloadOutcome(int handle, UsbDownloadOutcome outcome);
  // Scripts the device's monitor bytes: each read takes the next piece, at most its room (the rest comes next).
  void playMonitor(int handle, const std::vector<Bytes>& reads);

  // Listens; throws std::system_error when the socket cannot be bound.
  void start();
  // Closes the socket and joins every thread.
  void stop();

  const std::string& socketPath() const { return socketPath_; }
  // Writes the stand-in's settings file so that it reaches this front end.
  void announce() const;

  // One request of the link (its record and data) and the reply; for front ends that carry the link otherwise.
  std::vector<uint8_t> answer(const std::vector<uint8_t>& request);

 private:
  struct PluggedDevice;
  struct Address {
    PluggedDevice* device = nullptr;
    size_t slot = 0;
  };
  struct Listed {
    int handle;
    uint32_t driverType;
    size_t slot;
  };

  void acceptLoop();
  void serve(int fd);
  void reapCalls(); // joins the calls that are done; needs mutex_
  // The controller at (type, index) as last listed; no device when it is gone. Needs mutex_.
  Address find(uint32_t deviceType, uint32_t index);
  // Lists the plugged devices' controllers afresh; needs mutex_.
  void relist();
  // A frame (room 0: whole) or monitor bytes of the controller at (type, index), waiting at most timeoutMs.
  std::vector<uint8_t> readPiece(uint32_t deviceType, uint32_t index, uint32_t timeoutMs, bool monitor, uint32_t room);
  std::vector<uint8_t> download(PluggedDevice& device, const std::string& path);

  const std::string socketPath_;
  std::unique_ptr<Wakeup> stop_;
  int listenFd_ = -1;
  std::thread listener_;

  mutable std::mutex mutex_; // guards what follows
  std::map<int, std::unique_ptr<PluggedDevice>> devices_; // by handle, which grows in plug-in order
  std::vector<Listed> listed_;                            // the controllers in the order of the last listing
  int nextHandle_ = 1;
  std::vector<std::string> downloads_;
  struct Call {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  std::vector<Call> calls_;
  bool stopping_ = false;
};

}  // namespace qor::emulator
