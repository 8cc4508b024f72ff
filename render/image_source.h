// The bytes of the images a drawing refers to.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "jww/images.h"
#include "text/jwwstring.h"

namespace kelvane {

// The stored bytes of the image `source` names: an embedded image ("%temp%name") of the
// drawing, or a file, absolute or beside the drawing. Empty when there is none.
std::vector<uint8_t> ImageBytesFor(const EmbeddedImages& images, const JwwString& source,
                                   const std::filesystem::path& drawingFolder);

// True when the name ends in ".gz" (the bytes are gzip data).
bool IsGzipName(const JwwString& source);

}  // namespace kelvane
