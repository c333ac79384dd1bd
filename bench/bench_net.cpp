// HttpAccess beside a bare libcurl easy handle doing the same GET requests to
// a loopback server (HTTP and HTTPS), and MergeCookies on growing inputs.
//
// Each HttpAccess call makes its own request object (a new easy handle and a
// new connection), so the bare requests do the same: a new easy handle per
// request, the same header lines, the same trust settings. The overhead
// ratio is BM_HttpAccess / BM_BareCurl for one scheme. BM_BareCurlReused
// (one handle, kept-alive connection) shows what a lent object can save.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "net/net.h"
#include "tests/support/test_ca.h"
#include "tests/support/test_server.h"
#include "text/rules.h"

namespace {

using sonavel::Bytes;
using sonavel::Text;
using sonavel::testing::TestCa;
using sonavel::testing::TestServer;

constexpr int kRequests = 1000;
constexpr const char* kBody = "0123456789abcdef0123456789abcdef";

// An HTTP or HTTPS loopback server answering GET /b with 32 bytes.
std::unique_ptr<TestServer> StartServer(bool tls) {
  auto server =
      tls ? std::make_unique<TestServer>(TestCa::Local()) : std::make_unique<TestServer>();
  // Without it the server's small writes wait for delayed ACKs (~40 ms each).
  (*server)->set_tcp_nodelay(true);
  (*server)->Get("/b", [](const httplib::Request&, httplib::Response& res) {
    res.set_content(kBody, "text/plain");
  });
  server->Start();
  return server;
}

struct EasyDeleter {
  void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
struct SlistDeleter {
  void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

size_t Collect(char* data, size_t size, size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "bench_net: %s failed\n", what);
    std::abort();
  }
}

// What HttpAccess sends for a plain GET, set up on a bare handle.
void SetUpBare(CURL* h, const std::string& url, curl_slist* headers, std::string& body,
               std::string& head) {
  Check(curl_easy_setopt(h, CURLOPT_URL, url.c_str()) == CURLE_OK, "URL");
  Check(curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L) == CURLE_OK, "NOSIGNAL");
  Check(curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1)) ==
            CURLE_OK,
        "HTTP_VERSION");
  Check(curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers) == CURLE_OK, "HTTPHEADER");
  Check(curl_easy_setopt(h, CURLOPT_CAINFO, TestCa::Local().ca_file().c_str()) == CURLE_OK,
        "CAINFO");
  Check(curl_easy_setopt(h, CURLOPT_CAPATH, "/etc/ssl/certs") == CURLE_OK, "CAPATH");
  Check(curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &Collect) == CURLE_OK, "WRITEFUNCTION");
  Check(curl_easy_setopt(h, CURLOPT_WRITEDATA, &body) == CURLE_OK, "WRITEDATA");
  Check(curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &Collect) == CURLE_OK, "HEADERFUNCTION");
  Check(curl_easy_setopt(h, CURLOPT_HEADERDATA, &head) == CURLE_OK, "HEADERDATA");
}

std::unique_ptr<curl_slist, SlistDeleter> DefaultHeaders(const std::string& url) {
  curl_slist* list = nullptr;
  for (const std::string& line :
       {std::string("Accept: */*"), "Referer: " + url, std::string("Accept-Language: zh-cn"),
        std::string("User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; "
                    "Windows NT 6.1)")}) {
    curl_slist* grown = curl_slist_append(list, line.c_str());
    Check(grown != nullptr, "curl_slist_append");
    list = grown;
  }
  return std::unique_ptr<curl_slist, SlistDeleter>(list);
}

void BM_HttpAccess(benchmark::State& state) {
  const auto server = StartServer(state.range(0) != 0);
  const std::string url = server->Url("/b");
  for (auto _ : state) {
    std::int32_t status = 0;
    Bytes body = sonavel::HttpAccess(url, {.StatusCode = &status});
    Check(status == 200 && body.size() == 32, "HttpAccess");
    benchmark::DoNotOptimize(body);
  }
}

void BM_BareCurl(benchmark::State& state) {
  const auto server = StartServer(state.range(0) != 0);
  const std::string url = server->Url("/b");
  for (auto _ : state) {
    std::string body;
    std::string head;
    const auto headers = DefaultHeaders(url);
    std::unique_ptr<CURL, EasyDeleter> h(curl_easy_init());
    Check(h != nullptr, "curl_easy_init");
    SetUpBare(h.get(), url, headers.get(), body, head);
    Check(curl_easy_perform(h.get()) == CURLE_OK && body.size() == 32, "curl_easy_perform");
    benchmark::DoNotOptimize(body);
  }
}

void BM_BareCurlReused(benchmark::State& state) {
  const auto server = StartServer(state.range(0) != 0);
  const std::string url = server->Url("/b");
  const auto headers = DefaultHeaders(url);
  std::unique_ptr<CURL, EasyDeleter> h(curl_easy_init());
  Check(h != nullptr, "curl_easy_init");
  std::string body;
  std::string head;
  SetUpBare(h.get(), url, headers.get(), body, head);
  for (auto _ : state) {
    body.clear();
    head.clear();
    Check(curl_easy_perform(h.get()) == CURLE_OK && body.size() == 32, "curl_easy_perform");
    benchmark::DoNotOptimize(body);
  }
}

void BM_HttpAccessLentObject(benchmark::State& state) {
  const auto server = StartServer(state.range(0) != 0);
  const std::string url = server->Url("/b");
  sonavel::HttpRequest object;
  for (auto _ : state) {
    std::int32_t status = 0;
    Bytes body = sonavel::HttpAccess(url, {.StatusCode = &status, .RequestObject = &object});
    Check(status == 200 && body.size() == 32, "HttpAccess");
    benchmark::DoNotOptimize(body);
  }
}

// The merge as described item by item, with the linear searches: the
// reference the fast one must agree with.
Text ReferenceMerge(Text sent, Text received) {
  using sonavel::TextArray;
  sent = sonavel::RemoveSpaces(sent);
  received = sonavel::RemoveSpaces(received);
  const TextArray old = sonavel::SplitText(sent, ";");
  TextArray merged = sonavel::SplitText(received, ";");
  for (const Text& item : old) {
    if (!sonavel::HasCookieName(merged, sonavel::CookieName(item))) merged.push_back(item);
  }
  Text joined;
  for (const Text& item : merged) {
    if (item.size() >= 8 && item.substr(item.size() - 8) == "=deleted") continue;
    joined += item + "; ";
  }
  if (!joined.empty()) joined.resize(joined.size() - 2);
  TextArray seen;
  Text out;
  for (const Text& piece : sonavel::SplitText(joined, "; ")) {
    if (sonavel::IndexOfText(seen, piece) == -1) {
      seen.push_back(piece);
      out += piece + "; ";
    }
  }
  if (!out.empty()) out.resize(out.size() - 2);
  return out;
}

// n cookies sent; the server answers with new values for every other name,
// a few deletions and a few repeats.
std::pair<Text, Text> CookieInput(int n) {
  Text sent;
  Text received;
  for (int i = 0; i < n; ++i) {
    sent += "name" + std::to_string(i) + " = value" + std::to_string(i) + "; ";
    if (i % 2 == 0) received += "name" + std::to_string(i) + "=new" + std::to_string(i) + "; ";
    if (i % 10 == 1) received += "name" + std::to_string(i) + "=deleted; ";
    if (i % 25 == 0) received += "name" + std::to_string(i) + "=new" + std::to_string(i) + "; ";
  }
  return {sent, received};
}

void BM_MergeCookies(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const auto [sent, received] = CookieInput(n);
  {
    Text s = sent;
    Text r = received;
    const Text got = sonavel::MergeCookies(s, r);
    // The reference is quadratic: check it where it finishes quickly.
    if (n <= 1000) Check(got == ReferenceMerge(sent, received), "MergeCookies agrees");
  }
  for (auto _ : state) {
    Text s = sent;
    Text r = received;
    benchmark::DoNotOptimize(sonavel::MergeCookies(s, r));
  }
  state.SetComplexityN(n);
}

void BM_MergeCookiesReference(benchmark::State& state) {
  const auto [sent, received] = CookieInput(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(ReferenceMerge(sent, received));
  state.SetComplexityN(state.range(0));
}

BENCHMARK(BM_HttpAccess)
    ->ArgName("https")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(kRequests)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BareCurl)
    ->ArgName("https")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(kRequests)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HttpAccessLentObject)
    ->ArgName("https")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(kRequests)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BareCurlReused)
    ->ArgName("https")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(kRequests)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MergeCookies)
    ->Arg(10)
    ->Arg(1000)
    ->Arg(10000)
    ->Complexity()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MergeCookiesReference)
    ->Arg(10)
    ->Arg(1000)
    ->Complexity()
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
