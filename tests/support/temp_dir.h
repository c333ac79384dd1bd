// A private temporary folder for one test, removed with everything in it
// when the object goes out of scope.
//
//   TempDir dir;  // e.g. /tmp/sonavel-test-Ab12Cd
//   WriteFile(dir.path() / "a.txt", "x");
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace sonavel::testing {

class TempDir {
 public:
  // Creates the folder under $TMPDIR (or /tmp); aborts the test run when it cannot.
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The names of the entries directly in the folder (files, links, folders), sorted.
  std::vector<std::string> Files() const;

 private:
  std::filesystem::path path_;
};

// Whole-file helpers for tests; they throw std::runtime_error on failure.
std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, std::string_view data);

}  // namespace sonavel::testing
