// The FPGA configuration files beside the daemon: "<directory>/FpgaFiles/<model prefix>..._<version>.CFD"; the
// newest of one stem wins.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "access_path.hpp"

namespace qor::daemon {

struct FpgaFile {
  uint32_t version = 0;
  std::string path;
};

// The newest file whose name begins with prefix, below directory + "/FpgaFiles". 0x1000041 "could not find fpga
// file '%s'" when the directory cannot be read or no name begins with prefix, "could not find a suitable fpga file"
// when none of them has a version. The first such name fixes the stem (the name up to its last "_"); files of
// other stems are not considered.
std::variant<FpgaFile, PathStatus> findFpgaFile(const std::string& directory, const std::string& prefix);

} // namespace qor::daemon
