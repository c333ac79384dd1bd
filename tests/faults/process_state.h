// What a fault test looks at in its own process besides the results: memory
// in use, open descriptors, and two ways to make file writes fail.
//
//   const std::size_t before = ResidentBytes();
//   ... the same faulty call a few times ...
//   EXPECT_LT(ResidentBytes(), before + kMemorySlack);
#pragma once

#include <sys/resource.h>

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace sonavel::testing {

// True in a build with AddressSanitizer, whose quarantine keeps freed
// memory resident: there LeakSanitizer checks for leaks instead of RSS.
constexpr bool kAddressSanitizer =
#if defined(__SANITIZE_ADDRESS__)
    true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    true;
#else
    false;
#endif
#else
    false;
#endif

// Memory that may stay resident after a call (allocator caches, libcurl's
// and OpenSSL's one-time state) without counting as growth.
inline constexpr std::size_t kMemorySlack = 8u << 20;

// Resident memory of the process in bytes, after the allocator has given
// back what it can (malloc_trim).
std::size_t ResidentBytes();

// Runs `call` once to warm up, then `times` more, and returns false (with
// the figures in `report`) when resident memory grew by kMemorySlack or more
// from after the first call to after the last. Always true under
// AddressSanitizer, where LeakSanitizer does this check instead.
template <typename Call>
bool MemoryComesBack(Call call, int times, std::string* report) {
  call();
  if (kAddressSanitizer) return true;
  const std::size_t before = ResidentBytes();
  for (int i = 0; i < times; ++i) call();
  const std::size_t after = ResidentBytes();
  if (after < before + kMemorySlack) return true;
  *report = "resident memory grew from " + std::to_string(before) + " to " + std::to_string(after) +
            " bytes";
  return false;
}

// The number of open file descriptors of the process.
int OpenDescriptors();

// The regular files, folders and links directly in `folder`, names only.
std::vector<std::string> Entries(const std::filesystem::path& folder);

// While it lives, a file of the process cannot grow beyond `bytes`: a write
// past that fails with EFBIG (SIGXFSZ is ignored meanwhile). The way to get
// a write that fails half-way, as on a full disk, without a disk to fill.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes);
  ~FileSizeLimit();
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  void (*savedHandler_)(int) = nullptr;
};

// While it lives, the calling thread is subject to file permissions even as
// root (CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH and CAP_FOWNER are dropped from
// its effective set, and restored afterwards), so that a folder of mode 0500
// is read-only for it. Does nothing for a process that is not root.
class FilePermissionsApply {
 public:
  FilePermissionsApply();
  ~FilePermissionsApply();
  FilePermissionsApply(const FilePermissionsApply&) = delete;
  FilePermissionsApply& operator=(const FilePermissionsApply&) = delete;

 private:
  bool dropped_ = false;
  unsigned savedEffective_[2] = {};
};

}  // namespace sonavel::testing
