#include "map_usb.hpp"

#include <sys/stat.h>
#include <syslog.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <thread>
#include <vector>

#include "fpga_files.hpp"
#include "map_usb_7140.hpp"
#include "qor_error_codes.h"
#include "usb_device_table.hpp"
#include "usb_fpga_download.hpp"
#include "usb_library.hpp"
#include "usb_models.hpp"

namespace qor::daemon {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kReadWaitMs = 100;
constexpr uint32_t kFlushReadWaitMs = 1;
constexpr auto kFlushBound = 100ms;
constexpr auto kMonitorResetSettle = 500ms;
constexpr uint32_t kMonitorReadWaitMs = 111;
constexpr uint32_t kMonitorFlushReadWaitMs = 1;
constexpr auto kMonitorFlushBound = 5000ms;
// The largest firmware frame a flush may meet.
constexpr size_t kFlushBufferSize = 0x10000;
constexpr uint32_t kLowest94xxListVersion = 225;
// Register 255 of the FPGA models 36, 37, 69 and 70 holds this while the FPGA runs the family's own design, which
// is then kept.
constexpr uint8_t kFamilySignatureRegister = 255;
constexpr uint32_t kFpgaFamilySignature = 0x46414D31;
// The 7140 model's FPGA register 2 takes all ones to reset its monitor FIFO.
constexpr uint8_t kMonitorResetRegister = 2;
constexpr uint32_t kMonitorReset = 0xFFFF;
// Devices of the 7160 family up to this serial number have no loadable design.
constexpr uint32_t kLast7160WithoutFile = 20070034;

enum Operation : unsigned {
  kFrames = 1u << 0,
  kFrames94xx = 1u << 1,
  kRegisters = 1u << 2,
  kFifoWrite = 1u << 3,
  kFlush = 1u << 4,
  kMonitor7140 = 1u << 5,
};

enum class Extra { None, Monitor7140, SerialGated7160, Check94xxList, FamilySignature };

struct ModelSetup {
  std::initializer_list<uint32_t> hostTypes;
  unsigned operations;
  const char* fpgaFile; // the model name prefix of its FPGA files; nullptr: no image check
  Extra extra;
  uint16_t relays = 0; // in FPGA registers
};

constexpr unsigned kFirmwareModel = kFrames | kRegisters | kFlush;

const ModelSetup kModelSetups[] = {
    {{10, 11}, kFirmwareModel, "USB7130", Extra::None},
    {{12}, kFirmwareModel | kMonitor7140, nullptr, Extra::Monitor7140},
    {{13, 14}, kFirmwareModel, "USB7150", Extra::None},
    {{15, 16, 28}, kFirmwareModel, "USB7160", Extra::SerialGated7160},
    {{17, 39, 52}, kFrames, nullptr, Extra::None},
    {{19}, kRegisters | kFifoWrite | kFlush, nullptr, Extra::None},
    {{23, 25, 27, 30, 31, 40, 41, 44, 45, 46, 47, 55}, kFrames94xx | kFlush, nullptr, Extra::Check94xxList},
    {{33}, kRegisters, "USB8200", Extra::None},
    {{36}, kRegisters, "USB7350", Extra::FamilySignature, 32},
    {{37}, kRegisters, "USB7320", Extra::FamilySignature, 16},
    {{69}, kRegisters, "USB7330", Extra::FamilySignature, 18},
    {{70}, kRegisters, "USB73400", Extra::FamilySignature, 128},
    {{42, 43}, kRegisters, nullptr, Extra::None},
    {{71}, kRegisters, nullptr, Extra::None, 64},
};

const ModelSetup* setupOf(uint32_t hostType) {
  for (const ModelSetup& setup : kModelSetups) {
    if (std::find(setup.hostTypes.begin(), setup.hostTypes.end(), hostType) != setup.hostTypes.end()) return &setup;
  }
  return nullptr;
}

bool fileExists(const char* path) {
  struct stat status {};
  return stat(path, &status) == 0;
}

// Where one opened controller is reached. A refresh of the device list moves it, or marks it removed when its
// device has gone.
class ControllerAddress {
public:
  struct At {
    uint32_t driverType;
    uint32_t index;
    uint32_t deviceNumber;
    bool removed;
  };
  ControllerAddress(At at, uint32_t deviceSerial, uint8_t controllerNumber)
      : baseSerial(deviceSerial), controller(controllerNumber), at_(at) {}

  At at() const {
    std::lock_guard lock(mutex_);
    return at_;
  }
  void moveTo(uint32_t index, uint32_t deviceNumber) {
    std::lock_guard lock(mutex_);
    at_.index = index;
    at_.deviceNumber = deviceNumber;
  }
  // A removed device takes a number no listing gives, so that no connect finds its port.
  void markRemoved() {
    std::lock_guard lock(mutex_);
    at_.removed = true;
    at_.deviceNumber = UINT32_MAX;
  }

  const uint32_t baseSerial;
  const uint8_t controller; // 1 to 4

private:
  mutable std::mutex mutex_;
  At at_;
};

class UsbDevice final : public Device {
public:
  UsbDevice(std::shared_ptr<UsbLibrary> library, std::shared_ptr<ControllerAddress> address, unsigned operations)
      : library_(std::move(library)), address_(std::move(address)), operations_(operations) {}

  PathStatus write(Bytes frame) override {
    const auto& f = library_->functions();
    if (has(kFrames)) {
      return call(QOR_ERR_USB_WRITE, "QorUSB_Platform_Write_FIFO", f.writeFifo, frame.data(), size(frame));
    }
    if (has(kFrames94xx)) {
      return call(QOR_ERR_USB_WRITE, "QorUSB_Platform_94xx_WriteData", f.write94xx, frame.data(), size(frame));
    }
    return functionNotAvailable();
  }

  PathStatus read(Buffer frame, uint32_t& length) override {
    length = 0;
    if (has(kFrames)) return readInto(library_->functions().readFifoTimeout, frame, length, kReadWaitMs);
    if (has(kFrames94xx)) {
      return readInto(library_->functions().read94xx, frame, length, kReadWaitMs, "QorUSB_Platform_94xx_ReadData");
    }
    return functionNotAvailable();
  }

  PathStatus flushResponse() override {
    if (!has(kFlush)) return functionNotAvailable();
    std::vector<uint8_t> discarded(kFlushBufferSize);
    for (const auto deadline = Clock::now() + kFlushBound;;) {
      uint32_t length = 0;
      const PathStatus status = readInto(library_->functions().readFifoTimeout, discarded, length, kFlushReadWaitMs);
      if (!status.ok()) return status;
      if (length == 0) return {};
      if (Clock::now() > deadline) {
        return pathError(QOR_ERR_USB_FLUSH_TIMEOUT, "could not flush response buffer (timeout)");
      }
    }
  }

  PathStatus fpgaRegisterRead(uint8_t reg, uint32_t& value) override {
    value = 0;
    if (!has(kRegisters)) return functionNotAvailable();
    return call(QOR_ERR_USB_FPGA_READ, "QorUSB_Platform_Xilinx_Read", library_->functions().registerRead, reg, &value);
  }

  PathStatus fpgaRegisterWrite(uint8_t reg, uint32_t value) override {
    if (!has(kRegisters)) return functionNotAvailable();
    return call(QOR_ERR_USB_FPGA_WRITE, "QorUSB_Platform_Xilinx_Write", library_->functions().registerWrite, reg,
                value);
  }

  PathStatus fpgaDesignVersion(uint32_t& version) override {
    version = 0;
    return call(QOR_ERR_USB_FPGA_READ, "QorUSB_Platform_Xilinx_Version", library_->functions().designVersion, &version);
  }

  // The parameters are the path of the design file, ended by a NUL.
  PathStatus fpgaReconfigure(Bytes parameters) override {
    const auto end = std::find(parameters.begin(), parameters.end(), uint8_t{0});
    if (end == parameters.end()) {
      return pathError(QOR_ERR_SERVER_INVALID_PARAMETER, "the file path is not terminated within %zu bytes",
                       parameters.size());
    }
    const std::string path(parameters.begin(), end);
    uint32_t first = 0;
    uint32_t second = 0;
    return call(QOR_ERR_USB_FPGA_READ, "QorUSB_Platform_FPGA_Reconfiguration", library_->functions().reconfigure,
                path.c_str(), &first, &second);
  }

  uint32_t listedDeviceNumber() const override { return address_->at().deviceNumber; }

  PathStatus initMonitor(uint8_t) override {
    if (!has(kMonitor7140)) return functionNotAvailable();
    std::lock_guard lock(monitorMutex_);
    assembly_.clear();
    std::vector<uint8_t> discarded(k7140MonitorDataSize);
    for (const auto deadline = Clock::now() + kMonitorFlushBound;;) {
      uint32_t length = 0;
      if (PathStatus status = readMonitorBytes(discarded, length, kMonitorFlushReadWaitMs); !status.ok()) return status;
      if (length == 0) return {};
      if (Clock::now() > deadline) return pathError(QOR_ERR_USB_NOT_SUPPORTED, "could not flush monitor buffer");
    }
  }

  PathStatus readMonitor(Buffer data, uint32_t& length) override {
    length = 0;
    if (!has(kMonitor7140)) return functionNotAvailable();
    std::lock_guard lock(monitorMutex_);
    std::vector<uint8_t> read(k7140MonitorDataSize - std::min(assembly_.held(), k7140MonitorDataSize - 1));
    uint32_t got = 0;
    if (PathStatus status = readMonitorBytes(read, got, kMonitorReadWaitMs); !status.ok()) return status;
    length = static_cast<uint32_t>(assembly_.take(std::span(read).first(got), data));
    return {};
  }

  PathStatus fpgaFifoWrite(Bytes data) override {
    if (!has(kFifoWrite)) return functionNotAvailable();
    return call(QOR_ERR_USB_WRITE, "QorUSB_Platform_Write_FIFO_Memory", library_->functions().writeFifoMemory,
                data.data(), size(data));
  }

private:
  bool has(unsigned operation) const { return (operations_ & operation) != 0; }
  static uint32_t size(Bytes data) { return static_cast<uint32_t>(data.size()); }

  // Calls function(type, index, arguments...) at the controller's address; an unbound function and a removed
  // device are failures of their own, never calls.
  template <class Function, class... Arguments>
  PathStatus call(uint32_t code, const char* name, Function function, Arguments... arguments) const {
    if (function == nullptr) return pathError(code, "'%s' is not available in '%s'", name, kUsbLibraryName);
    const ControllerAddress::At at = address_->at();
    if (at.removed) return usbLibraryFailure(code, name, kUsbDeviceRemoved);
    const uint32_t result = function(at.driverType, at.index, arguments...);
    return result == 0 ? PathStatus{} : usbLibraryFailure(code, name, result);
  }

  // One frame into buffer; the library learns the room and reports a larger frame as its failure.
  PathStatus readInto(UsbLibrary::ReadFifo function, Buffer buffer, uint32_t& length, uint32_t waitMs,
                      const char* name = "QorUSB_Platform_Read_FIFO") const {
    uint32_t size = static_cast<uint32_t>(std::min<size_t>(buffer.size(), UINT32_MAX));
    PathStatus status = call(QOR_ERR_USB_READ, name, function, buffer.data(), &size, waitMs);
    length = status.ok() ? std::min<uint32_t>(size, static_cast<uint32_t>(buffer.size())) : 0;
    return status;
  }

  // One read of the 7140 model's monitor bytes, addressed by the controller index alone.
  PathStatus readMonitorBytes(Buffer buffer, uint32_t& length, uint32_t waitMs) const {
    constexpr const char* kName = "QorUSB_Platform_7140_Read_FIFO_Extended_Packet_Timeout";
    length = 0;
    const auto read = library_->functions().readMonitor7140;
    if (read == nullptr) return pathError(QOR_ERR_USB_READ, "'%s' is not available in '%s'", kName, kUsbLibraryName);
    const ControllerAddress::At at = address_->at();
    if (at.removed) return usbLibraryFailure(QOR_ERR_USB_READ, kName, kUsbDeviceRemoved);
    uint32_t size = static_cast<uint32_t>(buffer.size());
    if (const uint32_t rc = read(at.index, buffer.data(), &size, waitMs)) {
      return usbLibraryFailure(QOR_ERR_USB_READ, kName, rc);
    }
    length = std::min<uint32_t>(size, static_cast<uint32_t>(buffer.size()));
    return {};
  }

  const std::shared_ptr<UsbLibrary> library_;
  const std::shared_ptr<ControllerAddress> address_;
  const unsigned operations_;
  std::mutex monitorMutex_; // the monitor thread's reads and a monitor start share the assembly
  Monitor7140Assembly assembly_;
};

class UsbPath final : public AccessPath {
public:
  UsbPath(std::string fpgaDirectory, std::string libraryName)
      : fpgaDirectory_(std::move(fpgaDirectory)), libraryName_(std::move(libraryName)) {}

  PathStatus start(const PathSettings&) override {
    std::lock_guard lock(mutex_);
    active_ = fileExists(kUsbRuleFile);
    if (!active_) {
      syslog(LOG_DEBUG, "%s : No USB support\n", "Qor_Map_Usb_Init");
      return {};
    }
    rebuild();
    return {};
  }

  PathStatus refresh(bool) override {
    std::lock_guard lock(mutex_);
    return refreshLocked();
  }

  PathStatus driverInfo(uint32_t, Buffer out, uint32_t& written, Bytes) override {
    written = 0;
    std::lock_guard lock(mutex_);
    if (!active_) return {};
    if (PathStatus status = refreshLocked(); !status.ok()) return status;
    const std::vector<uint8_t> table = usbDriverInformation(table_);
    if (table.size() > out.size()) return PathStatus{QOR_ERR_SERVER_RESPONSE_BUFFER_TOO_SMALL, {}};
    std::copy(table.begin(), table.end(), out.begin());
    written = static_cast<uint32_t>(table.size());
    return {};
  }

  PathStatus open(const Qor_InterfaceInfo_t& descriptor, std::unique_ptr<Device>& device) override;

private:
  PathStatus rebuild();
  PathStatus refreshLocked();
  PathStatus checkImage(const ModelSetup& setup, const UsbLibrary& library, const UsbDeviceRecord& record,
                        uint32_t openedIndex);
  PathStatus download(const UsbLibrary::Functions& f, uint32_t type, uint32_t index, const FpgaFile& file);

  const std::string fpgaDirectory_;
  const std::string libraryName_;
  std::mutex mutex_; // guards what follows
  bool active_ = false;
  UsbDeviceTable table_;
  std::weak_ptr<UsbLibrary> library_; // loaded by the first open, unloaded with the last device
  std::vector<std::weak_ptr<ControllerAddress>> opened_;
};

PathStatus UsbPath::rebuild() {
  auto listed = UsbLibrary::readDeviceList(libraryName_);
  if (auto* failure = std::get_if<PathStatus>(&listed)) {
    table_ = {};
    return *failure;
  }
  table_ = std::move(std::get<UsbDeviceTable>(listed));
  syslog(LOG_DEBUG, "%s : devices Found %zu\n", "Qor_Map_Usb_BuildInternalDriverInfo", table_.devices.size());
  return {};
}

PathStatus UsbPath::refreshLocked() {
  if (!active_) {
    syslog(LOG_DEBUG, "%s : No USB support\n", "Qor_Map_Usb_RefreshDriverInfo");
    return {};
  }
  PathStatus status = rebuild();
  if (status.code == QOR_ERR_USB_LOAD_LIBRARY) status = {};
  std::erase_if(opened_, [](const auto& address) { return address.expired(); });
  for (const auto& weak : opened_) {
    const auto address = weak.lock();
    if (!address) continue;
    const UsbDeviceRecord* record = table_.findBySerial(address->baseSerial);
    const UsbControllerSlot* slot = record != nullptr ? &record->slots[address->controller - 1] : nullptr;
    if (slot != nullptr && slot->present) {
      address->moveTo(slot->index, record->deviceNumber);
    } else {
      address->markRemoved();
    }
  }
  return status;
}

PathStatus UsbPath::open(const Qor_InterfaceInfo_t& descriptor, std::unique_ptr<Device>& device) {
  std::lock_guard lock(mutex_);
  if (!active_) return PathStatus{QOR_ERR_SERVER_DEVICE_NOT_CONNECTED, {}};

  std::shared_ptr<UsbLibrary> library = library_.lock();
  if (!library) {
    auto loaded = UsbLibrary::loadForPorts(libraryName_);
    if (auto* failure = std::get_if<PathStatus>(&loaded)) return *failure;
    library = std::get<std::shared_ptr<UsbLibrary>>(loaded);
    library_ = library;
  }

  const auto translated = usbDriverTypeOf(descriptor.hostInterfaceType);
  if (const auto* failure = std::get_if<PathStatus>(&translated)) return *failure;
  const uint32_t driverType = std::get<uint32_t>(translated);
  const char* model = usbModelName(driverType);
  const int number = static_cast<int>(descriptor.deviceNumber);
  const UsbDeviceRecord* record = table_.find(driverType, descriptor.deviceNumber);
  if (record == nullptr) {
    return pathError(QOR_ERR_SERVER_DEVICE_NOT_CONNECTED, "%s #%d is not available", model, number);
  }
  const uint8_t controller = descriptor.controllerNumber;
  if (controller == 0 || controller > record->controllerCount || !record->slots[controller - 1].present) {
    return pathError(QOR_ERR_USB_CONTROLLER_NOT_AVAILABLE, "%s #%d controller %d is not available", model, number,
                     controller);
  }
  const ModelSetup* setup = setupOf(descriptor.hostInterfaceType);
  if (setup == nullptr) {
    return pathError(QOR_ERR_USB_NOT_SUPPORTED, "device not supported for usb over ethernet connection");
  }
  if (!record->slots[0].present) {
    return pathError(QOR_ERR_USB_CONTROLLER_NOT_AVAILABLE,
                     "%s #%d controller %d that is necessary for fpga access is not available", model, number, 1);
  }
  if (PathStatus status = checkImage(*setup, *library, *record, record->slots[controller - 1].index); !status.ok()) {
    return status;
  }

  const auto address = std::make_shared<ControllerAddress>(
      ControllerAddress::At{driverType, record->slots[controller - 1].index, record->deviceNumber, false},
      record->baseSerial, controller);
  auto opened = std::make_unique<UsbDevice>(library, address, setup->operations);
  opened->properties.deviceIdentifier = record->baseSerial;
  opened->properties.module = static_cast<uint8_t>(record - table_.devices.data() + 1);
  opened->properties.flushAfterOpen = (setup->operations & kFlush) != 0;
  opened->properties.relayCount = setup->relays;
  if ((setup->operations & kMonitor7140) != 0) {
    opened->properties.monitorNeedsInit = true;
    opened->properties.monitorDataSize = k7140MonitorDataSize;
  }
  std::erase_if(opened_, [](const auto& weak) { return weak.expired(); });
  opened_.push_back(address);
  device = std::move(opened);
  return {};
}

// The model's own steps before its first use, and its FPGA design brought up to the newest file.
PathStatus UsbPath::checkImage(const ModelSetup& setup, const UsbLibrary& library, const UsbDeviceRecord& record,
                               uint32_t openedIndex) {
  const UsbLibrary::Functions& f = library.functions();
  const uint32_t type = record.driverType;
  const uint32_t first = record.slots[0].index;
  const char* fpgaFile = setup.fpgaFile;
  switch (setup.extra) {
    case Extra::None: break;
    case Extra::Monitor7140: {
      if (f.registerWrite == nullptr) {
        return pathError(QOR_ERR_USB_FPGA_WRITE, "'%s' is not available in '%s'", "QorUSB_Platform_Xilinx_Write",
                         kUsbLibraryName);
      }
      if (const uint32_t rc = f.registerWrite(type, first, kMonitorResetRegister, kMonitorReset)) {
        return usbLibraryFailure(QOR_ERR_USB_FPGA_WRITE, "QorUSB_Platform_Xilinx_Write", rc);
      }
      std::this_thread::sleep_for(kMonitorResetSettle);
      break;
    }
    case Extra::SerialGated7160:
      if (record.baseSerial <= kLast7160WithoutFile) fpgaFile = nullptr;
      break;
    case Extra::Check94xxList:
      if (table_.libraryVersion < kLowest94xxListVersion) {
        return pathError(QOR_ERR_USB_VERSION_TOO_OLD, "version %d.%02d found, but version 2.25 or higher expected",
                         static_cast<int>(table_.libraryVersion / 100), static_cast<int>(table_.libraryVersion % 100));
      }
      break;
    case Extra::FamilySignature: {
      uint32_t signature = 0;
      if (f.registerRead != nullptr && f.registerRead(type, openedIndex, kFamilySignatureRegister, &signature) == 0 &&
          signature == kFpgaFamilySignature) {
        fpgaFile = nullptr;
      }
      break;
    }
  }
  if (fpgaFile == nullptr) return {};

  auto found = findFpgaFile(fpgaDirectory_, fpgaFile);
  if (auto* failure = std::get_if<PathStatus>(&found)) return *failure;
  const FpgaFile& file = std::get<FpgaFile>(found);
  if (f.designVersion == nullptr) {
    return pathError(QOR_ERR_USB_FPGA_IMAGE, "'%s' is not available in '%s'", "QorUSB_Platform_Xilinx_Version",
                     kUsbLibraryName);
  }
  uint32_t version = 0;
  if (const uint32_t rc = f.designVersion(type, first, &version)) {
    return usbLibraryFailure(QOR_ERR_USB_FPGA_IMAGE, "QorUSB_Platform_Xilinx_Version", rc);
  }
  return version == file.version ? PathStatus{} : download(f, type, first, file);
}

PathStatus UsbPath::download(const UsbLibrary::Functions& f, uint32_t type, uint32_t index, const FpgaFile& file) {
  constexpr const char* kName = "QorUSB_Platform_Xilinx_Download";
  if (f.download == nullptr) {
    return pathError(QOR_ERR_USB_FPGA_IMAGE, "'%s' is not available in '%s'", kName, kUsbLibraryName);
  }
  return loadFpgaDesign({kName, "QorUSB_Platform_Xilinx_Version",
                         [&](const char* path, uint32_t* status) { return f.download(type, index, path, status); },
                         [&](uint32_t* version) { return f.designVersion(type, index, version); }},
                        file);
}

} // namespace

std::unique_ptr<AccessPath> makeUsbPath(std::string fpgaDirectory, std::string libraryName) {
  return std::make_unique<UsbPath>(std::move(fpgaDirectory), std::move(libraryName));
}

} // namespace qor::daemon
