// Certification authorities for tests, each with a server certificate for
// localhost and 127.0.0.1 signed by it (scripts/make-certs does the work).
//
//   TestCa fresh;                       // a new CA in a private folder: nobody trusts it
//   const TestCa& local = TestCa::Local();  // the build folder's CA, which the build's
//                                       // SONAVEL_CA_BUNDLE (and so HttpAccess) trusts
//   a TLS server uses cert_file()/key_file(); a client trusts ca_file()
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "tests/support/temp_dir.h"

namespace sonavel::testing {

class TestCa {
 public:
  TestCa();  // aborts the test run when the certificates cannot be made
  static const TestCa& Local();

  std::string ca_file() const { return (dir_ / "ca.pem").string(); }
  std::string cert_file() const { return (dir_ / "server.pem").string(); }
  std::string key_file() const { return (dir_ / "server.key").string(); }

 private:
  explicit TestCa(std::filesystem::path dir);

  std::optional<TempDir> owned_;
  std::filesystem::path dir_;
};

}  // namespace sonavel::testing
