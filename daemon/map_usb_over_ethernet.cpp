#include "map_usb_over_ethernet.hpp"

#include <syslog.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "fpga_files.hpp"
#include "qor_error_codes.h"
#include "qor_shared/byte_reader.hpp"
#include "usb_device_table.hpp"
#include "usb_fpga_download.hpp"
#include "usb_models.hpp"

namespace qor::daemon {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Library = UsbOverEthernetLibrary;

constexpr uint32_t kConnectWaitMs = 4000;
constexpr auto kEnumerationBound = 60000ms;
constexpr auto kEnumerationPollStep = 1ms;
constexpr uint32_t kEnumerationDone = 1;
constexpr uint32_t kEnumerating = 2;
constexpr uint32_t kHighestDeviceNumber = 128;
constexpr auto kDesignSettle = 500ms;

// The models served behind an adapter: the FPGA models, whose design files are named after the model, and one
// without design files.
struct ServedModel {
  uint32_t hostType;
  bool designFiles;
};
constexpr ServedModel kServedModels[] = {{33, true}, {36, true}, {37, true}, {69, true}, {70, true}, {71, false}};

const ServedModel* servedModel(uint32_t hostType) {
  const auto found = std::find_if(std::begin(kServedModels), std::end(kServedModels),
                                  [&](const ServedModel& model) { return model.hostType == hostType; });
  return found != std::end(kServedModels) ? found : nullptr;
}

// The adapter a descriptor names: the u32 behind the binary address.
uint32_t targetOf(const Qor_InterfaceInfo_t& descriptor) {
  uint32_t target;
  memcpy(&target, descriptor.ipAddress + sizeof target, sizeof target);
  return target;
}

// What the path keeps, shared with the leases of its ports and listings.
struct PathState {
  using ControllerKey = std::pair<uint32_t, uint32_t>; // driver device type, controller index

  struct Target {
    uint32_t connection = 0;
    uint32_t users = 0; // open ports and running listings; the last one disconnects
    uint32_t ports = 0; // open ports; the first one lists the adapter's devices for the others
    UsbDeviceTable table;
    std::map<ControllerKey, uint32_t> openControllers; // open ports per controller
  };

  std::mutex mutex; // guards what follows
  std::weak_ptr<Library> library; // loaded while a lease holds it
  std::map<uint32_t, Target> targets;
};

// One user of an adapter's connection: a listing for its duration, a port for its life. Holds the library too.
class TargetLease {
public:
  // Connects to target unless connected already. Needs state->mutex.
  static std::variant<std::unique_ptr<TargetLease>, PathStatus> take(const std::shared_ptr<PathState>& state,
                                                                     const std::string& libraryName, uint32_t target) {
    std::shared_ptr<Library> library = state->library.lock();
    if (!library) {
      auto loaded = Library::load(libraryName);
      if (auto* failure = std::get_if<PathStatus>(&loaded)) return *failure;
      library = std::get<std::shared_ptr<Library>>(loaded);
      state->library = library;
    }
    auto found = state->targets.find(target);
    if (found == state->targets.end()) {
      uint32_t connection = 0;
      if (const uint32_t rc = library->functions().connect(target, kConnectWaitMs, &connection)) {
        return pathError(QOR_ERR_USB_CONNECT, "connect failed - %s", usbLibraryErrorText(rc).c_str());
      }
      found = state->targets.emplace(target, PathState::Target{}).first;
      found->second.connection = connection;
    }
    ++found->second.users;
    return std::unique_ptr<TargetLease>(new TargetLease(state, std::move(library), target, found->second.connection));
  }

  // Takes state->mutex.
  ~TargetLease() {
    std::lock_guard lock(state_->mutex);
    const auto found = state_->targets.find(target_);
    if (found == state_->targets.end() || --found->second.users != 0) return;
    if (const uint32_t rc = library_->functions().disconnect(target_)) {
      syslog(LOG_ERR, "0x%08X: disconnect failed - %s\n", QOR_ERR_USB_CONNECT, usbLibraryErrorText(rc).c_str());
    }
    state_->targets.erase(found);
  }

  TargetLease(const TargetLease&) = delete;
  TargetLease& operator=(const TargetLease&) = delete;

  const Library::Functions& functions() const { return library_->functions(); }
  uint32_t connection() const { return connection_; }
  uint32_t target() const { return target_; }

private:
  TargetLease(std::shared_ptr<PathState> state, std::shared_ptr<Library> library, uint32_t target,
              uint32_t connection)
      : state_(std::move(state)), library_(std::move(library)), target_(target), connection_(connection) {}

  const std::shared_ptr<PathState> state_;
  const std::shared_ptr<Library> library_;
  const uint32_t target_;
  const uint32_t connection_;
};

// The devices behind the adapter once it has enumerated them.
std::variant<UsbDeviceTable, PathStatus> listDevices(const TargetLease& lease) {
  const Library::Functions& f = lease.functions();
  for (const auto deadline = Clock::now() + kEnumerationBound;;) {
    uint32_t status = 0;
    if (const uint32_t rc = f.enumerationStatus(&status, lease.connection())) {
      return usbLibraryFailure(QOR_ERR_USB_NOT_SUPPORTED, "QorUSB_Platform_DeviceEnumerationStatus_Get_UoE", rc);
    }
    if (status == kEnumerationDone) break;
    if (status != kEnumerating) {
      return pathError(QOR_ERR_USB_NOT_SUPPORTED, "received unknown device enumeration status '0x%x'", status);
    }
    if (Clock::now() > deadline) return pathError(QOR_ERR_USB_NOT_SUPPORTED, "timeout for usb device enumeration");
    std::this_thread::sleep_for(kEnumerationPollStep);
  }
  std::vector<uint8_t> raw(kUsbRawListSize, 0);
  const uint32_t rc = f.driverInfo(raw.data(), kUsbRawListSize, lease.connection(), 0);
  // An adapter without devices lists none, as the host's USB does.
  if (rc == kUsbNoDevicePresent) return UsbDeviceTable{};
  if (rc != 0) return usbLibraryFailure(QOR_ERR_USB_DRIVER_INFO, "QorUSB_Platform_Driver_Info_UoE", rc);
  return buildUsbDeviceTable(raw);
}

class UsbOverEthernetDevice final : public Device {
public:
  UsbOverEthernetDevice(std::shared_ptr<PathState> state, std::unique_ptr<TargetLease> lease,
                        PathState::ControllerKey controller)
      : state_(std::move(state)), lease_(std::move(lease)), controller_(controller) {}

  // Gives the port's place back; the lease then gives its connection back.
  ~UsbOverEthernetDevice() override {
    std::lock_guard lock(state_->mutex);
    PathState::Target& target = state_->targets.at(lease_->target());
    if (--target.openControllers.at(controller_) == 0) target.openControllers.erase(controller_);
    --target.ports;
  }

  PathStatus fpgaRegisterRead(uint8_t reg, uint32_t& value) override {
    value = 0;
    return call(QOR_ERR_USB_FPGA_READ, "QorUSB_Platform_Xilinx_Read_UoE", lease_->functions().registerRead, reg,
                &value);
  }

  PathStatus fpgaRegisterWrite(uint8_t reg, uint32_t value) override {
    return call(QOR_ERR_USB_FPGA_WRITE, "QorUSB_Platform_Xilinx_Write_UoE", lease_->functions().registerWrite, reg,
                value);
  }

  PathStatus fpgaDesignVersion(uint32_t& version) override {
    version = 0;
    return call(QOR_ERR_USB_FPGA_READ, "QorUSB_Platform_Xilinx_Version_UoE", lease_->functions().designVersion,
                &version);
  }

private:
  template <class Function, class... Arguments>
  PathStatus call(uint32_t code, const char* name, Function function, Arguments... arguments) const {
    const uint32_t rc = function(controller_.first, controller_.second, arguments..., lease_->connection());
    return rc == 0 ? PathStatus{} : usbLibraryFailure(code, name, rc);
  }

  const std::shared_ptr<PathState> state_;
  const std::unique_ptr<TargetLease> lease_; // destroyed after the body of the destructor
  const PathState::ControllerKey controller_;
};

class UsbOverEthernetPath final : public AccessPath {
public:
  UsbOverEthernetPath(std::string fpgaDirectory, std::string libraryName)
      : fpgaDirectory_(std::move(fpgaDirectory)), libraryName_(std::move(libraryName)) {}

  PathStatus driverInfo(uint32_t, Buffer out, uint32_t& written, Bytes request) override;
  PathStatus open(const Qor_InterfaceInfo_t& descriptor, std::unique_ptr<Device>& device) override;

private:
  PathStatus bringDesignUpToDate(const TargetLease& lease, uint32_t driverType, uint32_t index,
                                 const FpgaFile& file) const;

  const std::string fpgaDirectory_;
  const std::string libraryName_;
  const std::shared_ptr<PathState> state_ = std::make_shared<PathState>();
};

PathStatus UsbOverEthernetPath::driverInfo(uint32_t, Buffer out, uint32_t& written, Bytes request) {
  written = 0;
  const std::optional<uint32_t> target = readU32LE(request, 0);
  if (!target) return pathError(QOR_ERR_SERVER_INVALID_PARAMETER, "the request names no adapter");
  std::unique_ptr<TargetLease> lease;
  {
    std::lock_guard lock(state_->mutex);
    auto taken = TargetLease::take(state_, libraryName_, *target);
    if (auto* failure = std::get_if<PathStatus>(&taken)) return *failure;
    lease = std::move(std::get<std::unique_ptr<TargetLease>>(taken));
  }
  // A listing of its own: the table of the target's ports stays as their first open found it.
  auto listed = listDevices(*lease);
  if (auto* failure = std::get_if<PathStatus>(&listed)) return *failure;
  const std::vector<uint8_t> table =
      usbDriverInformation(std::get<UsbDeviceTable>(listed), kCommunicationUsbOverEthernet);
  if (table.size() > out.size()) return PathStatus{QOR_ERR_SERVER_RESPONSE_BUFFER_TOO_SMALL, {}};
  std::copy(table.begin(), table.end(), out.begin());
  written = static_cast<uint32_t>(table.size());
  return {};
}

PathStatus UsbOverEthernetPath::open(const Qor_InterfaceInfo_t& descriptor, std::unique_ptr<Device>& device) {
  std::unique_ptr<TargetLease> lease; // a failed open gives it back, after the lock
  std::lock_guard lock(state_->mutex);
  auto taken = TargetLease::take(state_, libraryName_, targetOf(descriptor));
  if (auto* failure = std::get_if<PathStatus>(&taken)) return *failure;
  lease = std::move(std::get<std::unique_ptr<TargetLease>>(taken));
  PathState::Target& target = state_->targets.at(lease->target());
  if (target.ports == 0) {
    auto listed = listDevices(*lease);
    if (auto* failure = std::get_if<PathStatus>(&listed)) return *failure;
    target.table = std::move(std::get<UsbDeviceTable>(listed));
  }

  if (target.table.devices.empty()) return PathStatus{QOR_ERR_SERVER_DEVICE_NOT_CONNECTED, {}};
  if (descriptor.deviceNumber > kHighestDeviceNumber) return PathStatus{QOR_ERR_SERVER_TOO_MANY_DEVICES, {}};
  const auto translated = usbDriverTypeOf(descriptor.hostInterfaceType);
  if (const auto* failure = std::get_if<PathStatus>(&translated)) return *failure;
  const uint32_t driverType = std::get<uint32_t>(translated);
  const char* model = usbModelName(driverType);
  const int number = static_cast<int>(descriptor.deviceNumber);
  const UsbDeviceRecord* record = target.table.find(driverType, descriptor.deviceNumber);
  if (record == nullptr) {
    return pathError(QOR_ERR_USB_DEVICE_NOT_AVAILABLE, "%s #%d is not available", model, number);
  }
  const uint8_t controller = descriptor.controllerNumber;
  if (controller == 0 || controller > record->controllerCount || !record->slots[controller - 1].present) {
    return pathError(QOR_ERR_USB_CONTROLLER_NOT_AVAILABLE, "%s #%d controller %d is not available", model, number,
                     controller);
  }
  const ServedModel* served = servedModel(descriptor.hostInterfaceType);
  if (served == nullptr) {
    return pathError(QOR_ERR_USB_NOT_SUPPORTED, "device not supported for usb over ethernet connection");
  }
  FpgaFile file;
  if (served->designFiles) {
    auto found = findFpgaFile(fpgaDirectory_, model);
    if (auto* failure = std::get_if<PathStatus>(&found)) return *failure;
    file = std::get<FpgaFile>(found);
  }

  const PathState::ControllerKey key{driverType, record->slots[controller - 1].index};
  // A controller that a port has open already runs the design that port found.
  if (target.openControllers.count(key) == 0) {
    if (!record->slots[0].present) {
      return pathError(QOR_ERR_USB_CONTROLLER_NOT_AVAILABLE,
                       "%s #%d controller %d that is necessary for fpga access is not available", model, number, 1);
    }
    if (served->designFiles) {
      if (PathStatus status = bringDesignUpToDate(*lease, driverType, record->slots[0].index, file); !status.ok()) {
        return status;
      }
    }
  }

  auto opened = std::make_unique<UsbOverEthernetDevice>(state_, std::move(lease), key);
  opened->properties.deviceIdentifier = record->baseSerial;
  opened->properties.module = static_cast<uint8_t>(record - target.table.devices.data() + 1);
  ++target.openControllers[key];
  ++target.ports;
  device = std::move(opened);
  return {};
}

// Through controller 1 of the device: the design of the newest file, loaded unless the device runs it already.
PathStatus UsbOverEthernetPath::bringDesignUpToDate(const TargetLease& lease, uint32_t driverType, uint32_t index,
                                                    const FpgaFile& file) const {
  constexpr const char* kVersionName = "QorUSB_Platform_Xilinx_Version_UoE";
  const Library::Functions& f = lease.functions();
  const uint32_t connection = lease.connection();
  uint32_t version = 0;
  if (const uint32_t rc = f.designVersion(driverType, index, &version, connection)) {
    return usbLibraryFailure(QOR_ERR_USB_FPGA_IMAGE, kVersionName, rc);
  }
  if (version != file.version) {
    const PathStatus loaded = loadFpgaDesign(
        {"QorUSB_Platform_Xilinx_Download_UoE", kVersionName,
         [&](const char* path, uint32_t* status) { return f.download(driverType, index, path, status, connection); },
         [&](uint32_t* current) { return f.designVersion(driverType, index, current, connection); }},
        file);
    if (!loaded.ok()) return loaded;
  }
  std::this_thread::sleep_for(kDesignSettle);
  return {};
}

} // namespace

std::unique_ptr<AccessPath> makeUsbOverEthernetPath(std::string fpgaDirectory, std::string libraryName) {
  return std::make_unique<UsbOverEthernetPath>(std::move(fpgaDirectory), std::move(libraryName));
}

} // namespace qor::daemon
