#include "xml_files.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <list>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "qor_shared/regular_file.hpp"
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

// Collects the saved text up to the size that a load accepts.
class BoundedWriter : public pugi::xml_writer {
 public:
  void write(const void* data, size_t size) override {
    if (tooLarge || size > kMaxFileSize - text.size()) {
      tooLarge = true;
      return;
    }
    text.append(static_cast<const char*>(data), size);
  }
  std::string text;
  bool tooLarge = false;
};

// Walks without recursion, so that any nesting is measured safely.
bool nestsDeeperThan(const pugi::xml_node& top, unsigned limit) {
  unsigned depth = 1;
  for (pugi::xml_node node = top.first_child(); node;) {
    if (node.type() == pugi::node_element && depth > limit) return true;
    if (node.first_child()) {
      node = node.first_child();
      ++depth;
      continue;
    }
    while (!node.next_sibling()) {
      node = node.parent();
      if (node == top) return false;
      --depth;
    }
    node = node.next_sibling();
  }
  return false;
}

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

// A directory this process holds locked: one open description carries the lock of the file system for all the
// holders in the process; the thread that took it may take it again.
struct HeldDirectory {
  dev_t device;
  ino_t inode;
  int descriptor; // -1 while its thread still waits for other processes
  std::thread::id owner;
  unsigned holds;
};

std::mutex gHeldLock; // never held while waiting
std::list<HeldDirectory> gHeld;

std::list<HeldDirectory>::iterator findHeld(dev_t device, ino_t inode) {
  return std::find_if(gHeld.begin(), gHeld.end(),
                      [&](const HeldDirectory& held) { return held.device == device && held.inode == inode; });
}

// A child gets copies of the parent's locked descriptors: kept open, they would keep the parent's locks alive
// after the parent released them, and the child would wait for itself. The parent's own copies stay open.
void forgetParentsLocks() {
  for (const HeldDirectory& held : gHeld) {
    if (held.descriptor >= 0) close(held.descriptor);
  }
  gHeld.clear();
  gHeldLock.unlock();
}

void watchForks() {
  static std::once_flag registered;
  std::call_once(registered, [] {
    pthread_atfork([] { gHeldLock.lock(); }, [] { gHeldLock.unlock(); }, forgetParentsLocks);
  });
}

} // namespace

DirectoryLock::~DirectoryLock() {
  // A lock copied into a child by a fork belongs to the parent.
  if (process_ != getpid()) return;
  std::lock_guard table(gHeldLock);
  const auto held = findHeld(device_, inode_);
  if (held == gHeld.end() || --held->holds != 0) return;
  close(held->descriptor);
  gHeld.erase(held);
}

uint32_t DirectoryLock::lock(const std::string& path) {
  watchForks();
  Descriptor directory{open(directoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
  struct stat status {};
  if (directory.fd < 0 || fstat(directory.fd, &status) != 0) {
    return fail(QOR_XML_ERR_FILE, "could not open the directory of '%s': %s", path.c_str(), strerror(errno));
  }
  const auto deadline = std::chrono::steady_clock::now() + kLockWait;
  // This process first: the holding thread goes on at once, other threads wait as other processes do.
  for (;;) {
    {
      std::lock_guard table(gHeldLock);
      const auto held = findHeld(status.st_dev, status.st_ino);
      if (held == gHeld.end()) {
        gHeld.push_back({status.st_dev, status.st_ino, -1, std::this_thread::get_id(), 1});
        break;
      }
      if (held->owner == std::this_thread::get_id()) {
        ++held->holds;
        process_ = getpid();
        device_ = status.st_dev;
        inode_ = status.st_ino;
        return 0;
      }
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      return fail(QOR_XML_ERR_FILE, "the directory of '%s' stays locked by another thread of this process",
                  path.c_str());
    }
    std::this_thread::sleep_for(kLockRetry);
  }
  // Then the other processes.
  while (flock(directory.fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    if ((error != EWOULDBLOCK && error != EINTR) || std::chrono::steady_clock::now() >= deadline) {
      std::lock_guard table(gHeldLock);
      const auto held = findHeld(status.st_dev, status.st_ino);
      if (held != gHeld.end()) gHeld.erase(held);
      return fail(QOR_XML_ERR_FILE, "could not lock the directory of '%s': %s", path.c_str(), strerror(error));
    }
    std::this_thread::sleep_for(kLockRetry);
  }
  std::lock_guard table(gHeldLock);
  const auto held = findHeld(status.st_dev, status.st_ino);
  if (held == gHeld.end()) return fail(QOR_XML_ERR_FILE, "the lock of the directory of '%s' was lost", path.c_str());
  held->descriptor = std::exchange(directory.fd, -1);
  process_ = getpid();
  device_ = status.st_dev;
  inode_ = status.st_ino;
  return 0;
}

// Compared as files: two spellings of one directory are one lock.
bool DirectoryLock::holdsDirectoryOf(const std::string& path) const {
  struct stat wanted {};
  return process_ == getpid() && stat(directoryOf(path).c_str(), &wanted) == 0 && wanted.st_dev == device_ &&
         wanted.st_ino == inode_;
}

std::string targetPath(const char* path) {
  std::unique_ptr<char, decltype(&free)> resolved(realpath(path, nullptr), &free);
  return resolved ? std::string(resolved.get()) : std::string(path);
}

uint32_t loadDocument(const std::string& path, pugi::xml_document& document) {
  const RegularFileText file = readRegularFile(path.c_str(), kMaxFileSize);
  switch (file.outcome) {
    case RegularFileText::Outcome::Read: break;
    case RegularFileText::Outcome::CannotOpen:
      return fail(QOR_XML_ERR_FILE, "could not open '%s': %s", path.c_str(), strerror(file.error));
    case RegularFileText::Outcome::NotRegular: return fail(QOR_XML_ERR_FILE, "'%s' is no regular file", path.c_str());
    case RegularFileText::Outcome::TooLarge:
      return fail(QOR_XML_ERR_FILE, "'%s' is larger than %zu bytes", path.c_str(), kMaxFileSize);
    case RegularFileText::Outcome::CannotRead:
      return fail(QOR_XML_ERR_FILE, "could not read '%s': %s", path.c_str(), strerror(file.error));
  }
  const pugi::xml_parse_result parsed = document.load_buffer(file.text.data(), file.text.size(), pugi::parse_default);
  if (parsed.status == pugi::status_out_of_memory) return fail(QOR_XML_ERR_NOT_ENOUGH_MEMORY, "not enough memory");
  if (!parsed) {
    return fail(QOR_XML_ERR_PARSER, "'%s' is damaged: %s at byte %td", path.c_str(), parsed.description(),
                parsed.offset);
  }
  if (nestsDeeperThan(document, kMaxDepth)) {
    return fail(QOR_XML_ERR_PARSER, "'%s' nests deeper than %u levels", path.c_str(), kMaxDepth);
  }
  return 0;
}

uint32_t saveDocument(const pugi::xml_document& document, const std::string& path) {
  if (nestsDeeperThan(document, kMaxDepth)) {
    return fail(QOR_XML_ERR_PARSER, "the document for '%s' nests deeper than %u levels", path.c_str(), kMaxDepth);
  }
  BoundedWriter writer;
  document.save(writer, "  ", pugi::format_default, pugi::encoding_utf8);
  if (writer.tooLarge) {
    return fail(QOR_XML_ERR_FILE, "'%s' would be larger than %zu bytes", path.c_str(), kMaxFileSize);
  }
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
