#include "tests/support/test_ca.h"

#include <cstdio>
#include <cstdlib>

namespace sonavel::testing {
namespace {

void MakeCertificates(const std::filesystem::path& dir) {
  const std::string command =
      std::string("'") + SONAVEL_SOURCE_DIR + "/scripts/make-certs' '" + dir.string() + "'";
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "TestCa: %s failed\n", command.c_str());
    std::abort();
  }
}

}  // namespace

TestCa::TestCa() : owned_(std::in_place), dir_(owned_->path()) { MakeCertificates(dir_); }

TestCa::TestCa(std::filesystem::path dir) : dir_(std::move(dir)) { MakeCertificates(dir_); }

const TestCa& TestCa::Local() {
  static const TestCa local{std::filesystem::path(SONAVEL_CERT_DIR)};
  return local;
}

}  // namespace sonavel::testing
