// The temporary audio file: the system's folder for temporary files, a new
// file created there without ever touching one that exists, and its removal.
//
// Paths here are file-system bytes (what open(2) takes), not code page 936
// text: the folder comes from Qt, the name parts are ASCII.
//
//   std::string path = WriteNewFile(TemporaryFolder(), "plorix_yuyin_", ".mp3", body,
//                                   [] { return RandomAlnumText(8); });
//   // e.g. "/tmp/plorix_yuyin_a8Zk0Qm3.mp3", mode 0600, holding `body`
//   DeleteFile(path);
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "text/types.h"

namespace sonavel {

// The system's folder for temporary files with a trailing "/":
// QDir::tempPath(), which is $TMPDIR when set and /tmp otherwise, cleaned
// and with symbolic links resolved. The empty string when TMPDIR names a
// folder that does not exist: a file name then stands alone, in the
// current directory.
//   TemporaryFolder() == "/tmp/"
std::string TemporaryFolder();

// How many names WriteNewFile tries before it gives up.
inline constexpr int kNewFileTries = 8;

// Creates the file `folder` + `prefix` + drawName() + `suffix` exclusively
// (O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode 0600 less the umask),
// writes all of `data` (nothing when it is empty) and closes it. When the
// name exists already (a file, a folder or a symbolic link, dangling or
// not), it draws a new name, up to kNewFileTries names in all; what exists
// is never opened, followed, truncated or written. An empty `folder` means
// the current directory.
//
// Returns the path of the file it created, also when writing stopped short
// (a full disk: the file then holds what was written); the empty string
// when no file was created (no free name, no such folder, no permission).
std::string WriteNewFile(std::string_view folder, std::string_view prefix, std::string_view suffix,
                         const Bytes& data, const std::function<Text()>& drawName);

// Removes the file at `path`; the outcome is not reported. An empty path
// removes nothing. A file that a player still holds open goes on being
// readable through the player's descriptor.
void DeleteFile(const std::string& path);

}  // namespace sonavel
