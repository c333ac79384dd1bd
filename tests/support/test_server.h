// An HTTP or HTTPS server on 127.0.0.1 for one test, on a port the OS picks,
// listening on a thread of its own; the destructor stops it and joins.
//
//   TestServer server;                        // or TestServer server(ca) for HTTPS
//   server->Get("/x", [](const auto&, auto& res) { res.set_content("hi", "text/plain"); });
//   server.Start();
//   HttpAccess(server.Url("/x"));             // "http://127.0.0.1:PORT/x"
#pragma once

#include <httplib.h>

#include <atomic>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "tests/support/test_ca.h"

namespace sonavel::testing {

class TestServer {
 public:
  TestServer();                           // plain HTTP
  explicit TestServer(const TestCa& ca);  // HTTPS with the CA's server certificate
  ~TestServer();
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;

  httplib::Server* operator->() { return server_.get(); }
  httplib::Server& server() { return *server_; }

  // Binds 127.0.0.1 on a free port and starts listening; connections queue from here on.
  void Start();
  void Stop();
  int port() const { return port_; }
  // "http://127.0.0.1:PORT" + path (https for a TLS server).
  std::string Url(std::string_view path = "/") const;

 private:
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  std::atomic<bool> finished_ = false;
  bool tls_ = false;
  int port_ = 0;
};

}  // namespace sonavel::testing
