// Documents that a caller loads, changes through the node calls and saves: each holds its file's lock meanwhile.
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "xml_error.hpp"
#include "xml_files.hpp"
#include "xml_handles.hpp"

struct Qor_Xml_DocumentData {
  pugi::xml_document document;
  qor::xml::DirectoryLock lock;
};

using namespace qor::xml;

namespace {

bool exists(const std::string& path, uint32_t& result) {
  struct stat status {};
  if (stat(path.c_str(), &status) == 0) return true;
  if (errno != ENOENT) result = fail(QOR_XML_ERR_FILE, "could not look at '%s': %s", path.c_str(), strerror(errno));
  return false;
}

uint32_t createConfiguration(pugi::xml_document& document) {
  pugi::xml_node configuration = document.append_child(QOR_XML_INTERFACES).append_child(QOR_XML_CONFIGURATION);
  if (!configuration || !configuration.append_child(QOR_XML_NAME)) {
    return fail(QOR_XML_ERR_NOT_ENOUGH_MEMORY, "not enough memory");
  }
  return 0;
}

// Locks and then loads, or creates, the file; the document is handed out only when all went well.
template <class Fill>
uint32_t openDocument(const char* path, Qor_Xml_Document_t* document, Fill&& fill) {
  if (document == nullptr) return fail(QOR_XML_ERR_NODE, "no document given");
  *document = Qor_Xml_Document_t{};
  if (path == nullptr) return fail(QOR_XML_ERR_FILE, "no path given");
  const std::string target = targetPath(path);
  auto data = std::make_unique<Qor_Xml_DocumentData>();
  if (uint32_t result = data->lock.lock(target)) return result;
  if (uint32_t result = fill(target, data->document)) return result;
  document->node = toHandle(data->document);
  document->data = data.release();
  return 0;
}

} // namespace

extern "C" {

uint32_t Qor_Xml_Document_LoadFile(const char* path, Qor_Xml_Document_t* document) {
  return guarded([&] { return openDocument(path, document, loadDocument); });
}

uint32_t Qor_Xml_InterfaceConfig_CreateConfigFile(const char* path, Qor_Xml_Document_t* document) {
  return guarded([&] {
    return openDocument(path, document, [](const std::string& target, pugi::xml_document& loaded) {
      uint32_t result = 0;
      // Created by another process since the caller found it missing: its content stays.
      if (exists(target, result)) return loadDocument(target, loaded);
      if (result != 0) return result;
      if (uint32_t created = createConfiguration(loaded)) return created;
      return saveDocument(loaded, target);
    });
  });
}

uint32_t Qor_Xml_Document_Save(Qor_Xml_Document_t document, const char* path) {
  return guarded([&] {
    if (document.data == nullptr) return fail(QOR_XML_ERR_NODE, "no document given");
    if (path == nullptr) return fail(QOR_XML_ERR_FILE, "no path given");
    const std::string target = targetPath(path);
    // Saved elsewhere than loaded from: that file's writers are kept out too.
    DirectoryLock other;
    if (!document.data->lock.holdsDirectoryOf(target)) {
      if (uint32_t result = other.lock(target)) return result;
    }
    return saveDocument(document.data->document, target);
  });
}

void Qor_Xml_Document_Free(Qor_Xml_Document_t* document) {
  if (document == nullptr) return;
  delete document->data;
  *document = Qor_Xml_Document_t{};
}

} // extern "C"
