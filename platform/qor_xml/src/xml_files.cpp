#include "xml_files.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

#include "xml_error.hpp"

namespace qor::xml {
namespace {

using namespace std::chrono_literals;

// A writer holds the lock for one load, change and save: far less than this.
constexpr auto kLockWait = 5000ms;
constexpr auto kLockRetry = 10ms;

std::string directoryOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

struct Descriptor {
  int fd;
  ~Descriptor() {
    if (fd >= 0) close(fd);
  }
};

class StringWriter : public pugi::xml_writer {
 public:
  void write(const void* data, size_t size) override { text.append(static_cast<const char*>(data), size); }
  std::string text;
};

bool writeAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Beside the target, so that the rename stays within one file system.
int createTemporary(const std::string& path, std::string& temporary) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary = path + "." + std::to_string(getpid()) + "." + std::to_string(counter++) + ".tmp";
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// A new file keeps the mode that the process's umask gives it.
bool keepModeAndOwner(int fd, const std::string& path) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) return errno == ENOENT;
  if (fchmod(fd, status.st_mode & 07777) != 0) return false;
  // Only a privileged writer may keep another owner; anyone else's file then becomes the writer's.
  if (fchown(fd, status.st_uid, status.st_gid) != 0 && errno != EPERM) return false;
  return true;
}

// The rename survives a crash only once the directory is on disk; the file is replaced either way.
void syncDirectory(const std::string& path) {
  Descriptor directory{open(directoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
  if (directory.fd >= 0) fsync(directory.fd);
}

} // namespace

DirectoryLock::~DirectoryLock() {
  if (descriptor_ >= 0) close(descriptor_);
}

uint32_t DirectoryLock::lock(const std::string& path) {
  const std::string directory = directoryOf(path);
  const int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return fail(QOR_XML_ERR_FILE, "could not open the directory of '%s': %s", path.c_str(), strerror(errno));
  const auto deadline = std::chrono::steady_clock::now() + kLockWait;
  while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    if ((error != EWOULDBLOCK && error != EINTR) || std::chrono::steady_clock::now() >= deadline) {
      close(fd);
      return fail(QOR_XML_ERR_FILE, "could not lock the directory of '%s': %s", path.c_str(), strerror(error));
    }
    std::this_thread::sleep_for(kLockRetry);
  }
  if (descriptor_ >= 0) close(descriptor_);
  descriptor_ = fd;
  return 0;
}

// Compared as files: two spellings of one directory are one lock.
bool DirectoryLock::holdsDirectoryOf(const std::string& path) const {
  struct stat held {}, wanted {};
  return descriptor_ >= 0 && fstat(descriptor_, &held) == 0 && stat(directoryOf(path).c_str(), &wanted) == 0 &&
         held.st_dev == wanted.st_dev && held.st_ino == wanted.st_ino;
}

std::string targetPath(const char* path) {
  std::unique_ptr<char, decltype(&free)> resolved(realpath(path, nullptr), &free);
  return resolved ? std::string(resolved.get()) : std::string(path);
}

uint32_t loadDocument(const std::string& path, pugi::xml_document& document) {
  Descriptor file{open(path.c_str(), O_RDONLY | O_CLOEXEC)};
  if (file.fd < 0) return fail(QOR_XML_ERR_FILE, "could not open '%s': %s", path.c_str(), strerror(errno));
  struct stat status {};
  if (fstat(file.fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    return fail(QOR_XML_ERR_FILE, "'%s' is no regular file", path.c_str());
  }
  if (static_cast<uint64_t>(status.st_size) > kMaxFileSize) {
    return fail(QOR_XML_ERR_FILE, "'%s' is larger than %zu bytes", path.c_str(), kMaxFileSize);
  }
  std::string content(static_cast<size_t>(status.st_size), '\0');
  size_t done = 0;
  while (done < content.size()) {
    const ssize_t n = read(file.fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return fail(QOR_XML_ERR_FILE, "could not read '%s': %s", path.c_str(), strerror(errno));
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  const pugi::xml_parse_result parsed = document.load_buffer(content.data(), done, pugi::parse_default);
  if (parsed.status == pugi::status_out_of_memory) return fail(QOR_XML_ERR_NOT_ENOUGH_MEMORY, "not enough memory");
  if (!parsed) {
    return fail(QOR_XML_ERR_PARSER, "'%s' is damaged: %s at byte %td", path.c_str(), parsed.description(),
                parsed.offset);
  }
  return 0;
}

uint32_t saveDocument(const pugi::xml_document& document, const std::string& path) {
  StringWriter writer;
  document.save(writer, "  ", pugi::format_default, pugi::encoding_utf8);
  std::string temporary;
  const int fd = createTemporary(path, temporary);
  if (fd < 0) return fail(QOR_XML_ERR_FILE, "could not create a file beside '%s': %s", path.c_str(), strerror(errno));
  bool done = writeAll(fd, writer.text) && keepModeAndOwner(fd, path) && fsync(fd) == 0;
  int error = errno;
  if (close(fd) != 0 && done) {
    done = false;
    error = errno;
  }
  if (done && rename(temporary.c_str(), path.c_str()) != 0) {
    done = false;
    error = errno;
  }
  if (!done) {
    unlink(temporary.c_str());
    return fail(QOR_XML_ERR_FILE, "could not write '%s': %s", path.c_str(), strerror(error));
  }
  syncDirectory(path);
  return 0;
}

} // namespace qor::xml
