#include "app/posix/picture_module.h"

#include <dlfcn.h>

#include <filesystem>
#include <system_error>

namespace kelvane {

namespace {

constexpr char kModuleName[] = "kelvane-pictures.so";

struct LoadedModule {
  const PictureLibrary* library = nullptr;
  std::string error;
};

// Looked for by the program's own place, never by the library path, so that the module that
// runs is the one installed with the program: beside it (a build), then in the folder it is
// installed in below the program's prefix.
LoadedModule Load() {
  std::error_code ec;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return {nullptr, "the program's own folder is unknown (" + ec.message() + ")"};
  const std::filesystem::path folder = program.parent_path();
  const std::filesystem::path installed = folder.parent_path() / KELVANE_PICTURE_MODULE_DIR;
  for (const std::filesystem::path& candidate : {folder / kModuleName, installed / kModuleName}) {
    if (!std::filesystem::exists(candidate, ec)) continue;
    void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) return {nullptr, dlerror()};
    const auto entry = reinterpret_cast<PictureModuleEntry>(dlsym(handle, kPictureModuleEntry));
    const PictureLibrary* library = entry ? entry(KELVANE_VERSION) : nullptr;
    if (!library) return {nullptr, candidate.string() + " is not the picture module of kelvane " KELVANE_VERSION};
    return {library, {}};  // stays loaded for the life of the process
  }
  return {nullptr, "the picture module " + std::string(kModuleName) + " is neither in " + folder.string() + " nor in " +
                       installed.string()};
}

}  // namespace

const PictureLibrary* LoadPictureModule(std::string& error) {
  static const LoadedModule module = Load();
  if (!module.library) error = module.error;
  return module.library;
}

}  // namespace kelvane
