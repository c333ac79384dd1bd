#include "tests/support/test_server.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace sonavel::testing {

TestServer::TestServer() : server_(std::make_unique<httplib::Server>()) {}

TestServer::TestServer(const TestCa& ca)
    : server_(std::make_unique<httplib::SSLServer>(ca.cert_file().c_str(), ca.key_file().c_str())),
      tls_(true) {}

TestServer::~TestServer() { Stop(); }

void TestServer::Start() {
  // Without it every small answer waits for the client's delayed ACK (about 40 ms).
  server_->set_tcp_nodelay(true);
  port_ = server_->bind_to_any_port("127.0.0.1");
  if (port_ <= 0) {
    std::fprintf(stderr, "TestServer: cannot bind 127.0.0.1\n");
    std::abort();
  }
  thread_ = std::thread([this] {
    server_->listen_after_bind();
    finished_ = true;
  });
  // stop() only works once the loop runs; wait for it (connections queue meanwhile).
  while (!server_->is_running() && !finished_)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void TestServer::Stop() {
  if (thread_.joinable()) {
    server_->stop();
    thread_.join();
  }
}

std::string TestServer::Url(std::string_view path) const {
  return std::string(tls_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_) +
         std::string(path);
}

}  // namespace sonavel::testing
