// What the library does with the daemon's messages on a port's response queue: the checked decoding of the response
// header and of the firmware frame inside, the negative acknowledge's code and text, and the two stores that keep
// frames nobody waited for: the firmware buffer and the LVDS frame collector. The input is a stream of messages,
// each after a u16 length, so that the stores see many frames in a row.
#include <cstring>
#include <optional>
#include <string_view>

#include "async/firmware_buffer.hpp"
#include "lvds/lvds_frame_collector.hpp"
#include "qor_protocol.h"
#include "qor_shared/protocol.hpp"

namespace {

using namespace qor;

// A small buffer, so that records wrap around and overwrite each other.
constexpr size_t kFirmwareBufferSize = 256;

void receive(protocol::Bytes message, client::FirmwareBuffer& buffer, client::FrameCollector& frames) {
  const auto response = protocol::parseResponse(message);
  if (!response || response->header.code != QOR_MSG_FIRMWARE_TRAFFIC) return;
  const auto frame = protocol::parseFrame(response->data);
  if (!frame) return;
  if (frame->isNegativeAcknowledge()) {
    const std::string_view text = frame->negativeAcknowledgeText();
    if (text.size() > frame->data.size()) std::abort();
    return;
  }
  if (frame->header.command == QOR_LVDS_FRAME_COMMAND && !frame->data.empty() &&
      frame->data[0] == QOR_LVDS_FRAME_DATA) {
    frames.add(frame->data);
    if (const auto taken = frames.take()) {
      volatile uint8_t touch = taken->empty() ? 0 : (*taken)[taken->size() - 1];
      (void)touch;
      frames.release();
    }
    return;
  }
  buffer.write(frame->header.command, frame->header.type, frame->data.data(), frame->data.size());
  // The application reads now and then: the frame's App byte decides, so that reads and writes interleave.
  if ((frame->header.App & 1u) != 0 && !buffer.empty()) {
    const client::FirmwareBuffer::Record record = buffer.oldest();
    std::vector<uint8_t> out(record.length);
    buffer.takeOldest(out.data());
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  client::FirmwareBuffer buffer(kFirmwareBufferSize);
  client::FrameCollector frames;
  while (size >= 2) {
    uint16_t length;
    std::memcpy(&length, data, sizeof length);
    data += 2;
    size -= 2;
    const size_t taken = std::min<size_t>(length, size);
    receive(protocol::Bytes(data, taken), buffer, frames);
    data += taken;
    size -= taken;
  }
  return 0;
}
