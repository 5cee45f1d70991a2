// The ring buffer of a monitor instance: blocks of monitor data in, all of it or whole items out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qor::client {

class MonitorRing {
 public:
  explicit MonitorRing(size_t size) : buffer_(size), free_(size) {}

  // A block that does not fit the free space is dropped whole and marks the ring as having lost data.
  void write(const uint8_t* data, size_t length);

  size_t used() const { return used_; }
  bool dataLost() const { return dataLost_; }

  // Copies every stored byte (the caller checked that they fit) and empties the ring; returns and clears the
  // data-lost mark.
  bool readAll(uint8_t* out);

  // Moves as many whole items of itemSize as fit into capacity bytes; returns the number of items. The data-lost
  // mark is returned through dataLost and cleared; more is set when data stay behind.
  size_t readItems(size_t itemSize, size_t capacity, uint8_t* out, bool& dataLost, bool& more);

 private:
  void copyOut(uint8_t* out, size_t length);

  std::vector<uint8_t> buffer_;
  size_t write_ = 0;
  size_t read_ = 0;
  size_t used_ = 0;
  size_t free_;
  bool dataLost_ = false;
};

} // namespace qor::client
