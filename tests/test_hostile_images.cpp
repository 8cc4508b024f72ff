// Images named by hostile or unlucky drawings: left out with a reason, never the whole picture;
// each decoded once however often it is shown; found by index; no device or FIFO ever read.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <future>
#include <string>

#include "codec/gunzip.h"
#include "drawing/image_source.h"
#include "jww/builder.h"
#include "platform/text_conversion.h"
#include "render/cairo/cairo_output.h"
#include "render/image_decode.h"
#include "render/render.h"
#include "tests/fixtures.h"

namespace kelvane {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

constexpr double kDpi = 50;
constexpr double kCx = 148.5, kCy = 105;  // the page point of the drawing's origin on A4

// A 24-bit BMP of one colour.
std::vector<uint8_t> SolidBmp(int w, int h, uint8_t r, uint8_t g, uint8_t b) {
  const size_t row = (size_t(w) * 3 + 3) / 4 * 4, size = 54 + row * size_t(h);
  std::vector<uint8_t> v(size, 0);
  auto put32 = [&](size_t at, uint32_t x) {
    for (int k = 0; k < 4; ++k) v[at + size_t(k)] = uint8_t(x >> (8 * k));
  };
  v[0] = 'B', v[1] = 'M';
  put32(2, uint32_t(size));
  put32(10, 54);
  put32(14, 40);
  put32(18, uint32_t(w));
  put32(22, uint32_t(h));
  v[26] = 1, v[28] = 24;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = &v[54 + size_t(y) * row + size_t(x) * 3];
      p[0] = b, p[1] = g, p[2] = r;
    }
  return v;
}

JwwString Wide(const std::u16string& s) { return JwwString::Wide(s); }

void A4Drawing(JwwDocument& doc) {
  InitDrawing(doc, 700, true);
  doc.header.paperSize = 4;
}

// Runs `work`; should it not end within a minute (a FIFO opened for reading), a writer opens and
// closes the FIFO so that the reader sees its end, and the test fails instead of hanging.
template <class Work>
void WithoutHanging(const std::filesystem::path& fifo, Work work) {
  auto done = std::async(std::launch::async, work);
  if (done.wait_for(std::chrono::seconds(60)) == std::future_status::timeout) {
    ADD_FAILURE() << "blocked on " << fifo;
    const int fd = open(fifo.c_str(), O_WRONLY);
    if (fd >= 0) close(fd);
  }
  done.get();
}

struct Drawn {
  ImagesLeftOut leftOut;
  int asked = 0;  // sources asked for
  uint32_t skippedEntities = 0;  // left out by the display list before any image was looked at
  DecodedImage png;
  uint32_t At(double xMm, double yMm) const {
    const int x = int(xMm * kDpi / 25.4), y = int((210 - yMm) * kDpi / 25.4);
    return png.argb[size_t(y) * size_t(png.width) + size_t(x)] & 0xFFFFFF;
  }
};

Drawn DrawPng(const JwwDocument& doc, const std::filesystem::path& file, const std::filesystem::path& folder) {
  Drawn d;
  PictureOutput o;
  o.dpi = kDpi;
  o.imagesLeftOut = &d.leftOut;
  o.imageBytes = [&](const JwwString& s, ImageProblem& problem) {
    ++d.asked;
    return ImageBytesFor(doc.images, s, folder, &problem);
  };
  std::string error;
  const DisplayList list = RenderDrawing(doc, PictureStyle::kColor);
  d.skippedEntities = uint32_t(list.skippedEntities);
  EXPECT_TRUE(WritePicture(list, file, PictureFormat::kPng, o, error)) << error;
  EXPECT_TRUE(DecodeImage(ReadBytes(file), false, d.png));
  return d;
}

uint32_t Left(const Drawn& d, ImageProblem p) { return d.leftOut.count[size_t(p)]; }

TEST(HostileImages, SourcesRefuseUnnamableNamesDevicesFifosHugeFilesAndTheCurrentFolder) {
  TempDir dir;
  const EmbeddedImages none;
  auto problem = [&](const JwwString& name, const std::filesystem::path& folder) {
    ImageProblem p = ImageProblem::kNone;
    const std::vector<uint8_t> bytes = ImageBytesFor(none, name, folder, &p);
    EXPECT_EQ(bytes.empty(), p != ImageProblem::kNone);
    return p;
  };
  for (std::u16string name : {u"a\xD800.bmp", u"\xDC00", u"b.bmp\xDBFF"})
    EXPECT_EQ(problem(Wide(name), dir.path()), ImageProblem::kUnnamable);
  EXPECT_EQ(problem(Wide(u"/dev/zero"), {}), ImageProblem::kNotAFile);
  std::filesystem::create_symlink("/dev/zero", dir / "zero.bmp");
  EXPECT_EQ(problem(JwwString::Sjis("zero.bmp"), dir.path()), ImageProblem::kNotAFile);
  WriteBytes(dir / "huge.bmp", {});
  std::filesystem::resize_file(dir / "huge.bmp", kMaxImageFileBytes + 1);  // sparse
  EXPECT_EQ(problem(JwwString::Sjis("huge.bmp"), dir.path()), ImageProblem::kNotAFile);
  ASSERT_EQ(mkfifo((dir / "pipe.bmp").c_str(), 0600), 0);
  WithoutHanging(dir / "pipe.bmp", [&] {
    EXPECT_EQ(problem(JwwString::Sjis((dir / "pipe.bmp").string()), {}), ImageProblem::kNotAFile);
    EXPECT_EQ(problem(JwwString::Sjis("pipe.bmp"), dir.path()), ImageProblem::kNotAFile);
  });

  // A relative name is found beside the drawing, never in the current folder.
  std::filesystem::create_directories(dir / "cwd");
  std::filesystem::create_directories(dir / "drawing");
  WriteBytes(dir / "cwd" / "here.bmp", SolidBmp(1, 1, 0, 0, 0));
  WriteBytes(dir / "drawing" / "beside.bmp", SolidBmp(1, 1, 0, 0, 0));
  const std::filesystem::path was = std::filesystem::current_path();
  std::filesystem::current_path(dir / "cwd");
  EXPECT_EQ(problem(JwwString::Sjis("here.bmp"), dir / "drawing"), ImageProblem::kMissing);
  EXPECT_EQ(problem(JwwString::Sjis("beside.bmp"), dir / "drawing"), ImageProblem::kNone);
  EXPECT_EQ(problem(JwwString::Sjis("here.bmp"), {}), ImageProblem::kMissing);  // no drawing, no folder
  EXPECT_EQ(problem(JwwString::Sjis((dir / "cwd" / "here.bmp").string()), {}), ImageProblem::kNone);
  EXPECT_EQ(DrawingFolder("in.jww"), ".");  // a drawing in the current folder
  std::filesystem::current_path(was);
}

TEST(HostileImages, EmbeddedImagesAreFoundByIndexTheFirstStoredOfAName) {
  EmbeddedImages images;
  const std::vector<uint8_t> x = SolidBmp(1, 1, 1, 2, 3), y = SolidBmp(2, 1, 1, 2, 3);
  images.Add(Wide(u"a.bmp"), nullptr, 0);  // no bytes
  images.Add(Wide(u"A.BMP"), x.data(), int32_t(x.size()));
  images.Add(Wide(u"a.bmp"), y.data(), int32_t(y.size()));
  images.Add(Wide(u"a.bmpx"), y.data(), int32_t(y.size()));
  EXPECT_EQ(images.FindStored(u"A.BMP"), 1);
  EXPECT_EQ(images.FindStored(u"A.BM"), -1);  // whole names only
  EXPECT_EQ(ImageBytesFor(images, Wide(u"%temp%a.Bmp"), {}), x);

  // 50,000 images each found once: a scan per look-up would take minutes.
  EmbeddedImages many;
  for (int k = 0; k < 50000; ++k) many.Add(Wide(u"i" + Utf8ToUtf16(std::to_string(k))), x.data(), int32_t(x.size()));
  for (int k = 0; k < 50000; k += 997)
    EXPECT_EQ(many.FindStored(u"I" + Utf8ToUtf16(std::to_string(k))), k);
}

TEST(HostileImages, ReferencesToOneImageDecodeItOnceAndManyImagesDrawInTime) {
  TempDir dir;
  JwwDocument doc;
  A4Drawing(doc);
  const std::vector<uint8_t> big = SolidBmp(1000, 1000, 30, 80, 200);
  doc.images.Add(Wide(u"big.bmp"), big.data(), int32_t(big.size()));
  for (int k = 0; k < 20; ++k) AddText(doc, -140 + 7 * k, -100, Wide(u"^@BM%temp%big.bmp,5,5"));
  const Drawn d = DrawPng(doc, dir / "twenty.png", {});
  EXPECT_EQ(d.asked, 1);
  EXPECT_EQ(d.leftOut.Total(), 0u);
  EXPECT_EQ(d.At(kCx - 140 + 2.5, kCy - 100 + 2.5), 0x1E50C8u);
  EXPECT_EQ(d.At(kCx - 140 + 19 * 7 + 2.5, kCy - 100 + 2.5), 0x1E50C8u);

  JwwDocument many;
  A4Drawing(many);
  const std::vector<uint8_t> tiny = SolidBmp(1, 1, 200, 0, 0);
  for (int k = 0; k < 50000; ++k) {
    const std::u16string name = u"t" + Utf8ToUtf16(std::to_string(k)) + u".bmp";
    many.images.Add(Wide(name), tiny.data(), int32_t(tiny.size()));
    AddText(many, -140 + (k % 250), -100 + (k / 250), Wide(u"^@BM%temp%" + name + u",1,1"));
  }
  const auto start = std::chrono::steady_clock::now();
  const Drawn m = DrawPng(many, dir / "many.png", {});
  std::printf("50,000 images in %.2f s\n", std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  EXPECT_EQ(m.asked, 50000);
  EXPECT_EQ(m.leftOut.Total(), 0u);
  EXPECT_EQ(m.At(kCx - 140 + 100.5, kCy - 100 + 100.5), 0xC80000u);
}

TEST(HostileImages, BadImagesAreLeftOutAndTheRestDrawn) {
  TempDir dir;
  JwwDocument doc;
  A4Drawing(doc);
  ASSERT_EQ(mkfifo((dir / "pipe.bmp").c_str(), 0600), 0);
  const std::vector<uint8_t> wide = SolidBmp(40000, 20, 200, 0, 0);  // wider than cairo takes
  doc.images.Add(Wide(u"wide.bmp"), wide.data(), int32_t(wide.size()));
  AddText(doc, 0, 0, Wide(u"^@BM%temp%wide.bmp,100,10"));
  AddText(doc, 0, 50, Wide(u"^@BM%temp%wide.bmp,inf,10"));
  AddText(doc, 0, 50, Wide(u"^@BM%temp%wide.bmp,1e300,10"));
  AddText(doc, 0, 50, Wide(u"^@BM%temp%wide.bmp,1e300,1e300"));
  AddText(doc, 0, 50, Wide(u"^@BMa\xD800.bmp,10,10"));
  AddText(doc, 0, 50, Wide(u"^@BM/dev/zero,10,10"));
  AddText(doc, 0, 50, Wide(u"^@BM" + (dir / "pipe.bmp").u16string() + u",10,10"));
  AddText(doc, 0, 50, Wide(u"^@BMmissing.bmp,10,10"));
  AddLine(doc, -100, -50, 100, -50);
  WithoutHanging(dir / "pipe.bmp", [&] {
    const Drawn d = DrawPng(doc, dir / "bad.png", dir.path());
    EXPECT_EQ(d.At(kCx + 50, kCy + 5), 0xC80000u);  // the wide image, scaled
    EXPECT_NE(d.At(kCx, kCy - 50), 0xFFFFFFu);      // the line
    // Shown at a size no page takes: the display list leaves them out as unusable values.
    EXPECT_EQ(d.skippedEntities, 3u);
    EXPECT_EQ(Left(d, ImageProblem::kUnnamable), 1u);
    EXPECT_EQ(Left(d, ImageProblem::kNotAFile), 2u);
    EXPECT_EQ(Left(d, ImageProblem::kMissing), 1u);
    EXPECT_EQ(ImagesLeftOutWarning(d.leftOut),
              "4 images left out (1 a file name that cannot be a path, 1 not found or not readable, "
              "2 not a regular file or larger than 256 MB)");
  });
  EXPECT_EQ(ImagesLeftOutWarning(ImagesLeftOut{}), "");
}

// Bytes as a gzip member, as a drawing links a "*.gz" image.
std::vector<uint8_t> GzipOf(const std::vector<uint8_t>& bytes) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, 9, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
  std::vector<uint8_t> out(deflateBound(&z, uLong(bytes.size())) + 32);
  z.next_in = const_cast<Bytef*>(bytes.data());
  z.avail_in = uInt(bytes.size());
  z.next_out = out.data();
  z.avail_out = uInt(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// One inflater for every backend: a whole member comes back byte for byte; a cut one, a member
// that would inflate beyond the limit (a small "bomb") and plain bytes are refused.
TEST(HostileImages, GzipMembersInflateWholeWithinTheirLimitOrNotAtAll) {
  std::vector<uint8_t> plain(300000);
  for (size_t i = 0; i < plain.size(); ++i) plain[i] = uint8_t(i * 7 / 5);
  const std::vector<uint8_t> packed = GzipOf(plain);
  std::vector<uint8_t> out;
  ASSERT_TRUE(Gunzip(packed, out));
  EXPECT_EQ(out, plain);
  EXPECT_FALSE(Gunzip(std::vector<uint8_t>(packed.begin(), packed.end() - 9), out));
  EXPECT_FALSE(Gunzip(packed, out, 100000));
  EXPECT_LE(out.size(), 100000u + 65536u);
  EXPECT_FALSE(Gunzip(plain, out));
  EXPECT_FALSE(Gunzip({}, out));

  // Through the decoder: a gzipped BMP draws as the BMP does.
  const std::vector<uint8_t> bmp = SolidBmp(4, 3, 10, 200, 30);
  DecodedImage fromPlain, fromPacked;
  ASSERT_TRUE(DecodeImage(bmp, false, fromPlain));
  ASSERT_TRUE(DecodeImage(GzipOf(bmp), true, fromPacked));
  EXPECT_EQ(fromPacked.argb, fromPlain.argb);
  EXPECT_FALSE(DecodeImage(bmp, true, fromPacked));
}

TEST(HostileImages, WideImagesScaleToWhatCairoDraws) {
  DecodedImage image;
  ASSERT_TRUE(DecodeImage(SolidBmp(40000, 3, 10, 20, 30), false, image));
  FitWithin(image, 32767);
  EXPECT_EQ(image.width, 32767);
  EXPECT_EQ(image.height, 2);
  EXPECT_EQ(image.argb.size(), size_t(32767 * 2));
  EXPECT_EQ(image.argb[12345], 0xFF0A141Eu);
  DecodedImage small;
  ASSERT_TRUE(DecodeImage(SolidBmp(4, 3, 10, 20, 30), false, small));
  FitWithin(small, 32767);
  EXPECT_EQ(small.width, 4);
}

// Little-endian fields of a hand-written BMP.
struct Bytes {
  std::vector<uint8_t> v;
  Bytes& U8(uint32_t x) { return v.push_back(uint8_t(x)), *this; }
  Bytes& U16(uint32_t x) { return U8(x).U8(x >> 8); }
  Bytes& U32(uint32_t x) { return U16(x).U16(x >> 16); }
  Bytes& Zeros(size_t n) { return v.insert(v.end(), n, 0), *this; }
};

// The 14-byte file header and the first 40 bytes every Windows info header starts with.
Bytes BmpHeaders(uint32_t pixelsAt, uint32_t headerSize, int32_t height, uint32_t bpp, uint32_t compression,
                 uint32_t coloursUsed) {
  Bytes b;
  b.U8('B').U8('M');          // signature
  b.U32(0);                   // file size: readers do not need it
  b.U32(0);                   // two reserved words
  b.U32(pixelsAt);            // where the pixels start
  b.U32(headerSize);          // 40 (v3), 108 (v4) or 124 (v5)
  b.U32(2);                   // width
  b.U32(uint32_t(height));    // height; negative when the rows run top down
  b.U16(1);                   // planes
  b.U16(bpp);                 // bits a pixel
  b.U32(compression);         // 0 plain, 1 RLE8, 3 bit fields
  b.U32(0);                   // size of the pixels: may be 0 unless compressed
  b.U32(3780).U32(3780);      // 96 dpi both ways
  b.U32(coloursUsed);         // palette entries, 0 for all
  b.U32(0);                   // important colours
  return b;
}

// Each BMP draws red and green over blue and white, 20 x 10 mm; the RLE one is 4 pixels wide,
// each colour twice.
TEST(BmpImages, GapsTopDownRowsRle8AndBitFieldsAreDrawn) {
  std::vector<std::vector<uint8_t>> bmps;
  Bytes gap = BmpHeaders(14 + 40 + 6, 40, 2, 24, 0, 0);
  gap.Zeros(6);                                         // the gap before the pixels
  gap.U8(255).U8(0).U8(0).U8(255).U8(255).U8(255);      // bottom row, blue white (B G R)
  gap.Zeros(2);                                         // row padding to 4 bytes
  gap.U8(0).U8(0).U8(255).U8(0).U8(255).U8(0).Zeros(2);  // top row: red green
  bmps.push_back(gap.v);

  Bytes v5 = BmpHeaders(14 + 124, 124, -2, 32, 3, 0);
  v5.U32(0x00FF0000).U32(0x0000FF00).U32(0x000000FF).U32(0xFF000000);  // red green blue alpha masks
  v5.U32(0x73524742);                                   // colour space: sRGB
  v5.Zeros(36 + 12);                                    // end points and gamma, unused for sRGB
  v5.U32(4).U32(0).U32(0).U32(0);                       // intent, profile at and size, reserved
  v5.U32(0xFFFF0000).U32(0xFF00FF00);                   // top row first: red green
  v5.U32(0xFF0000FF).U32(0xFFFFFFFF);                   // then blue white
  bmps.push_back(v5.v);

  Bytes rle = BmpHeaders(14 + 40 + 16, 40, 2, 8, 1, 4);
  rle.v[18] = 4;                                        // 4 pixels wide
  for (uint32_t rgb : {0xFF0000u, 0x00FF00u, 0x0000FFu, 0xFFFFFFu}) rle.U32(rgb);  // palette: red green blue white
  rle.U8(2).U8(2).U8(2).U8(3);                          // bottom row: runs of 2 blue and 2 white
  rle.U8(0).U8(0);                                      // end of line
  rle.U8(0).U8(4).U8(0).U8(0).U8(1).U8(1);              // 4 indexes as they are: red red green green
  rle.U8(0).U8(1);                                      // end of the picture
  bmps.push_back(rle.v);

  Bytes bits16 = BmpHeaders(14 + 40 + 12, 40, 2, 16, 3, 0);
  bits16.U32(0xF800).U32(0x07E0).U32(0x001F);           // 5-6-5 masks after the header
  bits16.U16(0x001F).U16(0xFFFF);                       // bottom row: blue white
  bits16.U16(0xF800).U16(0x07E0);                       // top row: red green
  bmps.push_back(bits16.v);

  TempDir dir;
  JwwDocument doc;
  A4Drawing(doc);
  for (size_t k = 0; k < bmps.size(); ++k) {
    const std::u16string name = u"b" + Utf8ToUtf16(std::to_string(k)) + u".bmp";
    doc.images.Add(Wide(name), bmps[k].data(), int32_t(bmps[k].size()));
    AddText(doc, -120 + 30.0 * double(k), 0, Wide(u"^@BM%temp%" + name + u",20,10"));
  }
  const Drawn d = DrawPng(doc, dir / "bmps.png", {});
  EXPECT_EQ(d.leftOut.Total(), 0u);
  for (size_t k = 0; k < bmps.size(); ++k) {
    const double x = kCx - 120 + 30.0 * double(k), y = kCy;
    EXPECT_EQ(d.At(x + 5, y + 7.5), 0xFF0000u) << k;
    EXPECT_EQ(d.At(x + 15, y + 7.5), 0x00FF00u) << k;
    EXPECT_EQ(d.At(x + 5, y + 2.5), 0x0000FFu) << k;
    EXPECT_EQ(d.At(x + 15, y + 2.5), 0xFFFFFFu) << k;
  }
}

}  // namespace
}  // namespace kelvane
