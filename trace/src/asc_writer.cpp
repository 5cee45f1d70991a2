#include "asc_writer.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "asc_lines.hpp"
#include "trace_library.hpp"

namespace qor::trace {
namespace {

// Text waits in memory up to this size before it goes to the file.
constexpr size_t kPendingLimit = 1 << 16;

// The local time as the C library's ctime gives it: 24 characters and a line feed.
std::string ctimeText() {
  const time_t now = time(nullptr);
  char text[32];
  if (ctime_r(&now, text) == nullptr) return "Thu Jan  1 00:00:00 1970\n";
  return text;
}

}  // namespace

AscWriter::AscWriter(uint32_t flags, std::string fileName, uint64_t startTime, uint32_t maxFileSize)
    : flags_(flags), baseName_(std::move(fileName)), currentName_(baseName_), previousName_(baseName_),
      startTime_(startTime), maxFileSize_(maxFileSize) {
  startNewFile();
}

AscWriter::~AscWriter() {
  try {
    endFile();
  } catch (const TraceException&) {
    // Already recorded; a destructor reports nothing further.
  }
}

std::string AscWriter::nextFileName() const {
  // Only a "." of the file's own name starts an extension, never one of a directory above it.
  const size_t nameStart = baseName_.rfind('/') == std::string::npos ? 0 : baseName_.rfind('/') + 1;
  const size_t dot = baseName_.rfind('.');
  const std::string number = "_" + std::to_string(fileCount_);
  if (dot == std::string::npos || dot < nameStart) return baseName_ + number;
  return baseName_.substr(0, dot) + number + baseName_.substr(dot);
}

void AscWriter::startNewFile() {
  file_.reset();
  previousName_ = currentName_;
  if (flags_ & kAscSplit) {
    if (fileCount_ != 0) currentName_ = nextFileName();
    ++fileCount_;
  }
  const int fd = open(currentName_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) throwFileError("error opening file '" + currentName_ + "'", errno);
  file_ = FileDescriptor(fd);
  writeHeader();
  fileBytes_ = pending_.size();
}

void AscWriter::writeHeader() {
  const std::string date = ctimeText();
  pending_ += "date " + date;
  pending_ += flags_ & kAscDecimal ? "base dec  " : "base hex  ";
  pending_ += flags_ & kAscRelativeTimes ? "timestamps relative\n" : "timestamps absolute\n";
  pending_ += "internal events logged\n// version 8.1.0\n";
  if ((flags_ & kAscSplit) && fileCount_ >= 2) {
    pending_ += "// " + secondsText(lastTime_) + " previous log file: " + previousName_ + "\n";
  }
  pending_ += "Begin Triggerblock " + date;
}

void AscWriter::writePending() {
  const char* text = pending_.data();
  size_t left = pending_.size();
  while (left > 0) {
    const ssize_t written = write(file_.get(), text, left);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      // The file ends here: nothing more is written to it, not even the closing line.
      const int error = written < 0 ? errno : ENOSPC;
      pending_.clear();
      file_.reset();
      throwFileError("could not write file '" + currentName_ + "'", error);
    }
    text += written;
    left -= static_cast<size_t>(written);
  }
  pending_.clear();
}

void AscWriter::endFile() {
  if (!file_.isOpen()) return;
  pending_ += "End Triggerblock\n";
  writePending();
  // A close can report the last write's failure.
  if (close(file_.release()) != 0) throwFileError("could not close file '" + currentName_ + "'", errno);
}

void AscWriter::writeEntry(const TraceEntry& entry) {
  if (!file_.isOpen()) return;  // ended by a failed write, already reported
  const bool relativeTimes = flags_ & kAscRelativeTimes;
  const bool fromStart = flags_ & kAscFromStartTime;
  if (fromStart && !relativeTimes && entry.timestamp() < startTime_) return;
  const uint64_t time = entry.timestamp() - (fromStart ? startTime_ : 0);
  const AscLineTimes times{secondsText(relativeTimes ? entry.relativeTimestamp() : time),
                           static_cast<int64_t>(entry.timestamp() - startTime_)};
  const size_t before = pending_.size();
  AscLine line(pending_, flags_ & kAscDecimal);
  appendAscLine(line, entry, times);
  if (pending_.size() != before) lastTime_ = time;
  fileBytes_ += pending_.size() - before;
  if (pending_.size() >= kPendingLimit) writePending();
  if ((flags_ & kAscSplit) && fileBytes_ > maxFileSize_) {
    endFile();
    startNewFile();
  }
}

void AscWriter::finish() { endFile(); }

}  // namespace qor::trace
