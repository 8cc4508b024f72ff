// Finding the drawings of a run: files named one by one, and the drawings inside folders named
// instead. Everything is listed before anything is written, so that no sheet of the run becomes
// one of its inputs.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "app/services.h"

namespace kelvane {

// True when the file name's extension (from its last "."), upper-cased, is ".JWW".
bool HasJwwExtension(std::string_view sjisFileName);

// A folder, or an entry of one, that the listing could not take.
struct ListingProblem {
  std::filesystem::path path;
  std::string reason;     // UTF-8, for the user
  bool repeated = false;  // a folder reached a second time (a link that loops): skipped, not an error
};

struct InputListing {
  std::vector<std::filesystem::path> files;
  std::vector<ListingProblem> problems;
};

// Every drawing the parameters name, in their order: a file as it is when it exists and its
// name ends in ".jww" in any case; a folder as the drawings directly in it or, when
// `recursive`, in it and in every folder below, sorted by path. Links are followed, but no
// folder is listed twice, so a link that loops ends there. A folder or an entry that cannot be
// read is a problem of the listing, and the listing goes on.
InputListing ListInputFiles(const FileQueries& files, const std::vector<std::filesystem::path>& parameters,
                            bool recursive);

}  // namespace kelvane
