#include "usb_fpga_download.hpp"

#include <chrono>
#include <thread>

#include "qor_error_codes.h"
#include "usb_models.hpp"

namespace qor::daemon {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kDownloadByOtherBound = 20000ms;
constexpr auto kDownloadPollStep = 1ms;

} // namespace

PathStatus loadFpgaDesign(const FpgaDesignLoader& loader, const FpgaFile& file) {
  uint32_t status = 0;
  const uint32_t rc = loader.download(file.path.c_str(), &status);
  if (rc == kUsbDownloadInProgress) {
    // Another client loads the same device: its design counts once the device reports one.
    for (const auto deadline = Clock::now() + kDownloadByOtherBound; Clock::now() < deadline;) {
      uint32_t version = 0;
      if (const uint32_t failed = loader.designVersion(&version)) {
        return usbLibraryFailure(QOR_ERR_USB_FPGA_IMAGE, loader.versionName, failed);
      }
      if (version != 0) return {};
      std::this_thread::sleep_for(kDownloadPollStep);
    }
    return pathError(QOR_ERR_USB_FPGA_IMAGE, "another client is already downloading and a timeout occured");
  }
  if (rc != 0) return usbLibraryFailure(QOR_ERR_USB_FPGA_IMAGE, loader.downloadName, rc);
  if ((status & 0xFF) != 0) {
    return pathError(QOR_ERR_USB_FPGA_IMAGE, "'%s' failed with USB controller firmware error 0x%02X",
                     loader.downloadName, status & 0xFF);
  }
  return {};
}

} // namespace qor::daemon
