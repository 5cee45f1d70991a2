#include "usb_models.hpp"

#include <cstring>
#include <initializer_list>

#include "qor_error_codes.h"
#include "qor_shared/host_types.hpp"

namespace qor::daemon {
namespace {

constexpr uint32_t kUnknownHostType = 87;

struct UsbModel {
  uint32_t driverType;
  std::initializer_list<uint32_t> hostTypes; // the first is the one a listed device is reported as
  const char* name;
};

constexpr UsbModel kModels[] = {
    {4, {11, 10}, "USB7130"},      {5, {14, 13}, "USB7150"},      {6, {16, 15}, "USB7160"},
    {7, {70}, "USB73400"},         {12, {33}, "USB8200"},         {13, {17}, "kaloCRX"},
    {14, {39}, "RIZ8330"},         {15, {36}, "USB7350"},         {18, {12}, "USB7140"},
    {19, {19}, "DOZ8340"},         {20, {37}, "USB7320"},         {26, {69}, "USB7330"},
    {28, {28}, "USB7165"},         {32, {23, 31, 44}, "USB9420"}, {33, {25, 45}, "USB9440"},
    {34, {30, 46}, "USB9450"},     {35, {27, 47}, "USB9460"},     {36, {52}, "Quadlink"},
    {42, {40, 41}, "USB9430"},     {43, {42}, "USB8310"},         {44, {43}, "USB8320"},
    {47, {55}, "USB8350"},         {48, {71}, "USB7360"},
};

const UsbModel* modelOf(uint32_t driverType) {
  for (const UsbModel& model : kModels) {
    if (model.driverType == driverType) return &model;
  }
  return nullptr;
}

struct LibraryText {
  uint32_t code;
  const char* text;
};

constexpr LibraryText kLibraryTexts[] = {
    {0, "no error"},
    {0xE0000001, "driver timeout"},
    {0xE0000002, "unknown IOCTRL"},
    {0xE0000003, "error in USBD parent driver"},
    {0xE0000004, "getting serial number failed"},
    {0xE0000005, "read pipe is empty"},
    {0xE0000006, "write pipe is full"},
    {0xE0000007, "device removed"},
    {0xE00000F0, "undefined error"},
    {0xE0000100, "invalid handle"},
    {0xE0000101, "unknown device type"},
    {0xE0000102, "invalid serial number"},
    {0xE0000103, "invalid device number"},
    {0xE0000104, "xilinx download aborted"},
    {0xE0000105, "no device present"},
    {0xE0000106, "bootloader aborted"},
    {0xE0000107, "invalid relay number"},
    {0xE0000108, "xilinx load file - invalid handle"},
    {0xE0000109, "xilinx load file - invalid length"},
    {0xE0000110, "xilinx download aborted - start"},
    {0xE0000111, "xilinx download aborted - main"},
    {0xE0000112, "xilinx download aborted - end"},
    {0xE0000113, "no data read"},
    {0xE0000114, "user memory undersized"},
    {0xE0000115, "invalid data length write command"},
    {0xE0000116, "use memory oversized"},
    {0xE0000117, "fifo write - not enough memory"},
    {0xE0000118, "fpga reconfig - buffer error"},
    {0xE0000119, "fpga reconfig - invalid file"},
    {0xE000011A, "fpga reconfig - lsb adrd"},
    {0xE000011B, "fpga reconfig - lsb iictimeout wr"},
    {0xE000011C, "fpga reconfig - lsb iictimeout rd"},
    {0xE000011D, "fpga reconfig - lsb cmd"},
    {0xE000011E, "fpga reconfig - lsb adrj"},
    {0xE000011F, "fpga reconfig - lsb data compare"},
    {0xE0000120, "invalid user input data"},
    {0xE0000121, "lvds - invalid parameter"},
    {0xE0000122, "lvds - frame error"},
    {0xE0000123, "lvds - compare error"},
    {0xE0000124, "lvds - not enough memory"},
    {0xE0000125, "lvds - file error"},
    {0xE0000126, "8510 - measurement"},
    {0xE0000127, "8510 - adc read timeout"},
    {0xE0000128, "8510 - gain invalid"},
    {0xE0000129, "8510 - resistance value overload"},
    {0xE0000300, "ethernet - connection failed"},
    {0xE0000301, "ethernet - already connected"},
    {0xE0000302, "ethernet - unknown command type"},
    {0xE0000303, "ethernet - unknown command name"},
    {0xE0000304, "ethernet - no connection"},
    {0xE0000305, "ethernet - timeout"},
    {0xE0000306, "ethernet - maximum number of connections exceeded"},
    {0xE0000307, "ethernet - maximum number of cards exceeded"},
    {0xE0000308, "ethernet - response too long"},
};

} // namespace

uint32_t usbHostTypeOf(uint32_t driverType) {
  const UsbModel* model = modelOf(driverType);
  return model != nullptr ? *model->hostTypes.begin() : kUnknownHostType;
}

std::variant<uint32_t, PathStatus> usbDriverTypeOf(uint32_t hostType) {
  for (const UsbModel& model : kModels) {
    for (uint32_t listed : model.hostTypes) {
      if (listed == hostType) return model.driverType;
    }
  }
  if (findHostType(hostType) != nullptr) {
    return pathError(QOR_ERR_USB_NOT_USB_DEVICE_TYPE, "device type '%u' is no vaild QorUSB_PLATFORM device type",
                     hostType);
  }
  return pathError(QOR_ERR_USB_UNKNOWN_DEVICE_TYPE, "device type '%u' is unknown", hostType);
}

const char* usbModelName(uint32_t driverType) {
  const UsbModel* model = modelOf(driverType);
  return model != nullptr ? model->name : "unknown";
}

std::string usbLibraryErrorText(uint32_t code) {
  for (const LibraryText& entry : kLibraryTexts) {
    if (entry.code == code) return entry.text;
  }
  if ((code & 0xFFFFFF00u) == 0xE0000200u) return "USB controller firmware error";
  if ((code & 0xF0000000u) == 0xE0000000u) return "unknown error";
  return strerror(static_cast<int>(code));
}

PathStatus usbLibraryFailure(uint32_t code, const char* function, uint32_t libraryCode) {
  return pathError(code, "'%s' failed with 'rc=0x%08X' -> %s", function, libraryCode,
                   usbLibraryErrorText(libraryCode).c_str());
}

} // namespace qor::daemon
