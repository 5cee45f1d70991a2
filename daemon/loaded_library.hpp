// A library the daemon loads by name at run time and whose functions it binds by name (the card libraries). The
// card paths take one through this interface, so their tests can hand them functions of the test process instead.
#pragma once

#include <memory>
#include <string>

namespace qor::daemon {

class LoadedLibrary {
public:
  virtual ~LoadedLibrary() = default;
  // Loads the library with every symbol bound now; false with error() set when it cannot be loaded. Loading an
  // already loaded library only takes another reference.
  virtual bool load() = 0;
  // The address of a function of the loaded library; nullptr with error() set when it has none by that name.
  virtual void* find(const char* name) = 0;
  // Gives back the reference load() took; the library may stay mapped.
  virtual void unload() = 0;
  virtual std::string error() const = 0;
  virtual const char* fileName() const = 0;
};

// The library of this file name, found as the dynamic loader finds it.
std::unique_ptr<LoadedLibrary> libraryByName(const char* fileName);

// Binds a function of the library to a pointer of its type; false when the library has no such function.
template <class Function>
bool bindFunction(LoadedLibrary& library, const char* name, Function*& function) {
  function = reinterpret_cast<Function*>(library.find(name));
  return function != nullptr;
}

} // namespace qor::daemon
