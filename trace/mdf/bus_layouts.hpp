// The bus-logging layouts: per kind of bus event, the group's name and the member channels of its frame channel,
// at fixed bit positions inside a record that starts with the 64-bit time. The names are those of the bus-logging
// conventions and are written to the file as they stand here.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace MDF {

struct ValueText {
  double value;
  const char* text;
};

struct FieldLayout {
  const char* name;  // behind "<group>."
  uint32_t byte = 8;
  uint32_t bit = 0;
  uint32_t bits = 0;
  uint8_t channelType = 0;  // 0 fixed length, 1 variable length in signal data, 5 maximum length, 6 virtual
  uint8_t dataType = 0;     // 0 unsigned, 4 float, 10 byte array
  const char* lengthField = nullptr;  // a maximum-length field's length, by name
  std::vector<ValueText> texts = {};  // a value-to-text conversion
  const char* comment = nullptr;
  std::optional<double> constant = {};  // a virtual field that always reads this value
};

struct GroupLayout {
  const char* name;
  uint32_t recordBytes;  // with the time: 8 + the frame channel's bytes
  std::vector<FieldLayout> fields;
};

// The group kinds of each bus, in the order of the bus's channel groups (the group index is the record kind).
const std::vector<GroupLayout>& CanLayouts();
const std::vector<GroupLayout>& LinLayouts();
const std::vector<GroupLayout>& FlexRayLayouts();

}  // namespace MDF
