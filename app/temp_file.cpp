#include "app/temp_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstddef>

namespace sonavel {
namespace {

// Owns a file descriptor; closes it when it goes.
class UniqueFd {
 public:
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

// Writes all of `data` to `fd`, going on after short writes and signals.
void WriteAll(int fd, const Bytes& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

}  // namespace

std::string TemporaryFolder() {
  const QString temp = QDir::tempPath();  // empty when TMPDIR names no folder
  if (temp.isEmpty()) return {};
  std::string folder = QFile::encodeName(temp).toStdString();
  if (folder.back() != '/') folder += '/';
  return folder;
}

std::string WriteNewFile(std::string_view folder, std::string_view prefix, std::string_view suffix,
                         const Bytes& data, const std::function<Text()>& drawName) {
  for (int attempt = 0; attempt < kNewFileTries; ++attempt) {
    std::string path(folder);
    path += prefix;
    path += drawName();
    path += suffix;
    int fd;
    do {
      fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
      if (errno == EEXIST) continue;  // somebody else's name: never touch it
      return {};
    }
    const UniqueFd file(fd);
    WriteAll(file.get(), data);
    return path;
  }
  return {};
}

void DeleteFile(const std::string& path) {
  if (!path.empty()) ::unlink(path.c_str());
}

}  // namespace sonavel
