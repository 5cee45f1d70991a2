// A numbered property of a firmware object, set and read by id: the shape that the bus libraries' node, trigger,
// trace and channel properties share. Set sends {u32 set sub-function, the prefix words, the id, u32 value}; read
// sends {u32 read sub-function, the prefix words, the id} and takes the u32 at valueOffset of the answer. The
// sub-function's low byte is the one control byte that keys the answer. The id is a u32, or a u16 followed by a
// reserved u16 of 0, as the command lays it out.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "qor_kit/call.hpp"

namespace qor::kit {

struct PropertyById {
  enum class IdField : uint8_t { Word, HalfWordAndReserved };

  uint8_t command;
  uint32_t setSubFunction;
  uint32_t readSubFunction;
  IdField idField;
  uint32_t answerCapacity;
  size_t valueOffset;  // of the read answer, which repeats the record's head

  // The firmware's and the core's codes come back unchanged; a read answer without the value gives "invalid response
  // length" and leaves *value untouched.
  uint32_t set(const Call& call, uint32_t id, uint32_t value, std::initializer_list<uint32_t> prefix = {}) const;
  uint32_t read(const Call& call, uint32_t id, uint32_t* value, std::initializer_list<uint32_t> prefix = {}) const;

 private:
  RecordWriter record(uint32_t subFunction, uint32_t id, std::initializer_list<uint32_t> prefix) const;
};

}  // namespace qor::kit
