// Reading and replacing XML files, and the lock that writers of a file take.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

#include <pugixml.hpp>

namespace qor::xml {

// Files above this size are refused rather than parsed.
constexpr size_t kMaxFileSize = 16u * 1024 * 1024;

// Element levels far beyond any configuration: a file nested deeper is refused, and saved indentation stays small.
constexpr unsigned kMaxDepth = 256;

// The lock of a file's directory, which outlives the renames that replace the file. The process holds it once for
// all its holders: another process waits for it, and so does another thread of this process, while the thread that
// holds it takes it again at once (it would wait for itself). Taking it waits a bounded time.
class DirectoryLock {
 public:
  DirectoryLock() = default;
  DirectoryLock(const DirectoryLock&) = delete;
  DirectoryLock& operator=(const DirectoryLock&) = delete;
  ~DirectoryLock();

  // Locks the directory that holds path, once per object: 0, or QOR_XML_ERR_FILE when it cannot be opened or stays
  // locked.
  uint32_t lock(const std::string& path);
  bool holdsDirectoryOf(const std::string& path) const;

 private:
  pid_t process_ = 0; // the process that holds it; 0 while not held
  dev_t device_ = 0;
  ino_t inode_ = 0;
};

// Where the file at path is replaced: a symbolic link is followed, so that it stays a link.
std::string targetPath(const char* path);

// Reads a regular file only: 0, QOR_XML_ERR_FILE (missing, unreadable, no regular file, too large),
// QOR_XML_ERR_PARSER (damaged, nested too deeply) or QOR_XML_ERR_NOT_ENOUGH_MEMORY.
uint32_t loadDocument(const std::string& path, pugi::xml_document& document);

// Writes a temporary file beside path and renames it over path, keeping the mode and owner of the file it
// replaces. 0, or the code that loading the file would give (QOR_XML_ERR_PARSER: nested too deeply;
// QOR_XML_ERR_FILE: too large, or not written); the file at path is then unchanged.
uint32_t saveDocument(const pugi::xml_document& document, const std::string& path);

// Loads the file, changes it and saves it, under the lock of its directory.
template <class Change>
uint32_t changeFile(const char* path, Change&& change) {
  const std::string target = targetPath(path);
  DirectoryLock lock;
  if (uint32_t result = lock.lock(target)) return result;
  pugi::xml_document document;
  if (uint32_t result = loadDocument(target, document)) return result;
  if (uint32_t result = change(document)) return result;
  return saveDocument(document, target);
}

} // namespace qor::xml
