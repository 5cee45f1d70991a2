// Which local users may act on what the daemon (run as root) creates for an application. Runs as root in the
// sandbox, with clients under users of their own.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "in_process_daemon.hpp"

namespace qor::test {
namespace {

constexpr uint32_t kAddress = 0x0200007F;
constexpr uid_t kOwner = 61001;
constexpr uid_t kOtherUser = 61002;

std::string applicationQueue(pid_t client, uint8_t application, const char* kind) {
  char name[96];
  snprintf(name, sizeof name, QOR_APPLICATION_QUEUE_NAME_FORMAT, static_cast<unsigned>(client), 1u,
           static_cast<unsigned>(application), kind);
  return name;
}

TEST(Access, AnApplicationsQueuesAreItsUsersAlone) {
  ASSERT_EQ(geteuid(), 0u) << "runs as root in the sandbox";
  ChildClient owner(kOwner);
  InProcessDaemon daemon;
  const auto answer = owner.connect(descriptor(18, 1, 1, 0, 0, kAddress));
  ASSERT_TRUE(answer);
  ASSERT_EQ(answer->header.error, 0u);

  for (const char* kind : {QOR_APPLICATION_REQUEST_QUEUE, QOR_APPLICATION_RESPONSE_QUEUE}) {
    const std::string name = applicationQueue(owner.pid(), answer->applicationIndex, kind);
    struct stat status {};
    ASSERT_EQ(stat(("/dev/mqueue" + name).c_str(), &status), 0) << name;
    EXPECT_EQ(status.st_uid, kOwner) << name;
    EXPECT_EQ(status.st_mode & 0777, 0600u) << name;

    ChildProcess other([&] {
      if (setgid(kOtherUser) != 0 || setuid(kOtherUser) != 0) return 2;
      for (int access : {O_RDONLY, O_WRONLY}) {
        const mqd_t queue = mq_open(name.c_str(), access);
        if (queue != -1 || errno != EACCES) return 1;
      }
      return 0;
    });
    EXPECT_EQ(other.wait(std::chrono::milliseconds(5000)), 0) << "another user cannot open " << name;
  }
  const auto served = owner.request(bareRequest(QOR_MSG_RELEASE_LOCK, answer->portIndex, answer->applicationIndex));
  ASSERT_TRUE(served) << "the owner still uses them";
  EXPECT_EQ(headerOf(*served).code, QOR_MSG_RELEASE_LOCK);
}

} // namespace
} // namespace qor::test
