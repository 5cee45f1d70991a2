#include "loaded_library.hpp"

#include <dlfcn.h>

#include <mutex>

namespace qor::daemon {
namespace {

class NamedLibrary final : public LoadedLibrary {
public:
  explicit NamedLibrary(const char* fileName) : fileName_(fileName) {}
  ~NamedLibrary() override { unload(); }

  bool load() override {
    std::lock_guard lock(mutex_);
    if (handle_ != nullptr) return true;
    handle_ = dlopen(fileName_.c_str(), RTLD_NOW);
    if (handle_ == nullptr) error_ = loaderError();
    return handle_ != nullptr;
  }

  void* find(const char* name) override {
    std::lock_guard lock(mutex_);
    if (handle_ == nullptr) {
      error_ = "library not loaded";
      return nullptr;
    }
    dlerror();
    void* address = dlsym(handle_, name);
    if (address == nullptr) error_ = loaderError();
    return address;
  }

  void unload() override {
    std::lock_guard lock(mutex_);
    if (handle_ != nullptr) dlclose(handle_);
    handle_ = nullptr;
  }

  std::string error() const override {
    std::lock_guard lock(mutex_);
    return error_;
  }

  const char* fileName() const override { return fileName_.c_str(); }

private:
  static std::string loaderError() {
    const char* text = dlerror();
    return text != nullptr ? text : "unknown error";
  }

  const std::string fileName_;
  mutable std::mutex mutex_;
  void* handle_ = nullptr;
  std::string error_;
};

} // namespace

std::unique_ptr<LoadedLibrary> libraryByName(const char* fileName) { return std::make_unique<NamedLibrary>(fileName); }

} // namespace qor::daemon
