#include "stale_queues.hpp"

#include <ftw.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace qor::daemon {
namespace {

constexpr char kQueueDirectory[] = "/dev/mqueue";
constexpr int kMaxOpenDirectories = 64;

int unlink_cb(const char* path, const struct stat* status, int type, FTW*) {
  if (type != FTW_F || !S_ISREG(status->st_mode)) return 0;
  if (strstr(path, "Qor_API") == nullptr) {
    syslog(LOG_INFO, "%s : %s no Qor_API file ?!\n", "unlink_cb", path);
    return 0;
  }
  if (unlink(path) != 0) {
    perror(path);
    syslog(LOG_ERR, "error %s\n", path);
  }
  return 0;
}

} // namespace

bool removeStaleQueues() { return nftw(kQueueDirectory, unlink_cb, kMaxOpenDirectories, FTW_PHYS) == 0; }

} // namespace qor::daemon
