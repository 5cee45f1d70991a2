// A port on a 95xx card whose card library cannot be loaded when its channel is configured: the daemon in the test
// process reaches the emulated card through the card library linked in, and the loader fails for want of a file
// descriptor.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <fcntl.h>
#include <unistd.h>

#include <memory>

#include "card_fixture.hpp"
#include "in_process_daemon.hpp"
#include "linked_pxi95xx_library.hpp"
#include "map_pxi95xx.hpp"
#include "qor_api.h"
#include "qor_error_codes.h"
#include "qor_pcie_dma.h"
#include "qor_test/daemon_process.hpp"

namespace qor::pxi95xx::test {
namespace {

using ::testing::HasSubstr;

class PcieDmaLoadFailure : public CardFixture {};

// Opens fail with EMFILE while it lives: the limit of descriptors is the lowest free one.
class NoFreeDescriptor {
public:
  NoFreeDescriptor() {
    getrlimit(RLIMIT_NOFILE, &saved_);
    const int lowestFree = open("/dev/null", O_RDONLY | O_CLOEXEC);
    close(lowestFree);
    rlimit limit = saved_;
    limit.rlim_cur = static_cast<rlim_t>(lowestFree);
    setrlimit(RLIMIT_NOFILE, &limit);
  }
  ~NoFreeDescriptor() { setrlimit(RLIMIT_NOFILE, &saved_); }
  NoFreeDescriptor(const NoFreeDescriptor&) = delete;
  NoFreeDescriptor& operator=(const NoFreeDescriptor&) = delete;

private:
  rlimit saved_{};
};

TEST_F(PcieDmaLoadFailure, AConfigurationSaysWhichLibraryCouldNotBeLoadedAndWhy) {
  addCard();
  connect();
  qor::test::InProcessDaemon server(daemon::PathKind::Cards95xx,
                                    daemon::makePxi95xxPath(std::make_unique<daemon::test::LinkedPxi95xxLibrary>()));
  ASSERT_TRUE(qor::test::connectLibraryToDaemon());
  Qor_InterfaceInfo_t descriptor{};
  descriptor.hostInterfaceType = device_.config().hostType;
  descriptor.controllerNumber = 1;
  descriptor.interfaceNumber = 22;
  descriptor.deviceNumber = 1;
  uint32_t port = QOR_NO_PORT;
  ASSERT_EQ(Qor_OpenInterface(&descriptor, &port), 0u) << Qor_GetLastErrorDescription();

  Qor_PcieDma_ChannelConfig_t config{};
  config.channel = 2;
  config.bufferCount = 1;
  config.bufferSize = 64;
  uint64_t address = 0;
  {
    const NoFreeDescriptor noneFree;
    EXPECT_EQ(Qor_PcieDma_Channel_Config_Dwth(port, &config, &address), QOR_ERR_API_INIT_FAILED);
  }
  // With the system's text of errno, which the loader's last try left.
  EXPECT_THAT(Qor_GetLastErrorDescription(), HasSubstr("could not load libQorPxi95xx_API.so - "));
  EXPECT_EQ(Qor_PcieDma_Channel_Enable(port), QOR_ERR_API_NOT_INITIALIZED);
  EXPECT_EQ(Qor_CloseInterface(port), 0u);
}

} // namespace
} // namespace qor::pxi95xx::test
