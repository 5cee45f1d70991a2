// Reading a configuration file whole: only a regular file of bounded size. A FIFO or a device would keep the reader
// waiting or reading for ever; links are followed, and the descriptor that was opened is what is checked.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string>

namespace qor {

struct RegularFileText {
  enum class Outcome { Read, CannotOpen, NotRegular, TooLarge, CannotRead };
  Outcome outcome = Outcome::CannotOpen;
  int error = 0; // errno of CannotOpen and CannotRead
  std::string text;
};

inline RegularFileText readRegularFile(const char* path, size_t maxSize) {
  RegularFileText result;
  const int file = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (file < 0) {
    result.error = errno;
    return result;
  }
  struct stat status {};
  if (fstat(file, &status) != 0 || !S_ISREG(status.st_mode)) {
    result.outcome = RegularFileText::Outcome::NotRegular;
  } else if (static_cast<uint64_t>(status.st_size) > maxSize) {
    result.outcome = RegularFileText::Outcome::TooLarge;
  } else {
    result.outcome = RegularFileText::Outcome::Read;
    result.text.resize(static_cast<size_t>(status.st_size));
    size_t done = 0;
    while (done < result.text.size()) {
      const ssize_t n = read(file, result.text.data() + done, result.text.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        result.outcome = RegularFileText::Outcome::CannotRead;
        result.error = errno;
        break;
      }
      if (n == 0) break; // shrunk meanwhile
      done += static_cast<size_t>(n);
    }
    result.text.resize(done);
  }
  close(file);
  return result;
}

} // namespace qor
