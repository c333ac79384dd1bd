#include "app/temp_file.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"
#include "text/rules.h"

namespace sonavel {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

// Hands out the given names in turn, then the last one again; counts the draws.
struct Names {
  std::vector<std::string> names;
  int drawn = 0;
  Text operator()() {
    const std::size_t i = std::min<std::size_t>(static_cast<std::size_t>(drawn), names.size() - 1);
    ++drawn;
    return names[i];
  }
};

mode_t ModeOf(const fs::path& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

class UmaskScope {
 public:
  explicit UmaskScope(mode_t mask) : saved_(::umask(mask)) {}
  ~UmaskScope() { ::umask(saved_); }

 private:
  mode_t saved_;
};

TEST(WriteNewFile, CreatesTheFileWithMode0600AndAllTheData) {
  TempDir temp;
  const UmaskScope umask(022);
  struct Case {
    const char* name;
    std::string data;
  };
  const std::vector<Case> cases = {
      {"empty", ""},
      {"small", "ID3 abc"},
      {"zero bytes", std::string("\0\x01\0", 3)},
      {"4 MB", std::string(std::size_t{4} << 20, '\x5A')},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string draw = "Name000" + std::to_string(n++);
    const std::string folder = temp.path().string() + "/";
    const std::string path =
        WriteNewFile(folder, "plorix_yuyin_", ".mp3", ToBytes(c.data), [&] { return Text(draw); });
    EXPECT_EQ(path, folder + "plorix_yuyin_" + draw + ".mp3");
    EXPECT_EQ(ReadFile(path), c.data);
    EXPECT_EQ(ModeOf(path), 0600u);
  }
}

TEST(WriteNewFile, NeverOpensFollowsOrTruncatesWhatStandsAtTheName) {
  TempDir temp;
  TempDir elsewhere;
  const fs::path victim = elsewhere.path() / "victim";
  WriteFile(victim, "victim");
  const fs::path notYet = elsewhere.path() / "not-yet";
  const auto at = [&](const char* draw) {
    return temp.path() / (std::string("plorix_yuyin_") + draw + ".mp3");
  };
  WriteFile(at("AAAAAAAA"), "planted");
  fs::create_symlink(victim, at("BBBBBBBB"));
  fs::create_symlink(notYet, at("CCCCCCCC"));
  fs::create_directory(at("DDDDDDDD"));

  Names names{{"AAAAAAAA", "BBBBBBBB", "CCCCCCCC", "DDDDDDDD", "EEEEEEEE"}};
  const std::string path = WriteNewFile(temp.path().string() + "/", "plorix_yuyin_", ".mp3",
                                        ToBytes("mine"), std::ref(names));
  EXPECT_EQ(path, at("EEEEEEEE").string());
  EXPECT_EQ(names.drawn, 5);
  EXPECT_EQ(ReadFile(path), "mine");
  EXPECT_EQ(ReadFile(at("AAAAAAAA")), "planted");
  EXPECT_EQ(ReadFile(victim), "victim");
  EXPECT_TRUE(fs::is_symlink(at("BBBBBBBB")));
  EXPECT_FALSE(fs::exists(notYet));
  EXPECT_TRUE(fs::is_directory(at("DDDDDDDD")));
}

TEST(WriteNewFile, GivesUpWhenNoNameIsFree) {
  TempDir temp;
  const fs::path planted = temp.path() / "plorix_yuyin_AAAAAAAA.mp3";
  WriteFile(planted, "planted");
  Names names{{"AAAAAAAA"}};
  EXPECT_EQ(WriteNewFile(temp.path().string() + "/", "plorix_yuyin_", ".mp3", ToBytes("mine"),
                         std::ref(names)),
            "");
  EXPECT_EQ(names.drawn, kNewFileTries);
  EXPECT_EQ(ReadFile(planted), "planted");
  EXPECT_EQ(temp.Files(), std::vector<std::string>{"plorix_yuyin_AAAAAAAA.mp3"});
}

TEST(WriteNewFile, AMissingOrClosedFolderGivesNoFile) {
  TempDir temp;
  const fs::path closed = temp.path() / "closed";
  fs::create_directory(closed);
  fs::permissions(closed, fs::perms::owner_read | fs::perms::owner_exec);
  struct Case {
    const char* name;
    std::string folder;
  };
  const bool root = ::geteuid() == 0;  // root writes into a folder without write permission
  std::vector<Case> cases = {{"missing", (temp.path() / "missing").string() + "/"}};
  if (!root) cases.push_back({"not writable", closed.string() + "/"});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Names names{{"AAAAAAAA"}};
    EXPECT_EQ(WriteNewFile(c.folder, "p_", ".mp3", ToBytes("x"), std::ref(names)), "");
    EXPECT_EQ(names.drawn, 1);
  }
  fs::permissions(closed, fs::perms::owner_all);
}

TEST(WriteNewFile, AnEmptyFolderMeansTheCurrentDirectory) {
  TempDir temp;
  const fs::path saved = fs::current_path();
  fs::current_path(temp.path());
  const std::string path = WriteNewFile("", "p_", ".mp3", ToBytes("x"), [] { return Text("A"); });
  fs::current_path(saved);
  EXPECT_EQ(path, "p_A.mp3");
  EXPECT_EQ(temp.Files(), std::vector<std::string>{"p_A.mp3"});
}

TEST(TemporaryFolder, IsTmpdirOrTmpWithATrailingSeparator) {
  TempDir temp;
  std::optional<std::string> saved;
  if (const char* old = getenv("TMPDIR")) saved = old;
  const std::string dir = fs::canonical(temp.path()).string();
  struct Case {
    std::optional<std::string> tmpdir;
    std::string want;
  };
  const std::vector<Case> cases = {
      {dir, dir + "/"}, {dir + "/", dir + "/"},  {dir + "//./", dir + "/"}, {"/", "/"},
      {"", "/tmp/"},    {std::nullopt, "/tmp/"}, {dir + "/missing", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tmpdir.value_or("(unset)"));
    if (c.tmpdir) {
      setenv("TMPDIR", c.tmpdir->c_str(), 1);
    } else {
      unsetenv("TMPDIR");
    }
    EXPECT_EQ(TemporaryFolder(), c.want);
  }
  if (saved) {
    setenv("TMPDIR", saved->c_str(), 1);
  } else {
    unsetenv("TMPDIR");
  }
}

TEST(DeleteFile, RemovesTheFileWhileAnOpenDescriptorStillReadsIt) {
  TempDir temp;
  const fs::path path = temp.path() / "a.mp3";
  WriteFile(path, "audio");
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  DeleteFile(path.string());
  DeleteFile("");
  EXPECT_FALSE(fs::exists(path));
  char buffer[8] = {};
  EXPECT_EQ(::read(fd, buffer, sizeof buffer), 5);
  EXPECT_EQ(std::string(buffer), "audio");
  ::close(fd);
}

}  // namespace
}  // namespace sonavel
