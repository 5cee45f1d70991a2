// A fake access path with in-memory devices: frames the daemon writes are recorded, frames and monitor data the test
// emits are read by the daemon, and opens, writes and reads can be made to fail. Test code only.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "access_path.hpp"

namespace qor::test {

using Frame = std::vector<uint8_t>;

// One device, shared by the test and the daemon's opened Device.
class FakeDevice {
public:
  // The device sends a frame; the daemon's next read returns it.
  void emit(Frame frame);
  // The device produces monitor data.
  void emitMonitorData(Frame data);
  // The next count writes fail with 0x1200003.
  void failWrites(int count);
  // The next read fails with code and text.
  void failNextRead(uint32_t code, std::string text);

  // Gives the device FPGA registers (all 0) and a design version; without them its FPGA operations are not
  // available.
  void provideFpga(uint32_t designVersion);
  std::optional<uint32_t> fpgaRegister(uint8_t reg) const;

  std::vector<Frame> written() const;
  bool waitWritten(size_t count, std::chrono::milliseconds timeout) const;
  int writeCalls() const;
  int reads() const;
  int opens() const;
  int closes() const;
  bool isOpen() const;
  bool waitClosed(std::chrono::milliseconds timeout) const;

  // ---- the daemon's side ----
  void opened();
  void closed();
  daemon::PathStatus write(daemon::Bytes frame);
  daemon::PathStatus read(daemon::Buffer frame, uint32_t& length);
  daemon::PathStatus readMonitor(daemon::Buffer data, uint32_t& length);
  daemon::PathStatus fpgaRegisterRead(uint8_t reg, uint32_t& value);
  daemon::PathStatus fpgaRegisterWrite(uint8_t reg, uint32_t value);
  daemon::PathStatus fpgaDesignVersion(uint32_t& version);

private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::deque<Frame> toHost_;
  std::deque<Frame> monitorData_;
  std::vector<Frame> written_;
  int failingWrites_ = 0;
  int writeCalls_ = 0;
  int reads_ = 0;
  std::optional<daemon::PathStatus> readFailure_;
  int opens_ = 0;
  int closes_ = 0;
  std::optional<uint32_t> designVersion_;
  std::map<uint8_t, uint32_t> fpgaRegisters_;
};

class FakePath : public daemon::AccessPath {
public:
  // The device a descriptor names: by its IPv4 address with the Ethernet flag, else by its device number.
  std::shared_ptr<FakeDevice> device(uint32_t identity);
  // The next open fails with code and text.
  void refuseNextOpen(uint32_t code, std::string text);
  // What every device reports at open.
  daemon::Device::Properties properties;
  // The data a driver-information request lists.
  void setDriverInfo(std::vector<uint8_t> data);
  int opens() const;
  // Whether a device of the path was read while the path listed its devices the last time.
  bool readWhileListing() const;
  // The 95xx board requests the path was given; each is answered with its value as data.
  std::vector<BoardRequest95xx> boardRequests() const;

  daemon::PathStatus open(const Qor_InterfaceInfo_t& descriptor, std::unique_ptr<daemon::Device>& device) override;
  daemon::PathStatus driverInfo(uint32_t hostInterfaceType, daemon::Buffer out, uint32_t& written,
                                daemon::Bytes request) override;
  daemon::PathStatus boardRequest(const BoardRequest95xx& request, daemon::Device* device, daemon::Buffer out,
                                  uint32_t& length) override;

private:
  mutable std::mutex mutex_;
  std::map<uint32_t, std::shared_ptr<FakeDevice>> devices_;
  std::optional<daemon::PathStatus> openFailure_;
  std::vector<uint8_t> driverInfo_;
  int opens_ = 0;
  bool readWhileListing_ = false;
  std::vector<BoardRequest95xx> boardRequests_;
};

} // namespace qor::test
