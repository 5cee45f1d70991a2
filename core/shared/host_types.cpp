#include "qor_shared/host_types.hpp"

#include <array>

#include "qor_helpers.h"

namespace qor {
namespace {

constexpr SizeGroup S1{"S1", 20024, 40000, 0, 1012, 500, true, false};
constexpr SizeGroup S2{"S2", 65547, 131094, 0, 4084, 500, true, false};
constexpr SizeGroup S3{"S3", 1036, 2024, 0, 1012, 500, false, false};
constexpr SizeGroup S4{"S4", 4108, 8168, 0, 4084, 2000, false, true};
constexpr SizeGroup S5{"S5", 4194328, 0, 1, 4194316, 2000, false, false};
constexpr SizeGroup S6{"S6", 4108, 8168, 0, 4084, 500, false, false};
constexpr SizeGroup S7{"S7", 1036, 0, 1, 1024, 500, false, false};
constexpr SizeGroup S8{"S8", 4113, 8192, 2, 4096, 500, false, false};
constexpr SizeGroup S9{"S9", 32780, 65512, 0, 32756, 2000, false, true};

// Short names for the daemon's columns.
constexpr DevicePath kNoPath = DevicePath::None;
constexpr DevicePath kUsb = DevicePath::Usb;
constexpr DevicePath k94xx = DevicePath::Cards94xx;
constexpr DevicePath k95xx = DevicePath::Cards95xx;
constexpr DriverInfoSource kListUnknown = DriverInfoSource::Unknown;
constexpr DriverInfoSource kListEmpty = DriverInfoSource::Empty;
constexpr DriverInfoSource kListUsb = DriverInfoSource::Usb;
constexpr DriverInfoSource kListEthernet = DriverInfoSource::Ethernet;
constexpr DriverInfoSource kListUsbOverEthernet = DriverInfoSource::UsbOverEthernet;
constexpr DriverInfoSource kList94xx = DriverInfoSource::Cards94xx;
constexpr DriverInfoSource kList95xx = DriverInfoSource::Cards95xx;
constexpr HardwareThreadKind kNoThread = HardwareThreadKind::None;
constexpr HardwareThreadKind kPolling = HardwareThreadKind::Polling;
constexpr HardwareThreadKind kBlocking = HardwareThreadKind::Blocking;
constexpr DeviceIdentity kDeviceAndController = DeviceIdentity::DeviceAndController;
constexpr DeviceIdentity kAddress = DeviceIdentity::Address;
constexpr DeviceIdentity kAddressOrDevice = DeviceIdentity::AddressOrDevice;

// Short names for the library's columns.
constexpr uint8_t kFw = 0;
constexpr uint8_t kLvds = QOR_INTERFACE_LVDS;
constexpr uint8_t kIo = QOR_INTERFACE_IO;
constexpr uint8_t kRes = QOR_INTERFACE_RESISTORS;
constexpr UsbListing kUsbNo = UsbListing::Skipped;
constexpr UsbListing kUsbAsIs = UsbListing::AsListed;
constexpr UsbListing kUsbNet = UsbListing::WithNetworkSettings;
constexpr RelayAt kRelayNo = RelayAt::Nowhere;
constexpr RelayAt kRelayC1 = RelayAt::Controller1;
constexpr RelayAt kRelayI9 = RelayAt::Interface9;
constexpr RelayAt kRelayI21 = RelayAt::Interface21;
constexpr MostMonitor kMostNo = MostMonitor::Unsupported;
constexpr MostMonitor kMostDaemon = MostMonitor::FromDaemon;
constexpr MostMonitor kMostFilter = MostMonitor::Filtered;
constexpr LinPullUp kPullUpNo = LinPullUp::Unsupported;
constexpr LinPullUp kPullUpC = LinPullUp::RelayByController;
constexpr LinPullUp kPullUpI = LinPullUp::RelayByInterface;
constexpr LinPullUp kPullUp2 = LinPullUp::Relay2;
constexpr LinPullUp kPullUpProp = LinPullUp::NodeProperty;
constexpr bool kProbe = true;
constexpr bool kNoProbe = false;

// Columns: description, folded type, communication type, controllers, size group, firmware device codes, the
// daemon's {response buffer size, access path, driver-information source, hardware thread, device identity} and the
// library's {first interface number, interface type without firmware, USB listing, relay port, MOST monitor, LVDS
// part probe, LIN pull-up}.
constexpr std::array<HostType, QOR_HOST_INTERFACE_TYPE_COUNT> kHostTypes = {{
    /*  0 */ {"PCI7120", 0, 2, 4, &S1, {}, {1036, kNoPath, kListEmpty, kPolling, kDeviceAndController}, {1, kFw, kUsbNo, kRelayNo, kMostNo, kNoProbe, kPullUpNo}},
    /*  1 */ {"PXI7120", 1, 1, 4, &S1, {5}, {1036, kNoPath, kListEmpty, kPolling, kDeviceAndController}, {1, kFw, kUsbNo, kRelayNo, kMostNo, kNoProbe, kPullUpNo}},
    /*  2 */ {"PCI7130", 2, 2, 4, &S1, {}, {1036, kNoPath, kListEmpty, kPolling, kDeviceAndController}, {1, kFw, kUsbNo, kRelayNo, kMostNo, kNoProbe, kPullUpNo}},
    /*  3 */ {"PXI7130", 3, 1, 4, &S1, {21}, {1036, kNoPath, kListEmpty, kPolling, kDeviceAndController}, {1, kFw, kUsbNo, kRelayNo, kMostNo, kNoProbe, kPullUpNo}},
    /*  4 */ {"PCI7140", 4, 2, 1, &S2, {}, {4108, kNoPath, kListEmpty, kPolling, kAddressOrDevice}, {1, kFw, kUsbNo, kRelayNo, kMostNo, kNoProbe, kPullUpNo}},
    /*  5 */ {"PXI7140", 5, 1, 1, &S2, {26}, {4108, kNoPath, kListEmpty, kPolling, kAddressOrDevice}, {1, kFw, kUsbNo, kRelayNo, kMostNo, kNoProbe, kPullUpNo}},
    /*  6 */ {"PCI7150", 6, 2, 3, &S3, {}, {1036, kNoPath, kListEmpty, kPolling, kDeviceAndController}, {1, kFw, kUsbNo, kRelayC1, kMostNo, kNoProbe, kPullUpC}},
    /*  7 */ {"PXI7150", 7, 1, 3, &S3, {7}, {1036, kNoPath, kListEmpty, kPolling, kDeviceAndController}, {1, kFw, kUsbNo, kRelayC1, kMostNo, kNoProbe, kPullUpC}},
    /*  8 */ {"PCI7160", 8, 2, 1, &S3, {}, {1036, kNoPath, kListEmpty, kPolling, kAddressOrDevice}, {1, kFw, kUsbNo, kRelayI9, kMostNo, kNoProbe, kPullUpI}},
    /*  9 */ {"PXI7160", 9, 1, 1, &S3, {8}, {1036, kNoPath, kListEmpty, kPolling, kAddressOrDevice}, {1, kFw, kUsbNo, kRelayI9, kMostNo, kNoProbe, kPullUpI}},
    /* 10 */ {"USB zenoCAN", 11, 3, 4, &S3, {}, {1036, kUsb, kListUsb, kBlocking, kDeviceAndController}, {1, kFw, kUsbAsIs, kRelayNo, kMostNo, kNoProbe, kPullUpNo}},
    /* 11 */ {"USB7130", 11, 3, 4, &S3, {27}, {1036, kUsb, kListUsb, kBlocking, kDeviceAndController}, {1, kFw, kUsbAsIs, kRelayNo, kMostNo, kNoProbe, kPullUpNo}},
    /* 12 */ {"USB7140", 12, 3, 1, &S2, {}, {4108, kUsb, kListUsb, kBlocking, kAddressOrDevice}, {1, kFw, kUsbAsIs, kRelayNo, kMostDaemon, kNoProbe, kPullUpNo}},
    /* 13 */ {"USB zenoLIN", 14, 3, 3, &S3, {}, {1036, kUsb, kListUsb, kBlocking, kDeviceAndController}, {1, kFw, kUsbAsIs, kRelayC1, kMostNo, kNoProbe, kPullUpC}},
    /* 14 */ {"USB7150", 14, 3, 3, &S3, {9, 29}, {1036, kUsb, kListUsb, kBlocking, kDeviceAndController}, {1, kFw, kUsbAsIs, kRelayC1, kMostNo, kNoProbe, kPullUpC}},
    /* 15 */ {"USB zenoCRX", 16, 3, 1, &S3, {}, {1036, kUsb, kListUsb, kBlocking, kAddressOrDevice}, {1, kFw, kUsbAsIs, kRelayI9, kMostNo, kNoProbe, kPullUpI}},
    /* 16 */ {"USB7160", 16, 3, 1, &S3, {24}, {1036, kUsb, kListUsb, kBlocking, kAddressOrDevice}, {1, kFw, kUsbAsIs, kRelayI9, kMostNo, kNoProbe, kPullUpI}},
    /* 17 */ {"kaloCRX", 17, 3, 1, &S3, {28}, {1036, kUsb, kListUsb, kBlocking, kAddressOrDevice}, {1, kFw, kUsbAsIs, kRelayI9, kMostNo, kNoProbe, kPullUp2}},
    /* 18 */ {"Ethernet", 18, 4, 1, &S4, {}, {4108, kNoPath, kListEthernet, kBlocking, kAddress}, {1, kFw, kUsbNo, kRelayNo, kMostNo, kNoProbe, kPullUpNo}},
    /* 19 */ {"DOZ8340", 19, 3, 1, &S5, {}, {4194476, kUsb, kListUsb, kNoThread, kAddressOrDevice}, {1, kLvds, kUsbAsIs, kRelayNo, kMostNo, kNoProbe, kPullUpNo}},
    /* 20 */ {"PCI7170", 20, 2, 2, &S6, {}, {65548, kNoPath, kListEmpty, kPolling, kDeviceAndController}, {1, kFw, kUsbNo, kRelayNo, kMostNo, kNoProbe, kPullUpNo}},
    /* 21 */ {"PXI7170", 21, 1, 2, &S6, {22}, {65548, kNoPath, kListEmpty, kPolling, kDeviceAndController}, {1, kFw, kUsbNo, kRelayNo, kMostNo, kNoProbe, kPullUpNo}},
    /* 22 */ {"PXI9420", 22, 1, 1, &S4, {35}, {4108, k94xx, kList94xx, kBlocking, kAddressOrDevice}, {22, kFw, kUsbNo, kRelayI21, kMostNo, kNoProbe, kPullUpProp}},
    /* 23 */ {"USB9420", 23, 3, 1, &S4, {39}, {4108, kUsb, kListUsb, kBlocking, kAddressOrDevice}, {22, kFw, kUsbNet, kRelayI21, kMostNo, kNoProbe, kPullUpProp}},
    /* 24 */ {"PXI9440", 24, 1, 1, &S4, {36}, {4108, k94xx, kList94xx, kBlocking, kAddressOrDevice}, {22, kFw, kUsbNo, kRelayI21, kMostNo, kNoProbe, kPullUpProp}},
    /* 25 */ {"USB9440", 25, 3, 1, &S4, {40}, {4108, kUsb, kListUsb, kBlocking, kAddressOrDevice}, {22, kFw, kUsbNet, kRelayI21, kMostNo, kNoProbe, kPullUpProp}},
    /* 26 */ {"PXI9460", 26, 1, 1, &S4, {38}, {4108, k94xx, kList94xx, kBlocking, kAddressOrDevice}, {22, kFw, kUsbNo, kRelayI21, kMostNo, kNoProbe, kPullUpProp}},
    /* 27 */ {"USB9460", 27, 3, 1, &S4, {42}, {4108, kUsb, kListUsb, kBlocking, kAddressOrDevice}, {22, kFw, kUsbNet, kRelayI21, kMostNo, kNoProbe, kPullUpProp}},
    /* 28 */ {"zenoCRX7165", 28, 3, 1, &S3, {}, {1036, kUsb, kListUsb, kBlocking, kAddressOrDevice}, {1, kFw, kUsbAsIs, kRelayI9, kMostNo, kNoProbe, kPullUpI}},
    /* 29 */ {"PXI9450", 29, 1, 1, &S4, {37}, {4108, k94xx, kList94xx, kBlocking, kAddressOrDevice}, {22, kFw, kUsbNo, kRelayI21, kMostNo, kNoProbe, kPullUpProp}},
    /* 30 */ {"USB9450", 30, 3, 1, &S4, {41}, {4108, kUsb, kListUsb, kBlocking, kAddressOrDevice}, {22, kFw, kUsbNet, kRelayI21, kMostNo, kNoProbe, kPullUpProp}},
    /* 31 */ {"zenoCAN94Plus", 23, 3, 1, &S4, {44}, {4108, kUsb, kListUsb, kBlocking, kAddressOrDevice}, {22, kFw, kUsbNet, kRelayI21, kMostNo, kNoProbe, kPullUpProp}},
    /* 32 */ {"miroCRX3", 32, 4, 1, &S4, {43}, {4108, kNoPath, kListUsbOverEthernet, kBlocking, kAddress}, {22, kFw, kUsbNo, kRelayI21, kMostNo, kNoProbe, kPullUpProp}},
    /* 33 */ {"USB8200", 33, 3, 1, &S7, {}, {1184, kUsb, kListUsb, kNoThread, kAddressOrDevice}, {1, kRes, kUsbAsIs, kRelayNo, kMostNo, kNoProbe, kPullUpNo}},
    /* 34 */ {"PXI9400", 22, 1, 1, &S4, {34}, {4108, k94xx, kList94xx, kBlocking, kAddressOrDevice}, {22, kFw, kUsbNo, kRelayI21, kMostNo, kNoProbe, kPullUpProp}},
    /* 35 */ {"PXI7155", 35, 1, 1, &S6, {51}, {65548, kNoPath, kListUnknown, kPolling, kDeviceAndController}, {1, kFw, kUsbNo, kRelayNo, kMostNo, kNoProbe, kPullUpProp}},
    /* 36 */ {"USB7350", 36, 3, 1, &S7, {}, {1184, kUsb, kListUsb, kNoThread, kAddressOrDevice}, {1, kIo, kUsbAsIs, kRelayC1, kMostNo, kNoProbe, kPullUpNo}},
    /* 37 */ {"USB7320", 37, 3, 1, &S7, {}, {1184, kUsb, kListUsb, kNoThread, kAddressOrDevice}, {1, kIo, kUsbAsIs, kRelayC1, kMostNo, kNoProbe, kPullUpNo}},
    /* 38 */ {"PXI9430", 38, 1, 1, &S4, {50}, {4108, k94xx, kList94xx, kBlocking, kAddressOrDevice}, {22, kFw, kUsbNo, kRelayNo, kMostFilter, kNoProbe, kPullUpProp}},
    /* 39 */ {"RIZ8330", 39, 3, 1, &S3, {31}, {1036, kUsb, kListUsb, kBlocking, kAddressOrDevice}, {1, kFw, kUsbAsIs, kRelayNo, kMostNo, kNoProbe, kPullUpNo}},
    /* 40 */ {"USB9430", 40, 3, 1, &S4, {53}, {4108, kUsb, kListUsb, kBlocking, kAddressOrDevice}, {22, kFw, kUsbNet, kRelayNo, kMostFilter, kNoProbe, kPullUpProp}},
    /* 41 */ {"zenoMOST9430", 40, 3, 1, &S4, {54}, {4108, kUsb, kListUsb, kBlocking, kAddressOrDevice}, {22, kFw, kUsbNet, kRelayNo, kMostFilter, kNoProbe, kPullUpProp}},
    /* 42 */ {"USB8310", 42, 3, 1, &S7, {}, {1184, kUsb, kListUsb, kNoThread, kAddressOrDevice}, {1, kLvds, kUsbAsIs, kRelayNo, kMostNo, kNoProbe, kPullUpNo}},
    /* 43 */ {"USB8320", 43, 3, 1, &S7, {}, {1184, kUsb, kListUsb, kNoThread, kAddressOrDevice}, {1, kLvds, kUsbAsIs, kRelayNo, kMostNo, kNoProbe, kPullUpNo}},
    /* 44 */ {"zenoCAN9420", 23, 3, 1, &S4, {55}, {4108, kUsb, kListUsb, kBlocking, kAddressOrDevice}, {22, kFw, kUsbNet, kRelayI21, kMostNo, kNoProbe, kPullUpProp}},
    /* 45 */ {"zenoLIN9440", 25, 3, 1, &S4, {56}, {4108, kUsb, kListUsb, kBlocking, kAddressOrDevice}, {22, kFw, kUsbNet, kRelayI21, kMostNo, kNoProbe, kPullUpProp}},
    /* 46 */ {"zenoCRX9450", 30, 3, 1, &S4, {57}, {4108, kUsb, kListUsb, kBlocking, kAddressOrDevice}, {22, kFw, kUsbNet, kRelayI21, kMostNo, kNoProbe, kPullUpProp}},
    /* 47 */ {"zenoFLEX9460", 27, 3, 1, &S4, {58}, {4108, kUsb, kListUsb, kBlocking, kAddressOrDevice}, {22, kFw, kUsbNet, kRelayI21, kMostNo, kNoProbe, kPullUpProp}},
    /* 48 */ {"PCI9420", 48, 2, 1, &S4, {46}, {4108, k94xx, kList94xx, kBlocking, kAddressOrDevice}, {22, kFw, kUsbNo, kRelayI21, kMostNo, kNoProbe, kPullUpProp}},
    /* 49 */ {"PCI9440", 49, 2, 1, &S4, {47}, {4108, k94xx, kList94xx, kBlocking, kAddressOrDevice}, {22, kFw, kUsbNo, kRelayI21, kMostNo, kNoProbe, kPullUpProp}},
    /* 50 */ {"PCI9450", 50, 2, 1, &S4, {48}, {4108, k94xx, kList94xx, kBlocking, kAddressOrDevice}, {22, kFw, kUsbNo, kRelayI21, kMostNo, kNoProbe, kPullUpProp}},
    /* 51 */ {"PCI9460", 51, 2, 1, &S4, {49}, {4108, k94xx, kList94xx, kBlocking, kAddressOrDevice}, {22, kFw, kUsbNo, kRelayI21, kMostNo, kNoProbe, kPullUpProp}},
    /* 52 */ {"Quadlink", 52, 3, 1, &S3, {52}, {4108, kUsb, kListUsb, kBlocking, kAddressOrDevice}, {1, kFw, kUsbAsIs, kRelayI9, kMostNo, kNoProbe, kPullUpProp}},
    /* 53 */ {"Apix2Devkit Tx", 53, 6, 1, &S8, {}, {4108, kNoPath, kListUnknown, kNoThread, kAddressOrDevice}, {1, kLvds, kUsbNo, kRelayNo, kMostNo, kNoProbe, kPullUpNo}},
    /* 54 */ {"Apix2Devkit Rx", 54, 6, 1, &S8, {}, {4108, kNoPath, kListUnknown, kNoThread, kAddressOrDevice}, {1, kLvds, kUsbNo, kRelayNo, kMostNo, kNoProbe, kPullUpNo}},
    /* 55 */ {"zenoCON8350", 55, 3, 1, &S9, {60}, {32780, kUsb, kListUsb, kBlocking, kAddressOrDevice}, {1, kFw, kUsbNet, kRelayNo, kMostNo, kProbe, kPullUpNo}},
    /* 56 */ {"PXI8310", 56, 1, 1, &S7, {}, {1184, kNoPath, kListEmpty, kNoThread, kAddressOrDevice}, {1, kLvds, kUsbNo, kRelayNo, kMostNo, kNoProbe, kPullUpNo}},
    /* 57 */ {"PXI8320", 57, 1, 1, &S7, {}, {1184, kNoPath, kListEmpty, kNoThread, kAddressOrDevice}, {1, kLvds, kUsbNo, kRelayNo, kMostNo, kNoProbe, kPullUpNo}},
    /* 58 */ {"ETH7310", 58, 4, 1, &S6, {61}, {4108, kNoPath, kListEthernet, kBlocking, kAddress}, {21, kFw, kUsbNo, kRelayNo, kMostNo, kNoProbe, kPullUpNo}},
    /* 59 */ {"ETH7320", 59, 4, 1, &S6, {64}, {4108, kNoPath, kListEthernet, kBlocking, kAddress}, {21, kFw, kUsbNo, kRelayI21, kMostNo, kNoProbe, kPullUpNo}},
    /* 60 */ {"ETH7330", 60, 4, 1, &S6, {67}, {4108, kNoPath, kListEthernet, kBlocking, kAddress}, {21, kFw, kUsbNo, kRelayI21, kMostNo, kNoProbe, kPullUpNo}},
    /* 61 */ {"ETH7350", 61, 4, 1, &S6, {65}, {4108, kNoPath, kListEthernet, kBlocking, kAddress}, {21, kFw, kUsbNo, kRelayI21, kMostNo, kNoProbe, kPullUpNo}},
    /* 62 */ {"ETH7360", 62, 4, 1, &S6, {66}, {4108, kNoPath, kListEthernet, kBlocking, kAddress}, {21, kFw, kUsbNo, kRelayI21, kMostNo, kNoProbe, kPullUpNo}},
    /* 63 */ {"ETH73400", 63, 4, 1, &S6, {62}, {4108, kNoPath, kListEthernet, kBlocking, kAddress}, {21, kFw, kUsbNo, kRelayI21, kMostNo, kNoProbe, kPullUpNo}},
    /* 64 */ {"PXI7320", 64, 1, 1, &S7, {}, {1184, kNoPath, kListEmpty, kNoThread, kAddressOrDevice}, {1, kIo, kUsbNo, kRelayC1, kMostNo, kNoProbe, kPullUpNo}},
    /* 65 */ {"PXI7330", 65, 1, 1, &S7, {}, {1184, kNoPath, kListEmpty, kNoThread, kAddressOrDevice}, {1, kIo, kUsbNo, kRelayC1, kMostNo, kNoProbe, kPullUpNo}},
    /* 66 */ {"PXI7350", 66, 1, 1, &S7, {}, {1184, kNoPath, kListEmpty, kNoThread, kAddressOrDevice}, {1, kIo, kUsbNo, kRelayC1, kMostNo, kNoProbe, kPullUpNo}},
    /* 67 */ {"PXI7360", 67, 1, 1, &S7, {}, {1184, kNoPath, kListEmpty, kNoThread, kAddressOrDevice}, {1, kIo, kUsbNo, kRelayC1, kMostNo, kNoProbe, kPullUpNo}},
    /* 68 */ {"PXI7340", 68, 1, 1, &S7, {}, {1184, kNoPath, kListEmpty, kNoThread, kAddressOrDevice}, {1, kIo, kUsbNo, kRelayC1, kMostNo, kNoProbe, kPullUpNo}},
    /* 69 */ {"USB7330", 69, 3, 1, &S7, {}, {1184, kUsb, kListUsb, kNoThread, kAddressOrDevice}, {1, kIo, kUsbAsIs, kRelayC1, kMostNo, kNoProbe, kPullUpNo}},
    /* 70 */ {"USB73400", 70, 3, 1, &S7, {}, {1184, kUsb, kListUsb, kNoThread, kAddressOrDevice}, {1, kIo, kUsbAsIs, kRelayC1, kMostNo, kNoProbe, kPullUpNo}},
    /* 71 */ {"USB7360", 71, 3, 1, &S7, {}, {1184, kUsb, kListUsb, kNoThread, kAddressOrDevice}, {1, kIo, kUsbAsIs, kRelayC1, kMostNo, kNoProbe, kPullUpNo}},
    /* 72 */ {"PXI9405", 72, 1, 1, &S4, {63}, {4108, k94xx, kList94xx, kBlocking, kAddressOrDevice}, {20, kFw, kUsbNo, kRelayI21, kMostNo, kNoProbe, kPullUpProp}},
    /* 73 */ {"PXI8200", 73, 1, 1, &S7, {}, {1184, kNoPath, kListUnknown, kNoThread, kAddressOrDevice}, {1, kRes, kUsbNo, kRelayNo, kMostNo, kNoProbe, kPullUpNo}},
    /* 74 */ {"QorCRX9535", 74, 3, 1, &S9, {71}, {32780, kUsb, kListUsb, kBlocking, kAddressOrDevice}, {22, kFw, kUsbNet, kRelayNo, kMostNo, kNoProbe, kPullUpProp}},
    /* 75 */ {"ETH8240", 75, 4, 1, &S6, {68}, {4108, kNoPath, kListEthernet, kBlocking, kAddress}, {21, kFw, kUsbNo, kRelayI21, kMostNo, kNoProbe, kPullUpNo}},
    /* 76 */ {"ETH8200", 76, 4, 1, &S6, {76}, {4108, kNoPath, kListEthernet, kBlocking, kAddress}, {21, kFw, kUsbNo, kRelayNo, kMostNo, kNoProbe, kPullUpNo}},
    /* 77 */ {"ETH7300", 77, 4, 1, &S6, {75}, {4108, kNoPath, kListEthernet, kBlocking, kAddress}, {21, kFw, kUsbNo, kRelayI21, kMostNo, kNoProbe, kPullUpNo}},
    /* 78 */ {"QorPCIE9510", 78, 7, 1, &S9, {74}, {32780, k95xx, kList95xx, kBlocking, kAddressOrDevice}, {22, kFw, kUsbNo, kRelayNo, kMostNo, kProbe, kPullUpProp}},
    /* 79 */ {"QorPCIE9530", 79, 7, 1, &S9, {78}, {32780, k95xx, kList95xx, kBlocking, kAddressOrDevice}, {22, kFw, kUsbNo, kRelayNo, kMostNo, kNoProbe, kPullUpProp}},
    /* 80 */ {"QorCRX9510", 80, 3, 1, &S9, {80}, {32780, kUsb, kListUsb, kBlocking, kAddressOrDevice}, {22, kFw, kUsbNet, kRelayNo, kMostNo, kProbe, kPullUpProp}},
    /* 81 */ {"QorPXIE9510", 81, 8, 1, &S9, {73}, {32780, k95xx, kList95xx, kBlocking, kAddressOrDevice}, {22, kFw, kUsbNo, kRelayNo, kMostNo, kProbe, kPullUpProp}},
    /* 82 */ {"QorPXIE9530", 82, 8, 1, &S9, {79}, {32780, k95xx, kList95xx, kBlocking, kAddressOrDevice}, {22, kFw, kUsbNo, kRelayNo, kMostNo, kNoProbe, kPullUpProp}},
    /* 83 */ {"QorCRX9530", 83, 3, 1, &S9, {77}, {32780, kUsb, kListUsb, kBlocking, kAddressOrDevice}, {22, kFw, kUsbNet, kRelayNo, kMostNo, kNoProbe, kPullUpProp}},
    /* 84 */ {"QorCRX9515", 84, 3, 1, &S9, {81}, {32780, kUsb, kListUsb, kBlocking, kAddressOrDevice}, {22, kFw, kUsbNet, kRelayNo, kMostNo, kNoProbe, kPullUpProp}},
    /* 85 */ {"QorPCIE9520", 85, 7, 1, &S9, {82}, {32780, k95xx, kList95xx, kBlocking, kAddressOrDevice}, {22, kFw, kUsbNo, kRelayI21, kMostNo, kNoProbe, kPullUpProp}},
    /* 86 */ {"QorPXIE9520", 86, 8, 1, &S9, {83}, {32780, k95xx, kList95xx, kBlocking, kAddressOrDevice}, {22, kFw, kUsbNo, kRelayI21, kMostNo, kNoProbe, kPullUpProp}},
}};

// Firmware interface codes 1 to 25 onto Qor_InterfaceType; 0 where the firmware code means nothing here.
constexpr std::array<uint8_t, 26> kInterfaceTypeFromFirmware = {
    0, 1, 4, 5, 6, 0, 0, 0, 0, 0, 0, 0, 3, 9, 0, 7, 0, 2, 8, 0, 12, 10, 11, 15, 14, 16};

constexpr uint32_t kInvalidParameter = 0x2000206;
constexpr uint32_t kLastFirmwareDeviceCode = 84;

} // namespace

const HostType* findHostType(uint32_t type) {
  return type < kHostTypes.size() ? &kHostTypes[type] : nullptr;
}

std::optional<SizeGroup> sizeGroupOf(uint32_t type) {
  const HostType* host = findHostType(type);
  if (host == nullptr) return std::nullopt;
  return *host->sizeGroup;
}

} // namespace qor

using qor::findHostType;

extern "C" {

const char* Qor_Internal_GetHostInterfaceTypeDescription(uint32_t type) {
  const qor::HostType* host = findHostType(type);
  return host ? host->description : "unknown device";
}

uint32_t Qor_Internal_GetInternalHostInterfaceType(uint32_t type) {
  const qor::HostType* host = findHostType(type);
  return host ? host->folded : type;
}

uint32_t Qor_Internal_TranslateHostInterfaceType_Fw2Api(uint32_t firmwareDeviceCode) {
  if (firmwareDeviceCode > qor::kLastFirmwareDeviceCode) return QOR_HOST_INTERFACE_TYPE_UNKNOWN;
  for (uint32_t type = 0; type < qor::kHostTypes.size(); ++type) {
    for (uint8_t code : qor::kHostTypes[type].firmwareDeviceCodes) {
      if (code != 0 && code == firmwareDeviceCode) return type;
    }
  }
  return QOR_HOST_INTERFACE_TYPE_UNKNOWN;
}

uint32_t Qor_Internal_TranslateInterfaceType_Fw2Api(uint32_t firmwareInterfaceCode) {
  return firmwareInterfaceCode < qor::kInterfaceTypeFromFirmware.size()
             ? qor::kInterfaceTypeFromFirmware[firmwareInterfaceCode]
             : 0;
}

uint32_t Qor_Internal_CheckHostInterfaceType(uint32_t type) {
  return findHostType(type) ? 0 : qor::kInvalidParameter;
}

uint32_t Qor_Internal_CheckInterfaceType(uint32_t type) {
  return type >= 1 && type <= 16 ? 0 : qor::kInvalidParameter;
}

uint32_t Qor_Internal_GetHostCommunicationType(const Qor_InterfaceInfo_t* descriptor) {
  if (descriptor == nullptr) return QOR_COMMUNICATION_UNKNOWN;
  if (descriptor->flags & QOR_INTERFACE_FLAG_ETHERNET) {
    return (descriptor->flags & QOR_INTERFACE_FLAG_USB_OVER_ETHERNET) ? QOR_COMMUNICATION_USB_OVER_ETHERNET
                                                                     : QOR_COMMUNICATION_ETHERNET;
  }
  // Type 87 would index past the table: every type outside it is unknown.
  const qor::HostType* host = findHostType(descriptor->hostInterfaceType);
  return host ? host->communication : uint32_t{QOR_COMMUNICATION_UNKNOWN};
}

uint32_t Qor_Internal_GetMaxNumberOfControllers(uint32_t type, uint8_t* count) {
  const qor::HostType* host = findHostType(type);
  if (count != nullptr) *count = host ? host->maxControllers : 0;
  return 0;
}

} // extern "C"
