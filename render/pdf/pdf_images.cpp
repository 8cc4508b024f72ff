#include "render/pdf/pdf_images.h"

#include <new>
#include <optional>

#include "render/pdf/pdf_units.h"

namespace kelvane::pdf {

namespace {

std::string SourceKey(const JwwString& s) {
  if (!s.unicode) return "s" + s.sjis;
  return "u" + std::string(reinterpret_cast<const char*>(s.wide.data()), s.wide.size() * sizeof(char16_t));
}

uint64_t Pixels(const RasterImage& image) { return uint64_t(image.width) * uint64_t(image.height); }

bool Usable(const std::optional<RasterImage>& image) {
  if (!image || image->width <= 0 || image->height <= 0) return false;
  const uint64_t pixels = Pixels(*image);
  return image->rgb.size() == pixels * 3 && (image->alpha.empty() || image->alpha.size() == pixels);
}

}  // namespace

void DocumentImages::StartPage() {
  pixelsLeft_ = output_.imagePixelBudget;
  onPage_.clear();
}

DocumentImages::Stored DocumentImages::Load(const JwwString& source, const std::function<bool(int width)>& smooth) {
  const std::string key = SourceKey(source);
  Stored& s = images_[key];
  if (s.object != 0) return Show(key, s);
  // Over an earlier page's budget, an image is tried again on a page of its own budget.
  if (s.problem != ImageProblem::kNone && (s.problem != ImageProblem::kTooManyPixels || onPage_.count(key))) return s;
  onPage_.insert(key);
  s.problem = ImageProblem::kNone;
  std::optional<RasterImage> image;
  try {
    image = output_.image(source, pixelsLeft_, s.problem);
  } catch (const std::bad_alloc&) {
    s.problem = ImageProblem::kTooManyPixels;
    return s;
  }
  if (s.problem == ImageProblem::kNone && !Usable(image)) s.problem = ImageProblem::kUndecodable;
  if (s.problem == ImageProblem::kNone && Pixels(*image) > pixelsLeft_) s.problem = ImageProblem::kTooManyPixels;
  if (s.problem == ImageProblem::kNone) Write(*image, smooth(image->width), s);
  return s;
}

std::string DocumentImages::ResourceEntries() const {
  std::string entries;
  for (const auto& [key, s] : images_)
    if (s.object) entries += s.name + " " + Ref(s.object);
  return entries;
}

DocumentImages::Stored DocumentImages::Show(const std::string& key, const Stored& s) {
  if (!onPage_.insert(key).second) return s;
  const uint64_t pixels = uint64_t(s.width) * uint64_t(s.height);
  if (pixels > pixelsLeft_) {
    onPage_.erase(key);
    Stored refused;
    refused.problem = ImageProblem::kTooManyPixels;
    return refused;
  }
  pixelsLeft_ -= pixels;
  return s;
}

void DocumentImages::Write(const RasterImage& image, bool smooth, Stored& s) {
  pixelsLeft_ -= Pixels(image);
  s.width = image.width, s.height = image.height;
  s.object = writer_.Allocate();
  s.name = "/Im" + std::to_string(++count_);
  const std::string size = "/Type/XObject/Subtype/Image/Width " + std::to_string(image.width) + "/Height " +
                           std::to_string(image.height) + "/BitsPerComponent 8/Filter/FlateDecode";
  std::string packed, mask;
  if (!image.alpha.empty()) {
    const int maskObject = writer_.Allocate();
    Deflate(image.alpha.data(), image.alpha.size(), kContentLevel, packed);
    writer_.WriteStream(maskObject, size + "/ColorSpace/DeviceGray", packed);
    mask = "/SMask " + Ref(maskObject);
  }
  Deflate(image.rgb.data(), image.rgb.size(), kContentLevel, packed);
  writer_.WriteStream(s.object, size + "/ColorSpace/DeviceRGB" + mask + (smooth ? "/Interpolate true" : ""), packed);
}

}  // namespace kelvane::pdf
