// The bytes of the images a drawing refers to, and why an image was left out of a picture.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "jww/images.h"
#include "text/jwwstring.h"

namespace kelvane {

// Why an image reference was not drawn.
enum class ImageProblem : uint8_t {
  kNone,
  kUnnamable,     // its file name cannot be a path here (a lone UTF-16 surrogate, Shift_JIS)
  kMissing,       // no such embedded image or file, or the file cannot be read
  kNotAFile,      // a device, FIFO, folder or a file over kMaxImageFileBytes
  kUndecodable,   // not a BMP, JPEG or PNG these decoders read
  kTooManyPixels, // over the picture's decoded-pixel budget
  kBadPlacement,  // shown at a size that is not finite or far beyond the page
  kCount
};

// Linked image files larger than this are not read.
constexpr uint64_t kMaxImageFileBytes = uint64_t(256) << 20;
// The decoded pixels of all images of one picture together.
constexpr uint64_t kImagePixelBudget = 200'000'000;

// The image references of one picture that were left out, by reason.
struct ImagesLeftOut {
  uint32_t count[size_t(ImageProblem::kCount)] = {};
  void Add(ImageProblem p) { ++count[size_t(p)]; }
  uint32_t Total() const;
};

// One English line saying how many images were left out and why; empty when none was.
std::string ImagesLeftOutWarning(const ImagesLeftOut& leftOut);

// The folder relative image names are looked up in: the drawing's own.
std::filesystem::path DrawingFolder(const std::filesystem::path& drawing);

// The stored bytes of the image `source` names: an embedded image ("%temp%name") of the
// drawing, or a regular file, absolute or beside the drawing (in drawingFolder, never the
// current folder unless that is the drawing's). Empty, with the reason in *problem, when there
// is none. Never throws for a name.
std::vector<uint8_t> ImageBytesFor(const EmbeddedImages& images, const JwwString& source,
                                   const std::filesystem::path& drawingFolder, ImageProblem* problem = nullptr);

// True when the name ends in ".gz" (the bytes are gzip data).
bool IsGzipName(const JwwString& source);

}  // namespace kelvane
