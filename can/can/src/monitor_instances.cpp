#include "monitor_instances.hpp"

#include <array>

#include "qor_kit/monitor_session.hpp"
#include "qor_kit/port_table.hpp"

namespace qor::can {
namespace {

struct PortReaders {
  std::array<Reader, QOR_MONITOR_INSTANCES> byInstance{};
};

kit::PortTable<PortReaders>& readers() {
  static kit::PortTable<PortReaders> table;
  return table;
}

// Under the core's monitor section: takes the table's lock, never the other way round.
void instanceClosed(uint32_t port, uint8_t instance, void* context) {
  kit::takeSession(context).reset();
  forgetReader(port, instance);
}

}  // namespace

uint32_t enterReader(uint32_t port, uint8_t instance, Reader reader) {
  if (instance >= QOR_MONITOR_INSTANCES) return 0;
  return readers().withState(port, [&](PortReaders& state) { state.byInstance[instance] = reader; });
}

Reader readerOf(uint32_t port, uint8_t instance) {
  Reader reader = nullptr;
  if (instance < QOR_MONITOR_INSTANCES) {
    readers().ifState(port, [&](PortReaders& state) { reader = state.byInstance[instance]; });
  }
  return reader;
}

void forgetReader(uint32_t port, uint8_t instance) {
  if (instance >= QOR_MONITOR_INSTANCES) return;
  readers().ifState(port, [&](PortReaders& state) { state.byInstance[instance] = nullptr; });
}

void forgetAllReaders() {
  for (uint32_t port = 0; port < QOR_MAX_PORTS; ++port) {
    readers().ifState(port, [](PortReaders& state) { state.byInstance.fill(nullptr); });
  }
}

Qor_Monitor_Cleanup_t instanceCleanup(uint8_t instance) { return kit::instanceCleanup<instanceClosed>(instance); }

}  // namespace qor::can
