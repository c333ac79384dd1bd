#include "tests/faults/process_state.h"

#include <linux/capability.h>
#include <malloc.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace sonavel::testing {
namespace {

constexpr unsigned kFileCapabilities[] = {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER};

bool Capabilities(__user_cap_data_struct (&data)[2], bool set) {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};  // 0: the calling thread
  return ::syscall(set ? SYS_capset : SYS_capget, &header, data) == 0;
}

}  // namespace

std::size_t ResidentBytes() {
  ::malloc_trim(0);
  std::ifstream statm("/proc/self/statm");
  std::size_t pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

int OpenDescriptors() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
    ++count;
  return count - 1;  // the iterator's own descriptor
}

std::vector<std::string> Entries(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error))
    names.push_back(entry.path().filename().string());
  return names;
}

FileSizeLimit::FileSizeLimit(rlim_t bytes) {
  savedHandler_ = std::signal(SIGXFSZ, SIG_IGN);
  if (::getrlimit(RLIMIT_FSIZE, &saved_) != 0) std::abort();
  rlimit limited = saved_;
  limited.rlim_cur = bytes;
  if (::setrlimit(RLIMIT_FSIZE, &limited) != 0) std::abort();
}

FileSizeLimit::~FileSizeLimit() {
  ::setrlimit(RLIMIT_FSIZE, &saved_);
  std::signal(SIGXFSZ, savedHandler_);
}

FilePermissionsApply::FilePermissionsApply() {
  if (::geteuid() != 0) return;
  __user_cap_data_struct data[2] = {};
  if (!Capabilities(data, false)) std::abort();
  savedEffective_[0] = data[0].effective;
  savedEffective_[1] = data[1].effective;
  for (const unsigned cap : kFileCapabilities) data[cap / 32].effective &= ~(1u << (cap % 32));
  if (!Capabilities(data, true)) std::abort();
  dropped_ = true;
}

FilePermissionsApply::~FilePermissionsApply() {
  if (!dropped_) return;
  __user_cap_data_struct data[2] = {};
  if (!Capabilities(data, false)) std::abort();
  data[0].effective = savedEffective_[0];
  data[1].effective = savedEffective_[1];
  if (!Capabilities(data, true)) std::abort();
}

}  // namespace sonavel::testing
