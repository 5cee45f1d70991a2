#include "swap_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

#include "trace_library.hpp"

namespace qor::trace {
namespace {

// Other traces of this or another process may have taken the plain name within the same second.
constexpr unsigned kNameAttempts = 1000;
// Appends go out in pieces of about this size.
constexpr size_t kAppendChunk = 1 << 20;

std::string absolutePath(const std::string& path) {
  if (!path.empty() && path.front() == '/') return path;
  char directory[PATH_MAX];
  if (getcwd(directory, sizeof directory) == nullptr) return path;
  return std::string(directory) + "/" + path;
}

void throwCorrupt(const char* what) {
  throw TraceException(kNoPort, kFileError, std::string("corrupt swap file: ") + what);
}

bool writeAll(int fd, const uint8_t* bytes, size_t count) {
  while (count > 0) {
    const ssize_t written = write(fd, bytes, count);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes += written;
    count -= static_cast<size_t>(written);
  }
  return true;
}

}  // namespace

void SwapReader::readExactly(uint8_t* into, size_t count) {
  while (count > 0) {
    const ssize_t got = read(file_.get(), into, count);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) throwFileError("could not read the swap file", errno);
    if (got == 0) throwCorrupt("it ends inside a record");
    into += got;
    count -= static_cast<size_t>(got);
  }
}

uint32_t SwapReader::readLength() {
  if (remaining_ == 0) throwCorrupt("no further record");
  uint32_t length = 0;
  readExactly(reinterpret_cast<uint8_t*>(&length), sizeof length);
  if (length < offsets::kHead || length > QOR_TRACE_ENTRY_MAX_LENGTH) throwCorrupt("a record length is out of range");
  --remaining_;
  return length;
}

void SwapReader::skip(uint64_t count) {
  for (uint64_t index = 0; index < count; ++index) {
    const uint32_t length = readLength();
    if (lseek(file_.get(), length - sizeof length, SEEK_CUR) < 0)
      throwFileError("could not seek in the swap file", errno);
  }
}

SharedEntry SwapReader::next() {
  const uint32_t length = readLength();
  std::vector<uint8_t> record(length);
  std::memcpy(record.data(), &length, sizeof length);
  readExactly(record.data() + sizeof length, length - sizeof length);
  SharedEntry entry = TraceEntry::fromRecord(record);
  if (!entry) throwCorrupt("a record does not hold together");
  return entry;
}

SwapFile::SwapFile(const std::string& stem) : stem_(absolutePath(stem)) {}

SwapFile::~SwapFile() {
  if (!path_.empty()) unlink(path_.c_str());
}

void SwapFile::create() {
  for (unsigned attempt = 0; attempt < kNameAttempts; ++attempt) {
    std::string path = stem_ + (attempt == 0 ? "" : "_" + std::to_string(attempt)) + ".bin";
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0644);
    if (fd >= 0) {
      file_ = FileDescriptor(fd);
      path_ = std::move(path);
      return;
    }
    if (errno != EEXIST) throwFileError("error opening swap file '" + path + "'", errno);
  }
  throwFileError("error opening swap file '" + stem_ + ".bin'", EEXIST);
}

void SwapFile::append(const std::deque<SharedEntry>& entries) {
  if (entries.empty()) return;
  if (!file_.isOpen()) create();
  std::vector<uint8_t> chunk;
  chunk.reserve(kAppendChunk + QOR_TRACE_ENTRY_MAX_LENGTH);
  uint64_t written = 0;
  const auto flush = [&] {
    if (!writeAll(file_.get(), chunk.data(), chunk.size())) {
      const int error = errno;
      // No half record stays behind: the count and the file agree.
      if (ftruncate(file_.get(), static_cast<off_t>(bytes_)) != 0) {
        throwFileError("could not write the swap file '" + path_ + "' nor cut it back", error);
      }
      throwFileError("could not write the swap file '" + path_ + "'", error);
    }
    written += chunk.size();
    chunk.clear();
  };
  for (const SharedEntry& entry : entries) {
    chunk.insert(chunk.end(), entry->record().begin(), entry->record().end());
    if (chunk.size() >= kAppendChunk) flush();
  }
  flush();
  bytes_ += written;
  records_ += entries.size();
}

void SwapFile::clear() {
  if (!path_.empty()) unlink(path_.c_str());
  file_.reset();
  path_.clear();
  records_ = 0;
  bytes_ = 0;
}

SwapReader SwapFile::reader() const {
  if (records_ == 0) return {};
  const int fd = open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throwFileError("error opening swap file '" + path_ + "'", errno);
  return SwapReader(FileDescriptor(fd), records_);
}

}  // namespace qor::trace
