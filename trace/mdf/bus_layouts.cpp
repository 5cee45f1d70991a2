#include "bus_layouts.hpp"

namespace MDF {
namespace {

constexpr uint8_t kVariable = 1;
constexpr uint8_t kMaximum = 5;
constexpr uint8_t kVirtual = 6;
constexpr uint8_t kFloat = 4;
constexpr uint8_t kBytes = 10;

const char* const kInterfaceTypeComment =
    "<CNcomment><TX>Type of bus interface.</TX><names><display>InterfaceType</display></names></CNcomment>";

FieldLayout InterfaceType(double value) {
  return {.name = "InterfaceType", .channelType = kVirtual, .comment = kInterfaceTypeComment, .constant = value};
}

}  // namespace

const std::vector<GroupLayout>& CanLayouts() {
  static const std::vector<GroupLayout> layouts{
      {"CAN_DataFrame", 26,
       {{.name = "ID", .byte = 8, .bits = 32},
        {.name = "IDE", .byte = 11, .bit = 7, .bits = 1},
        {.name = "FlagsEx", .byte = 12, .bits = 32},
        {.name = "Dir", .byte = 12, .bit = 6, .bits = 1, .texts = {{0, "Rx"}, {1, "Tx"}},
         .comment = "<CNcomment><TX>Bit signal indicating the direction (Rx, Tx).</TX><names><display>Dir</display>"
                    "</names></CNcomment>"},
        {.name = "EDL", .byte = 13, .bit = 4, .bits = 1},
        {.name = "BRS", .byte = 13, .bit = 5, .bits = 1},
        {.name = "ESI", .byte = 13, .bit = 6, .bits = 1},
        {.name = "r1", .byte = 13, .bit = 3, .bits = 1},
        {.name = "DLC", .byte = 16, .bits = 8},
        {.name = "DataLength", .byte = 17, .bits = 8},
        {.name = "DataBytes", .byte = 18, .bits = 64, .channelType = kVariable, .dataType = kBytes}}},
      {"CAN_ErrorFrame", 34,
       {{.name = "ID", .byte = 8, .bits = 32},
        {.name = "IDE", .byte = 11, .bit = 7, .bits = 1},
        {.name = "Dir", .byte = 13, .bit = 7, .bits = 1},
        {.name = "DLC", .byte = 14, .bits = 8},
        {.name = "DataLength", .byte = 14, .bits = 8},
        {.name = "DataBytes", .byte = 15, .bits = 64, .channelType = kMaximum, .dataType = kBytes,
         .lengthField = "DataLength"},
        {.name = "ErrorFlags", .byte = 27, .bits = 56}}},
  };
  return layouts;
}

const std::vector<GroupLayout>& LinLayouts() {
  static const std::vector<GroupLayout> layouts{
      {"LIN_Frame", 36,
       {{.name = "ID", .byte = 8, .bits = 8},
        {.name = "ReceivedDataByteCount", .byte = 9, .bits = 8},
        {.name = "DataLength", .byte = 9, .bits = 8},
        {.name = "DataBytes", .byte = 10, .bits = 64, .channelType = kMaximum, .dataType = kBytes,
         .lengthField = "DataLength"},
        {.name = "Dir", .byte = 18, .bits = 1},
        {.name = "ChecksumModel", .byte = 18, .bit = 1, .bits = 1},
        {.name = "IsSimulated", .byte = 18, .bit = 2, .bits = 1},
        {.name = "IsETF", .byte = 18, .bit = 3, .bits = 1},
        {.name = "Checksum", .byte = 19, .bits = 8},
        {.name = "SOF", .byte = 20, .bits = 64},
        {.name = "Baudrate", .byte = 28, .bits = 64, .dataType = kFloat}}},
      {"LIN_ChecksumError", 36,
       {{.name = "ID", .byte = 8, .bits = 8},
        {.name = "ReceivedDataByteCount", .byte = 9, .bits = 8},
        {.name = "DataLength", .byte = 9, .bits = 8},
        {.name = "DataBytes", .byte = 10, .bits = 64, .channelType = kMaximum, .dataType = kBytes,
         .lengthField = "DataLength"},
        {.name = "ChecksumModel", .byte = 18, .bits = 2},
        {.name = "IsSimulated", .byte = 18, .bit = 2, .bits = 1},
        {.name = "Dir", .byte = 18, .bit = 3, .bits = 1},
        {.name = "Checksum", .byte = 19, .bits = 8},
        {.name = "SOF", .byte = 20, .bits = 64},
        {.name = "Baudrate", .byte = 28, .bits = 64, .dataType = kFloat}}},
      {"LIN_ReceiveError", 36,
       {{.name = "ID", .byte = 8, .bits = 8},
        {.name = "ReceivedDataByteCount", .byte = 9, .bits = 8},
        {.name = "DataLength", .byte = 9, .bits = 8},
        {.name = "DataBytes", .byte = 10, .bits = 64, .channelType = kMaximum, .dataType = kBytes,
         .lengthField = "DataLength"},
        {.name = "ChecksumModel", .byte = 18, .bits = 2},
        {.name = "IsETF", .byte = 18, .bit = 2, .bits = 1},
        {.name = "IsShortError", .byte = 18, .bit = 3, .bits = 1},
        {.name = "IsTimeoutDuringLenDet", .byte = 18, .bit = 4, .bits = 1},
        {.name = "SOF", .byte = 19, .bits = 64},
        {.name = "Baudrate", .byte = 27, .bits = 64, .dataType = kFloat},
        {.name = "State", .byte = 35, .bits = 4},
        {.name = "Reason", .byte = 35, .bit = 4, .bits = 4}}},
      {"LIN_SyncError", 24,
       {{.name = "SOF", .byte = 8, .bits = 64},
        {.name = "Baudrate", .byte = 16, .bits = 64, .dataType = kFloat}}},
      {"LIN_TransmissionError", 27,
       {{.name = "ID", .byte = 8, .bits = 8},
        {.name = "SpecifiedDataByteCount", .byte = 9, .bits = 8},
        {.name = "ChecksumModel", .byte = 10, .bits = 1},
        {.name = "IsETF", .byte = 10, .bit = 1, .bits = 1},
        {.name = "SOF", .byte = 11, .bits = 64},
        {.name = "Baudrate", .byte = 19, .bits = 64, .dataType = kFloat}}},
      {"LIN_Wakeup", 26,
       {{.name = "SOF", .byte = 8, .bits = 64},
        {.name = "Baudrate", .byte = 16, .bits = 64, .dataType = kFloat},
        {.name = "ReceivedByte", .byte = 24, .bits = 8},
        {.name = "LengthInfo", .byte = 25, .bits = 2},
        {.name = "IsExternal", .byte = 25, .bit = 2, .bits = 1}}},
  };
  return layouts;
}

const std::vector<GroupLayout>& FlexRayLayouts() {
  static const std::vector<GroupLayout> layouts{
      {"FLX_Frame", 27,
       {InterfaceType(0),
        {.name = "ControllerID", .channelType = kVirtual,
         .comment = "<CNcomment><TX>Identification number of controller that reported this event.</TX><names>"
                    "<display>ControllerID</display></names></CNcomment>",
         .constant = 0},
        {.name = "ID", .byte = 8, .bits = 16},
        {.name = "Cycle", .byte = 10, .bits = 6},
        {.name = "FlxChannel", .byte = 10, .bit = 6, .bits = 1, .texts = {{0, "A"}, {1, "B"}},
         .comment = "<CNcomment><TX>FlexRay Channel this frame was transmitted.</TX><names><display>FlxChannel"
                    "</display></names></CNcomment>"},
        {.name = "Dir", .byte = 10, .bit = 7, .bits = 1},
        {.name = "DataLength", .byte = 11, .bits = 8},
        {.name = "FrameFlags", .byte = 12, .bits = 32},
        {.name = "NullFrameFlag", .byte = 12, .bits = 1},
        {.name = "SyncFrameFlag", .byte = 12, .bit = 2, .bits = 1},
        {.name = "StartUpFrameFlag", .byte = 12, .bit = 3, .bits = 1},
        {.name = "PayloadPreambleFlag", .byte = 12, .bit = 4, .bits = 1},
        {.name = "HeaderCRC", .byte = 16, .bits = 16},
        {.name = "PayloadLength", .byte = 18, .bits = 8},
        {.name = "DataBytes", .byte = 19, .bits = 64, .channelType = kVariable, .dataType = kBytes}}},
      {"FLX_Error", 28,
       {InterfaceType(5),
        {.name = "Cycle", .byte = 8, .bits = 8},
        {.name = "FlxChannelMask", .byte = 9, .bits = 2},
        {.name = "ErrorData", .byte = 10, .bits = 144, .dataType = kBytes},
        {.name = "ErrorType", .byte = 10, .bits = 3,
         .texts = {{0, "POC Error Mode"}, {1, "Sync Frames below min"}, {2, "Sync Frames overload"},
                   {3, "Clock Connetion Error"}, {4, "NIT Failure"}, {5, "Controller error"}, {6, "Error overflow"}},
         .comment = "<CNcomment><TX>Type of error.</TX><names><display>ErrorType</display></names></CNcomment>"}}},
      {"FLX_StartCycle", 9, {InterfaceType(5), {.name = "Cycle", .byte = 8, .bits = 8}}},
      {"FLX_State", 58,
       {InterfaceType(5),
        {.name = "Cycle", .byte = 8, .bits = 8},
        {.name = "FlxChannelMask", .byte = 9, .bits = 2},
        {.name = "StateData", .byte = 10, .bits = 384, .dataType = kBytes}}},
      {"FLX_Symbol", 27,
       {InterfaceType(5),
        {.name = "Cycle", .byte = 8, .bits = 8},
        {.name = "FlxChannelMask", .byte = 9, .bit = 6, .bits = 2},
        {.name = "SymbolType", .byte = 9, .bits = 6,
         .texts = {{0, "Unknown"}, {1, "CAS (Collision Avoidance Symbol)"}, {2, "MTS (Media Teset Symbol)"},
                   {3, "WUS (Wakeup Symbol)"}},
         .comment = "<CNcomment><TX>Type of the symbol.</TX><names><display>SymbolType</display></names>"
                    "</CNcomment>"},
        {.name = "SymbolData", .byte = 10, .bits = 136, .dataType = kBytes},
        {.name = "SymbolLength", .byte = 22, .bits = 4}}},
  };
  return layouts;
}

}  // namespace MDF
