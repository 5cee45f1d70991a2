// The Ethernet monitor's per-port reader: which way Qor_Ethernet_Monitor_GetData takes the items, chosen by the
// port's configuration and forgotten when the port closes. The port's ring is shared between the core's monitor
// instance, which feeds it, and this table: a read holds it, so an instance that ends meanwhile does not free it under
// the reader.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "monitor_ring.hpp"

#include "qor_kit/call.hpp"
#include "qor_kit/record_writer.hpp"

namespace qor::ethernet {

enum class MonitorReader : uint8_t {
  None,      // never configured
  Firmware,  // reads the firmware's items on demand
  Ring,      // takes them from the ring in the core's monitor instance
};

// 0, or the core's code when the port is not open.
uint32_t useFirmwareReader(uint32_t port);
uint32_t useRing(uint32_t port, std::shared_ptr<MonitorRing> ring);
MonitorReader monitorReaderOf(uint32_t port);
// The instance that fed the ring ended: the port's reader finds no ring from now on (unless a newer one came).
void ringClosed(uint32_t port, const MonitorRing* ring);
void forgetMonitorReaders();

// Command 0x50 with one control byte and the monitor's answer capacity.
uint32_t monitorExchange(const kit::Call& call, const kit::RecordWriter& record, std::vector<uint8_t>& answer);

// The items by the port's reader.
uint32_t readMonitorData(const kit::Call& call, uint16_t* itemCount, uint32_t* size, uint8_t* buffer);

}  // namespace qor::ethernet
