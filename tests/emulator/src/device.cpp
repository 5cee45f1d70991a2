#include "qor_emulator/device.hpp"

#include <cstddef>
#include <stdexcept>
#include <string>

#include "qor_shared/firmware_records.hpp"
#include "qor_shared/host_types.hpp"

namespace qor::emulator {
namespace {

using firmware::ErrorTextHead;
using firmware::IdentityEntry;
using firmware::IdentityHead;

DeviceConfig withIdentity(DeviceConfig config) {
  if (config.identity) return config;
  const HostType* host = findHostType(config.hostType);
  if (host == nullptr || host->firmwareDeviceCodes[0] == 0) {
    throw std::invalid_argument("host type " + std::to_string(config.hostType) +
                                " has no firmware device code: give the identity");
  }
  config.identity = Identity{host->firmwareDeviceCodes[0], false, 0, {}};
  return config;
}

template <class Record>
void append(Bytes& data, const Record& record) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(&record);
  data.insert(data.end(), bytes, bytes + sizeof record);
}

Bytes identityData(const Identity& identity) {
  IdentityHead head{};
  head.bootLoader = identity.bootLoaderRunning ? firmware::kBootLoaderRunning : 0;
  head.controllerKind = identity.word8;
  head.deviceCode = identity.deviceCode;
  head.interfaceCount = static_cast<uint32_t>(identity.interfaces.size());
  Bytes data;
  append(data, head);
  for (const auto& entry : identity.interfaces) append(data, IdentityEntry{entry.firmwareCode, entry.number});
  return data;
}

bool isSerialNumberQuery(const ReceivedFrame& frame) {
  return frame.command() == firmware::kControllerControlCommand &&
         frame.parameterWord(offsetof(firmware::SerialNumberQuery, subFunction)) == firmware::kSerialNumberSubFunction;
}

// The first word selects what is asked; 0 (or nothing) is the identity.
bool isIdentityQuery(const ReceivedFrame& frame) {
  return frame.command() == firmware::kIdentityCommand && frame.parameterWord(0) == 0;
}

// What the library and the daemon ask of every device: it keeps its built-in answers whatever a test expects.
bool isHousekeeping(const ReceivedFrame& frame) {
  return isSerialNumberQuery(frame) || isIdentityQuery(frame) || frame.command() == firmware::kErrorTextCommand;
}

Reply byDefault(const ReceivedFrame& frame) {
  return frame.header().requestKind == QOR_REQUEST_ACKNOWLEDGE ? Reply(frame.acknowledge()) : Reply();
}

}  // namespace

Device::Device(DeviceConfig config) : config_(withIdentity(std::move(config))) { installBuiltIns(); }

void Device::installBuiltIns() {
  handlers_[firmware::kControllerControlCommand] = [this](const ReceivedFrame& frame) {
    if (!isSerialNumberQuery(frame)) return byDefault(frame);
    Bytes serial;
    append(serial, firmware::SerialNumberAnswer{firmware::kSerialNumberSubFunction, config_.serialNumber});
    return Reply(frame.response(serial));
  };
  handlers_[firmware::kIdentityCommand] = [this](const ReceivedFrame& frame) {
    if (!isIdentityQuery(frame)) return byDefault(frame);
    return Reply(frame.response(identityData(identity())));
  };
  handlers_[firmware::kErrorTextCommand] = [this](const ReceivedFrame& frame) {
    const uint32_t code = frame.parameterWord(offsetof(firmware::ErrorTextQuery, code));
    Bytes data;
    append(data, ErrorTextHead{code});
    {
      std::lock_guard lock(mutex_);
      const auto text = errorTexts_.find(code);
      if (text != errorTexts_.end()) data.insert(data.end(), text->second.begin(), text->second.end());
    }
    data.push_back(0);
    return Reply(frame.response(data));
  };
}

void Device::onCommand(uint8_t command, Handler handler) {
  std::lock_guard lock(mutex_);
  handlers_[command] = std::move(handler);
}

void Device::setErrorText(uint32_t code, std::string text) {
  std::lock_guard lock(mutex_);
  errorTexts_[code] = std::move(text);
}

bool Device::receive(std::span<const uint8_t> bytes, const std::shared_ptr<FrameSink>& origin) {
  const auto frame = ReceivedFrame::parse(bytes, origin->id());
  if (!frame || frame->bytes().size() != bytes.size()) {
    std::lock_guard lock(mutex_);
    ++malformed_;
    return false;
  }
  {
    std::lock_guard lock(mutex_);
    const FirmwareMessageHeader& header = frame->header();
    routes_[header.App] = Route{origin, header};
    lastApplications_[{header.TAddr, header.TPort}] = header.App;
    lastSink_ = origin;
  }
  // Recorded once routed: a test that waits for the frame may at once send to its application.
  recorder_.add(*frame);
  origin->play(answer(*frame));
  return true;
}

Reply Device::answer(const ReceivedFrame& frame) {
  if (!isHousekeeping(frame)) {
    std::lock_guard serialised(handlerMutex_);
    if (auto reply = requests_.answer(frame)) return std::move(*reply);
  }
  Handler handler;
  {
    std::lock_guard lock(mutex_);
    const auto found = handlers_.find(frame.command());
    if (found != handlers_.end()) handler = found->second;
  }
  if (!handler) return byDefault(frame);
  std::lock_guard serialised(handlerMutex_);
  return handler(frame);
}

std::shared_ptr<FrameSink> Device::sinkFor(uint8_t application, FirmwareMessageHeader* header) {
  std::lock_guard lock(mutex_);
  const auto route = routes_.find(application);
  if (route == routes_.end()) return nullptr;
  if (header != nullptr) *header = route->second.header;
  auto sink = route->second.sink.lock();
  if (!sink || !sink->isOpen()) sink = lastSink_.lock();
  return sink && sink->isOpen() ? sink : nullptr;
}

bool Device::sendToApplication(uint8_t application, const Reply& reply) {
  const auto sink = sinkFor(application, nullptr);
  if (!sink) return false;
  sink->play(reply);
  return true;
}

bool Device::sendToApplication(uint8_t application, uint8_t command, std::span<const uint8_t> data) {
  std::optional<Bytes> frame = responseFrame(application, command, data);
  return frame && sendToApplication(application, Reply(std::move(*frame)));
}

std::optional<Bytes> Device::responseFrame(uint8_t application, uint8_t command, std::span<const uint8_t> data) {
  FirmwareMessageHeader header{};
  if (!sinkFor(application, &header)) return std::nullopt;
  header.command = command;
  return answerFrame(header, QOR_FRAME_RESPONSE, data);
}

std::optional<uint8_t> Device::lastApplicationOn(uint8_t controller, uint8_t interfaceNumber) const {
  std::lock_guard lock(mutex_);
  const auto found = lastApplications_.find({controller, interfaceNumber});
  if (found == lastApplications_.end()) return std::nullopt;
  return found->second;
}

uint64_t Device::malformedFrames() const {
  std::lock_guard lock(mutex_);
  return malformed_;
}

}  // namespace qor::emulator
