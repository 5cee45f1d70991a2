// The contents of the new namespaces. Nothing here writes to the host's file systems: every change lands in a
// tmpfs or in the upper layer of an overlay, and all of it vanishes with the mount namespace; the kept trees are
// read-only copies of the host's mounts.
#include "sandbox.hpp"

#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstring>

namespace qor::sandbox {
namespace {

constexpr char kIniPath[] = "/etc/Qor_API_Linux.ini";
constexpr char kUdevRules[] = "/etc/udev/rules.d";

// Holds the overlays' upper and work layers while they are mounted; the overlays keep their own references,
// so the staging mount is detached afterwards and /run gets a fresh tmpfs.
constexpr char kStaging[] = "/run";

void mountOrFail(const char* source, const char* target, const char* type, unsigned long flags,
                 const std::string& data = {}) {
  check(mount(source, target, type, flags, data.empty() ? nullptr : data.c_str()),
        std::string("mount ") + (type != nullptr ? type : "") + " on " + target);
}

void makeDirectory(const std::string& path, mode_t mode) {
  if (mkdir(path.c_str(), mode) != 0 && errno != EEXIST) {
    fail("mkdir " + path, errno);
  }
}

void removeIfPresent(const char* path) {
  if (unlink(path) != 0 && errno != ENOENT) {
    fail(std::string("unlink ") + path, errno);
  }
}

void writeFileOrFail(const char* path, const std::string& text, mode_t mode = 0644) {
  const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
  check(fd, std::string("open ") + path);
  for (size_t done = 0; done < text.size();) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    check(n, std::string("write ") + path);
    done += static_cast<size_t>(n);
  }
  close(fd);
}

// Root of a fresh IPC namespace may raise these; the defaults refuse the product's larger queues.
void raiseQueueLimits() {
  writeFileOrFail("/proc/sys/fs/mqueue/msgsize_max", "4194328");
  writeFileOrFail("/proc/sys/fs/mqueue/queues_max", "1024");
}

// A writable layer over a host directory; the host directory itself is never written.
void overlay(const char* target, const std::string& name) {
  const std::string upper = std::string(kStaging) + "/" + name + ".upper";
  const std::string work = std::string(kStaging) + "/" + name + ".work";
  makeDirectory(upper, 0755);
  makeDirectory(work, 0700);
  mountOrFail("overlay", target, "overlay", 0,
              std::string("lowerdir=") + target + ",upperdir=" + upper + ",workdir=" + work);
}

// A detached copy of the mounts at and below path: what is mounted over path later does not hide it.
int cloneTree(const std::string& path) {
  const int clone = open_tree(AT_FDCWD, path.c_str(), OPEN_TREE_CLONE | OPEN_TREE_CLOEXEC | AT_RECURSIVE);
  check(clone, "clone " + path);
  return clone;
}

void makeReadOnly(int clone, const std::string& path) {
  mount_attr attributes{};
  attributes.attr_set = MOUNT_ATTR_RDONLY;
  check(mount_setattr(clone, "", AT_EMPTY_PATH | AT_RECURSIVE, &attributes, sizeof attributes),
        "make " + path + " read-only");
}

void attachTree(int clone, const std::string& path) {
  check(move_mount(clone, "", AT_FDCWD, path.c_str(), MOVE_MOUNT_F_EMPTY_PATH), "attach " + path);
  close(clone);
}

// Clones of the kept trees, read-only, taken before the private mounts hide any of them.
std::vector<int> cloneKeptTrees(const Options& options) {
  std::vector<int> clones;
  for (const std::string& tree : options.keptTrees) {
    clones.push_back(cloneTree(tree));
    makeReadOnly(clones.back(), tree);
  }
  return clones;
}

// Makes the directories down to path (a kept tree) for every user of the sandbox to pass: recreates what the private
// mounts hid, and covers an ancestor that others may not enter (a home of mode 0700) with a tmpfs of its own, so
// that nothing else of that directory shows. Even a command run as root may start programs under other uids.
void makeWayTo(const std::string& path) {
  for (size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
    const std::string step = path.substr(0, end);
    struct stat status {};
    if (lstat(step.c_str(), &status) != 0) {
      if (errno != ENOENT) {
        fail("stat " + step, errno);
      }
      makeDirectory(step, 0755);
    } else if (!S_ISDIR(status.st_mode)) {
      fail("keep " + path + ": " + step + " is not a directory here");
    } else if ((status.st_mode & S_IXOTH) == 0 && step != path) {
      mountOrFail("tmpfs", step.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "mode=0755");
    }
    if (end == std::string::npos) {
      return;
    }
  }
}

void attachKeptTrees(const std::vector<int>& clones, const Options& options) {
  for (size_t i = 0; i < clones.size(); ++i) {
    makeWayTo(options.keptTrees[i]);
    attachTree(clones[i], options.keptTrees[i]);
  }
}

std::string currentDirectory() {
  char path[PATH_MAX];
  return getcwd(path, sizeof path) != nullptr ? path : "/";
}

void setUpDev() {
  // The overlay hides what is mounted below /dev.
  const int pts = cloneTree("/dev/pts");
  overlay("/dev", "dev");
  attachTree(pts, "/dev/pts");
  // Shared memory and named semaphores live here: private like the queues.
  mountOrFail("tmpfs", "/dev/shm", "tmpfs", MS_NOSUID | MS_NODEV, "mode=1777");
  // Mounted inside the new IPC namespace, this shows that namespace's queues only.
  makeDirectory("/dev/mqueue", 0755);
  mountOrFail("mqueue", "/dev/mqueue", "mqueue", MS_NOSUID | MS_NODEV | MS_NOEXEC);
  removeIfPresent("/dev/log");  // the system log socket is ours (see runInit)
}

void setUpEtc(const Options& options) {
  overlay("/etc", "etc");
  // The test may create and remove the process configuration itself.
  check(chown("/etc", options.uid, options.gid), "chown /etc");
  removeIfPresent(kIniPath);
  if (options.iniContent) {
    writeFileOrFail(kIniPath, *options.iniContent);
    check(chown(kIniPath, options.uid, options.gid), std::string("chown ") + kIniPath);
  }
  // Tests of the USB path place and remove the platform's udev rule, whether or not the host has udev.
  makeDirectory("/etc/udev", 0755);
  makeDirectory(kUdevRules, 0755);
  check(chown(kUdevRules, options.uid, options.gid), std::string("chown ") + kUdevRules);
}

void bringUpLoopback() {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  check(fd, "socket");
  ifreq request{};
  std::memcpy(request.ifr_name, "lo", sizeof "lo");
  check(ioctl(fd, SIOCGIFFLAGS, &request), "read flags of lo");
  request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
  check(ioctl(fd, SIOCSIFFLAGS, &request), "bring lo up");
  close(fd);
}

}  // namespace

void prepareNamespaces(const Options& options) {
  check(unshare(CLONE_NEWIPC | CLONE_NEWNS | CLONE_NEWNET), "unshare");
  mountOrFail(nullptr, "/", nullptr, MS_REC | MS_PRIVATE);
  mountOrFail("proc", "/proc", "proc", MS_NOSUID | MS_NODEV | MS_NOEXEC);
  raiseQueueLimits();
  const std::string workingDirectory = currentDirectory();
  const std::vector<int> keptTrees = cloneKeptTrees(options);

  mountOrFail("tmpfs", kStaging, "tmpfs", MS_NOSUID | MS_NODEV, "mode=0700");
  setUpDev();
  setUpEtc(options);
  check(umount2(kStaging, MNT_DETACH), std::string("detach ") + kStaging);

  mountOrFail("tmpfs", "/run", "tmpfs", MS_NOSUID | MS_NODEV, "mode=0755");
  mountOrFail("tmpfs", "/tmp", "tmpfs", MS_NOSUID | MS_NODEV, "mode=1777");
  // A sysfs mounted in the new network namespace lists its interfaces in /sys/class/net, not the host's.
  mountOrFail("sysfs", "/sys", "sysfs", MS_NOSUID | MS_NODEV | MS_NOEXEC | MS_RDONLY);
  attachKeptTrees(keptTrees, options);
  // The same directory as seen now (inside a kept tree, the attached copy), or "/" where it is hidden.
  if (chdir(workingDirectory.c_str()) != 0) {
    check(chdir("/"), "chdir /");
  }
  bringUpLoopback();
}

}  // namespace qor::sandbox
