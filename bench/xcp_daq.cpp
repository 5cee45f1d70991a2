// XCP on the road to an emulated ECU: DAQ signals decoded per second from full DTO FIFOs, and the round trip of a
// short memory upload, each against the command round-trip floor (the same process hops, passing bytes on) measured
// in alternating blocks of one run. Failures are counted, never hidden. Runs inside qor_sandbox.
#include <memory>
#include <vector>

#include "bench_support.hpp"
#include "emulated_interfaces.hpp"
#include "qor_api.h"
#include "qor_common_xcp_commands.h"
#include "qor_common_xcp_daq.h"
#include "qor_emulator/xcp_ecu.hpp"
#include "qor_emulator/xcp_firmware.hpp"
#include "qor_test/daemon_process.hpp"

namespace {

using namespace qor::bench;
using qor::emulator::Bytes;

constexpr uint8_t kChannel = 0;
constexpr int kBlocks = 20;
constexpr int kRoundsPerBlock = 50;
constexpr size_t kFloorPayload = 8;
constexpr uint32_t kDtosPerRead = 255;
constexpr uint32_t kUploadBytes = 4;

// Twenty signals of every size on one event: with MAX_DTO 8, a cycle of several DTOs.
std::vector<Qor_Common_Xcp_Daq_Signal_t> signals() {
  std::vector<Qor_Common_Xcp_Daq_Signal_t> list;
  for (uint32_t index = 0; index < 20; ++index) {
    const auto type = static_cast<uint8_t>(index % 7);
    list.push_back({0, QOR_COMMON_XCP_DAQ_WHOLE_ELEMENT, type, 0, 0, 1, 0, 0x4000 + 4 * index, index});
  }
  return list;
}

}  // namespace

int main() {
  RoundTripFloor floor(kFloorPayload);
  EmulatedInterface interface = startInterface(0);
  const auto firmware = qor::emulator::XcpFirmware::attachTo(*interface.device);
  qor::emulator::XcpEcuSettings settings;
  settings.daqPeriod = std::chrono::hours(1);  // the DTOs come from the benchmark, a full FIFO per read
  const auto ecu = std::make_shared<qor::emulator::EmulatedEcu>(settings);
  firmware->plugSlave(kChannel, ecu);
  qor::test::DaemonProcess daemon(QORAPID_PROGRAM);
  qor::test::connectLibraryToDaemon();
  uint32_t port = QOR_NO_PORT;
  const Qor_InterfaceInfo_t info = interfaceInfo("127.0.0.2");
  if (Qor_OpenInterface(&info, &port) != 0) {
    std::printf("open failed: %s\n", Qor_GetLastErrorDescription());
    return 1;
  }
  const auto list = signals();
  if (Qor_Common_Xcp_Daq_SetSignals(port, kChannel, 0, static_cast<uint32_t>(list.size()), list.data()) != 0 ||
      Qor_Common_Xcp_Daq_Start(port, kChannel, 0) != 0) {
    std::printf("daq start failed: %s\n", Qor_GetLastErrorDescription());
    return 1;
  }
  const std::vector<Bytes> cycle = ecu->daqPackets();
  const uint32_t dtosPerRead = kDtosPerRead / static_cast<uint32_t>(cycle.size()) * static_cast<uint32_t>(cycle.size());
  const uint64_t valuesPerRead = uint64_t{dtosPerRead} / cycle.size() * list.size();

  std::vector<double> floorSamples, readSamples, uploadSamples;
  std::vector<Qor_Common_Xcp_Daq_SignalValue_t> values(kDtosPerRead * 8);
  uint64_t serial = 0, floorFailures = 0, readFailures = 0, uploadFailures = 0, decoded = 0;
  double readSeconds = 0;
  for (int block = 0; block < kBlocks; ++block) {
    for (int i = 0; i < kRoundsPerBlock; ++i) {
      const auto start = Clock::now();
      if (!floor.round(kFloorPayload, ++serial)) ++floorFailures;
      floorSamples.push_back(microseconds(Clock::now() - start));
    }
    for (int i = 0; i < kRoundsPerBlock; ++i) {
      for (uint32_t dto = 0; dto < dtosPerRead; ++dto) firmware->receiveData(kChannel, cycle[dto % cycle.size()]);
      uint32_t status = 0;
      uint32_t count = static_cast<uint32_t>(values.size());
      const auto start = Clock::now();
      const uint32_t code = Qor_Common_Xcp_Daq_ReadRxSignals(port, kChannel, 0, &status, &count, values.data());
      const Clock::duration took = Clock::now() - start;
      if (code != 0 || count != valuesPerRead) ++readFailures;
      decoded += count;
      readSeconds += seconds(took);
      readSamples.push_back(microseconds(took));
    }
    for (int i = 0; i < kRoundsPerBlock; ++i) {
      const Qor_Common_Xcp_MemoryBlock_t memory{0x4000, 0, {0, 0, 0}, kUploadBytes};
      uint8_t data[kUploadBytes];
      const auto start = Clock::now();
      if (Qor_Common_Xcp_Cmd_Upload(port, kChannel, &memory, data) != 0) ++uploadFailures;
      uploadSamples.push_back(microseconds(Clock::now() - start));
    }
  }
  const Latencies floorTimes = summarise(floorSamples);
  const Latencies reads = summarise(readSamples);
  const Latencies uploads = summarise(uploadSamples);
  std::printf("XCP on the road (%d blocks of %d rounds each; %zu signals in %zu DTOs a cycle, %u DTOs per read)\n",
              kBlocks, kRoundsPerBlock, list.size(), cycle.size(), dtosPerRead);
  std::printf("  floor (command hops, bare)      median %8.1f us   p99 %8.1f us   failures %llu\n", floorTimes.median,
              floorTimes.p99, static_cast<unsigned long long>(floorFailures));
  std::printf("  DAQ read of a full FIFO         median %8.1f us   p99 %8.1f us   failures %llu\n", reads.median,
              reads.p99, static_cast<unsigned long long>(readFailures));
  std::printf("  DAQ signals decoded             %10.0f per second (%.0f per floor round trip)\n",
              static_cast<double>(decoded) / readSeconds,
              static_cast<double>(decoded) / readSeconds * floorTimes.median / 1e6);
  std::printf("  short upload (%u bytes)          median %8.1f us   p99 %8.1f us   failures %llu\n", kUploadBytes,
              uploads.median, uploads.p99, static_cast<unsigned long long>(uploadFailures));
  std::printf("  upload ratio to floor           median %8.2f x    p99 %8.2f x\n", uploads.median / floorTimes.median,
              uploads.p99 / floorTimes.p99);
  return floorFailures + readFailures + uploadFailures == 0 ? 0 : 1;
}
