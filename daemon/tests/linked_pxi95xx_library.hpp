// The 95xx card library linked into the test process, bound by name as the loaded one would be. Test code only.
#pragma once

#include <map>
#include <string>

#include "QorPxi95xx_API.h"
#include "loaded_library.hpp"

namespace qor::daemon::test {

// Counts its references.
class LinkedPxi95xxLibrary final : public LoadedLibrary {
public:
  std::map<std::string, void*> functions{
      {"QorPxi95xx_GetInfo", reinterpret_cast<void*>(&QorPxi95xx_GetInfo)},
      {"QorPxi95xx_GetBoardInfo", reinterpret_cast<void*>(&QorPxi95xx_GetBoardInfo)},
      {"QorPxi95xx_OpenBoard", reinterpret_cast<void*>(&QorPxi95xx_OpenBoard)},
      {"QorPxi95xx_CloseBoard", reinterpret_cast<void*>(&QorPxi95xx_CloseBoard)},
      {"QorPxi95xx_WriteCmd", reinterpret_cast<void*>(&QorPxi95xx_WriteCmd)},
      {"QorPxi95xx_ReadRsp", reinterpret_cast<void*>(&QorPxi95xx_ReadRsp)},
      {"QorPxi95xx_WaitForRsp", reinterpret_cast<void*>(&QorPxi95xx_WaitForRsp)},
  };
  bool loadable = true;
  int references = 0;

  bool load() override {
    if (loadable) ++references;
    return loadable;
  }
  void* find(const char* name) override {
    const auto found = functions.find(name);
    return found != functions.end() ? found->second : nullptr;
  }
  void unload() override { --references; }
  std::string error() const override { return loadable ? "no such function" : "cannot open shared object file"; }
  const char* fileName() const override { return "libQorPxi95xx_API.so"; }
};


}  // namespace qor::daemon::test
