#include "app/services/posix/picture_module.h"

#include <dlfcn.h>

#include <filesystem>
#include <system_error>

namespace kelvane {

namespace {

struct LoadedModule {
  const void* table = nullptr;
  std::string error;
};

// Looked for by the program's own place, never by the library path, so that the module that
// runs is the one installed with the program: beside it (a build), then in the folder it is
// installed in below the program's prefix. `Entry` answers the module's table for this version.
template <typename Entry>
LoadedModule Load(const std::string& name, const char* entryName) {
  std::error_code ec;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return {nullptr, "the program's own folder is unknown (" + ec.message() + ")"};
  const std::filesystem::path folder = program.parent_path();
  const std::filesystem::path installed = folder.parent_path() / KELVANE_PICTURE_MODULE_DIR;
  for (const std::filesystem::path& candidate : {folder / name, installed / name}) {
    if (!std::filesystem::exists(candidate, ec)) continue;
    void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) return {nullptr, dlerror()};
    const auto entry = reinterpret_cast<Entry>(dlsym(handle, entryName));
    const void* table = entry ? entry(KELVANE_VERSION) : nullptr;
    if (!table) return {nullptr, candidate.string() + " is not the picture module of kelvane " KELVANE_VERSION};
    return {table, {}};  // stays loaded for the life of the process
  }
  return {nullptr, "the picture module " + name + " is neither in " + folder.string() + " nor in " + installed.string()};
}

}  // namespace

const PictureLibrary* LoadPictureModule(std::string& error) {
  static const LoadedModule module = Load<PictureModuleEntry>("kelvane-pictures.so", kPictureModuleEntry);
  if (!module.table) error = module.error;
  return static_cast<const PictureLibrary*>(module.table);
}

const PdfLibrary* LoadPdfModule(std::string& error) {
  static const LoadedModule module = Load<PdfModuleEntry>("kelvane-pdf.so", kPdfModuleEntry);
  if (!module.table) error = module.error;
  return static_cast<const PdfLibrary*>(module.table);
}

}  // namespace kelvane
