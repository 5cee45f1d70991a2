#include "fpga_files.hpp"

#include <dirent.h>

#include <cstdlib>
#include <memory>
#include <optional>

#include "qor_error_codes.h"

namespace qor::daemon {
namespace {

constexpr char kSubdirectory[] = "FpgaFiles";
constexpr char kExtension[] = ".CFD";
constexpr size_t kMaxSearchPath = 256;

bool endsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The version of a candidate name: the decimal number after its last "_", before the extension.
std::optional<uint32_t> versionOf(const std::string& name, const std::string& prefix, std::string& stem) {
  if (name.compare(0, prefix.size(), prefix) != 0 || !endsWith(name, kExtension)) return std::nullopt;
  const size_t underscore = name.rfind('_');
  if (underscore == std::string::npos || underscore < prefix.size()) return std::nullopt;
  stem = name.substr(0, underscore);
  return static_cast<uint32_t>(strtoul(name.c_str() + underscore + 1, nullptr, 10));
}

} // namespace

std::variant<FpgaFile, PathStatus> findFpgaFile(const std::string& directory, const std::string& prefix) {
  const std::string folder = directory + "/" + kSubdirectory;
  const std::string searchPath = (folder + "/" + prefix + "*").substr(0, kMaxSearchPath - 1);
  const std::unique_ptr<DIR, int (*)(DIR*)> listing(opendir(folder.c_str()), closedir);
  const auto notFound = [&] {
    return pathError(QOR_ERR_SERVER_FILE_NOT_FOUND, "could not find fpga file '%s'", searchPath.c_str());
  };
  if (!listing) return notFound();
  bool prefixSeen = false;
  std::string fixedStem;
  FpgaFile best;
  while (const dirent* entry = readdir(listing.get())) {
    const std::string name = entry->d_name;
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    prefixSeen = true;
    std::string stem;
    const auto version = versionOf(name, prefix, stem);
    if (!version) continue;
    if (fixedStem.empty()) fixedStem = stem;
    if (stem != fixedStem || *version <= best.version) continue;
    best = {*version, folder + "/" + name};
  }
  if (!prefixSeen) return notFound();
  if (best.version == 0) return pathError(QOR_ERR_SERVER_FILE_NOT_FOUND, "could not find a suitable fpga file");
  return best;
}

} // namespace qor::daemon
