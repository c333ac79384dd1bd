// libcurl's process-wide set-up, done once on first use.
//
// EnsureCurlGlobalInit() runs curl_global_init(CURL_GLOBAL_DEFAULT) the
// first time any thread calls it and reports whether that succeeded; later
// calls only report. The set-up is held by a function-local static object:
// C++ runs its constructor exactly once even when threads race to it, and
// its destructor calls curl_global_cleanup at normal exit, after main
// returns. (libcurl here is built thread-safe, so its own lazy set-up in
// curl_easy_init would be safe too; the explicit call makes a failed set-up
// visible instead of leaving it to every handle.)
//
//   if (!EnsureCurlGlobalInit()) return;   // libcurl unusable
//   CURL* handle = curl_easy_init();
#pragma once

namespace sonavel {

bool EnsureCurlGlobalInit();

}  // namespace sonavel
