// A real forward proxy for one test: tinyproxy on 127.0.0.1, run in the
// foreground from a config in a private folder, with Basic credentials
// required; stopped (SIGTERM, then SIGKILL) when the object goes.
//
//   TinyProxy proxy("alice", "s3cret");
//   if (!proxy.ok()) GTEST_SKIP() << "tinyproxy missing";
//   HttpAccess(url, {.ProxyAddress = proxy.Address(), .ProxyUser = "alice", ...});
#pragma once

#include <sys/types.h>

#include <string>

#include "tests/support/temp_dir.h"

namespace sonavel::testing {

class TinyProxy {
 public:
  static constexpr const char* kBinary = "/usr/bin/tinyproxy";

  TinyProxy(const std::string& user, const std::string& password);
  ~TinyProxy();
  TinyProxy(const TinyProxy&) = delete;
  TinyProxy& operator=(const TinyProxy&) = delete;

  bool ok() const { return pid_ > 0; }
  int port() const { return port_; }
  std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }
  std::string Log() const;

 private:
  bool StartOn(int port, const std::string& user, const std::string& password);
  void Stop();

  TempDir dir_;
  pid_t pid_ = -1;
  int port_ = 0;
};

}  // namespace sonavel::testing
