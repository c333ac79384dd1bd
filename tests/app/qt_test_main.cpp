// main() for the application's tests: a QApplication on the offscreen
// platform (unless the environment names another one), with a private
// runtime folder and the build folder's cache (GStreamer's registry) so
// that neither Qt nor GStreamer writes into the user's, then GoogleTest.
#include <stdlib.h>

#include <gtest/gtest.h>
#include <QApplication>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

// A folder that lives as long as the test program, mode 0700 (Qt insists on it).
class PrivateFolder {
 public:
  explicit PrivateFolder(const char* name) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / (std::string(name) + "-XXXXXX")).string();
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~PrivateFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();

  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  PrivateFolder runtime("sonavel-app-test-runtime");
  if (!runtime.path().empty()) setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
  setenv("XDG_CACHE_HOME", SONAVEL_APP_TEST_CACHE, 1);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
