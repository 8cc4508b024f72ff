// Replacing a file: what the new file keeps of the one it replaces.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/replacing_file.h"

namespace kelvane {
namespace {

class Folder {
 public:
  Folder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kelvane-replace-XXXXXX").string();
    path_ = mkdtemp(pattern.data());
  }
  ~Folder() { std::filesystem::remove_all(path_); }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

bool Replace(const std::filesystem::path& file, const std::string& text) {
  ReplacingFile out(file);
  if (!out.ok()) return false;
  out.stream() << text;
  return out.Commit();
}

struct stat StatOf(const std::filesystem::path& file) {
  struct stat st {};
  EXPECT_EQ(::stat(file.c_str(), &st), 0) << file;
  return st;
}

std::string Read(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A file its owner made private stays private after a rerun, with its group where the user may
// set it; a new file gets the mode the umask gives.
TEST(ReplacingFile, KeepsTheReplacedFilesModeAndGroup) {
  Folder folder;
  const mode_t keptMask = ::umask(022);
  const std::filesystem::path fresh = folder.path() / "new.pdf", kept = folder.path() / "private.pdf";
  ASSERT_TRUE(Replace(fresh, "one"));
  EXPECT_EQ(StatOf(fresh).st_mode & 07777, 0644u);

  ASSERT_TRUE(Replace(kept, "one"));
  ASSERT_EQ(::chmod(kept.c_str(), 0600), 0);
  ASSERT_TRUE(Replace(kept, "two"));
  EXPECT_EQ(Read(kept), "two");
  EXPECT_EQ(StatOf(kept).st_mode & 07777, 0600u);

  ASSERT_EQ(::chmod(kept.c_str(), 0640), 0);
  const gid_t group = ::geteuid() == 0 ? gid_t(4242) : ::getegid();  // root may set any group
  ASSERT_EQ(::chown(kept.c_str(), uid_t(-1), group), 0);
  ASSERT_TRUE(Replace(kept, "three"));
  EXPECT_EQ(Read(kept), "three");
  EXPECT_EQ(StatOf(kept).st_mode & 07777, 0640u);
  EXPECT_EQ(StatOf(kept).st_gid, group);
  ::umask(keptMask);
}

}  // namespace
}  // namespace kelvane

namespace kelvane {
namespace {

// A pipe, a folder or a link to a device at the name stays what it is: the write is refused.
TEST(ReplacingFile, NeverReplacesWhatIsNotARegularFile) {
  Folder folder;
  const std::filesystem::path fifo = folder.path() / "fifo", dir = folder.path() / "dir", link = folder.path() / "out";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::filesystem::create_directory(dir);
  std::filesystem::create_symlink("/dev/null", link);
  for (const std::filesystem::path& target : {fifo, dir, link}) {
    ReplacingFile out(target);
    ASSERT_TRUE(out.ok()) << target;
    out.stream() << "text";
    EXPECT_FALSE(out.Commit()) << target;
    EXPECT_EQ(out.error(), "something that is not a regular file is there");
  }
  EXPECT_TRUE(S_ISFIFO(StatOf(fifo).st_mode));
  EXPECT_TRUE(std::filesystem::is_directory(dir));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 3);  // no temporary left
}

}  // namespace
}  // namespace kelvane
