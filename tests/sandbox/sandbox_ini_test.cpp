// qor_sandbox --ini FILE: the file's content is the process configuration, and the test still owns it.
#include "qor_test/files.hpp"
#include "qor_test/syslog_capture.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

TEST(sandbox_ini, TheGivenFileIsTheProcessConfigurationAndTheTestMayRewriteIt) {
  ASSERT_TRUE(qor::test::insideSandbox()) << "run this test through qor_sandbox";
  const auto fixture = qor::test::readFile(QOR_INI_FIXTURE);
  ASSERT_TRUE(fixture.has_value());
  EXPECT_EQ(qor::test::readFile("/etc/Qor_API_Linux.ini"), fixture);

  struct stat status {};
  ASSERT_EQ(stat("/etc/Qor_API_Linux.ini", &status), 0);
  EXPECT_EQ(status.st_uid, getuid());
  EXPECT_TRUE(qor::test::writeFile("/etc/Qor_API_Linux.ini", "[changed]\n"));
  EXPECT_EQ(qor::test::readFile("/etc/Qor_API_Linux.ini"), "[changed]\n");
  EXPECT_TRUE(qor::test::removeFile("/etc/Qor_API_Linux.ini"));
}

}  // namespace
