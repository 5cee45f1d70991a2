// Queue creation as the libraries and the daemon use it: the queue gets its mode, and nothing else in the process is
// touched meanwhile.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

#include "qor_helpers.h"

namespace {

constexpr char kQueue[] = "/Qor_API-mode-test";

TEST(CreateMsgQueue, GivesTheQueueItsModeWithoutWideningOtherThreadsFiles) {
  const mode_t previous = umask(022);
  std::atomic<bool> creating{true};
  std::atomic<int> widened{0};
  std::thread files([&] {
    const std::string path = "/tmp/mode-probe";
    while (creating) {
      const int file = open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY, 0666);
      if (file == -1) continue;
      struct stat status {};
      if (fstat(file, &status) == 0 && (status.st_mode & 0777) != 0644) ++widened;
      close(file);
      unlink(path.c_str());
    }
  });
  for (int i = 0; i < 2000; ++i) {
    mqd_t queue = Create_MsgQueue(kQueue, 64, 0);
    ASSERT_NE(queue, -1);
    struct stat status {};
    ASSERT_EQ(fstat(queue, &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0666u);
    destroy_message_queue(&queue, kQueue);
  }
  creating = false;
  files.join();
  EXPECT_EQ(umask(previous), 022u) << "the process's umask stays as it was";
  EXPECT_EQ(widened, 0);
}

} // namespace
