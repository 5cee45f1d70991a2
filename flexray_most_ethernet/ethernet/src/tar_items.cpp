// Loading a TAR instance's items (sub-function 2): records of whole items within the port's maximum parameter length.
// Every item is checked before the first record leaves, so a refused call has loaded nothing.
#include <cstdint>

#include "ethernet_library.hpp"
#include "qor_ethernet_tar.h"
#include "qor_kit/chunk_packer.hpp"
#include "tar_command.hpp"

namespace qor::ethernet {
namespace {

constexpr uint32_t kRecordHeadBytes = 8;
constexpr uint32_t kItemHeadBytes = 12;
// A record counts its items in 16 bits.
constexpr uint32_t kMostItemsPerRecord = UINT16_MAX;

bool rxDataPresent(const Qor_Ethernet_Tar_Item_t& item) { return (item.rxFlags & QOR_ETHERNET_TAR_RX_DATA_PRESENT) != 0; }

// The RX length counts whether or not the RX data go along.
uint32_t itemBytes(const Qor_Ethernet_Tar_Item_t& item) { return kItemHeadBytes + item.txLength + item.rxLength; }

uint32_t checkItem(const kit::Call& call, const Qor_Ethernet_Tar_Item_t& item, uint32_t index, uint32_t limit) {
  if (item.txFlags > QOR_ETHERNET_TAR_TX_FLAGS) {
    return call.fail(kEthernet.code(kUnknownFlag), "unknown TX flag in item with index %u", index);
  }
  if (item.rxFlags > QOR_ETHERNET_TAR_RX_DATA_PRESENT) {
    return call.fail(kEthernet.code(kUnknownFlag), "unknown RX flag in item with index %u", index);
  }
  if (item.txLength != 0 && item.txData == nullptr) {
    return call.fail(kEthernet.code(kInvalidParameter), "'txData' of item with index %u is NULL", index);
  }
  if (rxDataPresent(item) && item.rxLength != 0 && item.rxData == nullptr) {
    return call.fail(kEthernet.code(kInvalidParameter), "'rxData' of item with index %u is NULL", index);
  }
  if (itemBytes(item) > limit) {
    return call.fail(kEthernet.code(kInvalidParameter), "item with index %u: %u bytes exceed the %u that a record holds",
                     index, itemBytes(item), limit);
  }
  return 0;
}

kit::RecordWriter recordHead(size_t capacity, uint8_t instance, uint32_t items) {
  kit::RecordWriter record(capacity);
  record.u32(kTarAddItems).u8(instance).u8(0).u16(static_cast<uint16_t>(items));
  return record;
}

void appendItem(kit::RecordWriter& record, const Qor_Ethernet_Tar_Item_t& item) {
  record.u8(item.txFlags).u8(rxDataPresent(item) ? 1 : 0).u16(0);
  record.u16(item.value).u16(item.txLength).u16(item.rxLength).u16(0);
  record.bytes(item.txData, item.txLength);
  if (rxDataPresent(item)) record.bytes(item.rxData, item.rxLength);
}

uint32_t addItems(const kit::Call& call, uint8_t instance, uint32_t count, const Qor_Ethernet_Tar_Item_t* items) {
  if (uint32_t code = checkEthernetInterface(call)) return code;
  if (count != 0) {
    if (uint32_t code = checkPointer(call, items, "items")) return code;
  }
  uint32_t parameterLength = 0;
  if (uint32_t code = itemRecordLength(call, kRecordHeadBytes, kItemHeadBytes, "item", parameterLength)) return code;
  const uint32_t limit = parameterLength - kRecordHeadBytes;
  for (uint32_t index = 0; index < count; ++index) {
    if (uint32_t code = checkItem(call, items[index], index, limit)) return code;
  }
  if (count == 0) return exchangeTar(call, recordHead(kRecordHeadBytes, instance, 0));
  const kit::ChunkPacker packer(count, limit, [&](uint32_t index) { return itemBytes(items[index]); });
  return packer.sendAll(
      [](uint32_t& slots) {
        slots = kMostItemsPerRecord;
        return 0u;
      },
      [&](uint32_t first, uint32_t entries, uint32_t& slots) {
        kit::RecordWriter record = recordHead(parameterLength, instance, entries);
        for (uint32_t index = first; index < first + entries; ++index) appendItem(record, items[index]);
        slots = kMostItemsPerRecord;
        return exchangeTar(call, record);
      });
}

}  // namespace
}  // namespace qor::ethernet

using namespace qor::ethernet;
using qor::kit::Call;

uint32_t Qor_Ethernet_Tar_AddItems(uint32_t port, uint8_t instance, uint32_t count,
                                   const Qor_Ethernet_Tar_Item_t* items) try {
  return addItems(Call(kEthernet, port), instance, count, items);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_Tar_AddItems_Udp4(uint32_t port, uint8_t instance, uint32_t count,
                                        const Qor_Ethernet_Tar_Item_t* items) {
  return Qor_Ethernet_Tar_AddItems(port, instance, count, items);
}

uint32_t Qor_Ethernet_Tar_AddItems_Tcp4(uint32_t port, uint8_t instance, uint32_t count,
                                        const Qor_Ethernet_Tar_Item_t* items) {
  return Qor_Ethernet_Tar_AddItems(port, instance, count, items);
}

uint32_t Qor_Ethernet_Tar_AddItems_Udp6(uint32_t port, uint8_t instance, uint32_t count,
                                        const Qor_Ethernet_Tar_Item_t* items) {
  return Qor_Ethernet_Tar_AddItems(port, instance, count, items);
}

uint32_t Qor_Ethernet_Tar_AddItems_Tcp6(uint32_t port, uint8_t instance, uint32_t count,
                                        const Qor_Ethernet_Tar_Item_t* items) {
  return Qor_Ethernet_Tar_AddItems(port, instance, count, items);
}
