// The state of one open port, made at open and owned by the port table until the close: the port's identity, and
// one object per feature, each declared in its feature's folder. Only the core library sees it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "async/callback_state.hpp"
#include "async/firmware_buffer_state.hpp"
#include "commands/command_state.hpp"
#include "commands/frame_taps.hpp"
#include "commands/receive_role.hpp"
#include "fpga/fpga_exchange.hpp"
#include "lvds/lvds_frame_state.hpp"
#include "monitors/monitor_state.hpp"
#include "pcie_dma/pcie_dma_state.hpp"
#include "ports/application_queues.hpp"
#include "ports/port_event_set.hpp"
#include "ports/port_teardown.hpp"
#include "qor_client_state.h"
#include "qor_shared/scoped_lock.hpp"

struct Qor_PortContext {
  // identity
  Qor_InterfaceInfo_t descriptor{}; // as given to the open; property 8 overwrites its host type
  uint32_t interfaceHost = 0;
  uint32_t interfaceType = 0;
  uint32_t realHostInterfaceType = QOR_HOST_INTERFACE_TYPE_UNKNOWN;
  uint32_t hostCommunicationType = 0;
  uint32_t deviceIdentifier = 0;
  uint32_t clientPortId = 0;
  uint32_t maxParameterLength = 0;
  std::atomic<uint32_t> responseTimeoutMs{0};
  uint32_t queueMessageSize = 0;
  uint32_t minMonitorBufferSize = 0;

  // where the daemon serves the port
  uint32_t portHandle = QOR_NO_PORT;
  uint32_t processId = 0;
  uint8_t applicationIndex = 0;
  uint8_t portIndex = 0;
  uint8_t module = 0;
  Qor_PortInfo_t* entry = nullptr;

  // Recursive, like every section of the port: the identity's setters, the expected response, the callback list,
  // the port flags and the last error.
  qor::CriticalSection general;

  // last error of the port
  uint32_t lastErrorCode = 0;
  char lastErrorText[QOR_ERROR_TEXT_SIZE] = {};

  // the features, what they undo at close, and their taps on the firmware frames
  qor::client::TeardownList teardowns;
  qor::client::FrameTaps frameTaps;
  qor::client::PortEvents events;
  qor::client::ApplicationQueues queues;
  qor::client::ReceiveRole receiving; // who receives from the response queue, under the events' mutex
  qor::client::CommandExchange commands;
  qor::client::AsyncCallbacks async;
  qor::client::FirmwareFrames firmwareBuffer;
  qor::client::PortMonitors monitors;
  FpgaExchange fpga;
  qor::client::LvdsFrames lvds;
  qor::client::PcieDma pcieDma;
};
