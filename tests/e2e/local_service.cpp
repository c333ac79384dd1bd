#include "tests/e2e/local_service.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace sonavel::e2e {
namespace {

struct EasyDeleter {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct ListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

size_t Append(char* data, size_t size, size_t count, void* target) {
  static_cast<std::string*>(target)->append(data, size * count);
  return size * count;
}

void Check(CURLcode code, const char* what) {
  if (code != CURLE_OK) {
    throw std::runtime_error(std::string(what) + ": " + curl_easy_strerror(code));
  }
}

}  // namespace

bool Listening(const std::string& host_port) {
  const auto colon = host_port.rfind(':');
  if (colon == std::string::npos) throw std::invalid_argument("no port in " + host_port);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(std::stoi(host_port.substr(colon + 1))));
  std::string host = host_port.substr(0, colon);
  if (host == "localhost") host = "127.0.0.1";
  if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) {
    throw std::invalid_argument("not an IPv4 address: " + host);
  }
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool connected =
      connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return connected;
}

LocalService::LocalService(const std::string& program, const std::string& host_port,
                           const sonavel::testing::TestCa& certificates,
                           const std::vector<std::string>& extra_arguments)
    : host_port_(host_port) {
  if (Listening(host_port)) {
    throw std::runtime_error(
        "something already listens on " + host_port +
        ": the tool under test is built against that address, so the local speech service must "
        "run there; stop the other program (another test run, or ./scripts/run) and try again");
  }
  std::vector<std::string> argv = {program,
                                   "--listen",
                                   host_port,
                                   "--cert",
                                   certificates.cert_file(),
                                   "--key",
                                   certificates.key_file()};
  argv.insert(argv.end(), extra_arguments.begin(), extra_arguments.end());
  process_.emplace(std::move(argv), Environment::Inherited());
  if (!process_->WaitForLine(Process::kStdout, "listening on https://", milliseconds(10000))) {
    const int status = process_->Stop();
    throw std::runtime_error("the speech service did not start (status " + std::to_string(status) +
                             "): " + process_->Output(Process::kStderr));
  }
}

int LocalService::Stop() { return process_->Stop(); }

HttpsClient::HttpsClient(std::string ca_file) : ca_file_(std::move(ca_file)) {}

HttpAnswer HttpsClient::Get(const std::string& url) const {
  std::unique_ptr<CURL, EasyDeleter> curl(curl_easy_init());
  if (!curl) throw std::runtime_error("curl_easy_init failed");
  HttpAnswer answer;
  Check(curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str()), "CURLOPT_URL");
  Check(curl_easy_setopt(curl.get(), CURLOPT_CAINFO, ca_file_.c_str()), "CURLOPT_CAINFO");
  Check(curl_easy_setopt(curl.get(), CURLOPT_CAPATH, nullptr), "CURLOPT_CAPATH");
  Check(curl_easy_setopt(curl.get(), CURLOPT_PROXY, ""), "CURLOPT_PROXY");
  Check(curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT, 15L), "CURLOPT_TIMEOUT");
  Check(curl_easy_setopt(curl.get(), CURLOPT_NOSIGNAL, 1L), "CURLOPT_NOSIGNAL");
  Check(curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, &Append), "CURLOPT_WRITEFUNCTION");
  Check(curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &answer.body), "CURLOPT_WRITEDATA");
  if (curl_easy_perform(curl.get()) != CURLE_OK) return HttpAnswer{};
  Check(curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &answer.status),
        "CURLINFO_RESPONSE_CODE");
  const char* type = nullptr;
  Check(curl_easy_getinfo(curl.get(), CURLINFO_CONTENT_TYPE, &type), "CURLINFO_CONTENT_TYPE");
  if (type != nullptr) answer.content_type = type;
  return answer;
}

std::string HttpsClient::Token(const std::string& base, const std::string& api_key,
                               const std::string& secret_key) const {
  const HttpAnswer answer =
      Get(base + "/oauth/2.0/token?grant_type=client_credentials&client_id=" + api_key +
          "&client_secret=" + secret_key);
  const std::string marker = "\"access_token\":\"";
  const auto at = answer.body.find(marker);
  const auto end = at == std::string::npos ? at : answer.body.find('"', at + marker.size());
  if (answer.status != 200 || end == std::string::npos) {
    throw std::runtime_error("no token (" + std::to_string(answer.status) + "): " + answer.body);
  }
  return answer.body.substr(at + marker.size(), end - at - marker.size());
}

HttpAnswer HttpsClient::Speech(const std::string& base, const std::string& token,
                               const std::string& text, int volume, int voice) const {
  return Get(base + "/text2audio?tex=" + EncodeAll(text) + "&tok=" + token +
             "&cuid=e2etestclient&ctp=1&lan=zh&vol=" + std::to_string(volume) +
             "&per=" + std::to_string(voice));
}

std::string HttpsClient::EncodeAll(const std::string& bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    encoded += '%';
    encoded += kHex[byte >> 4];
    encoded += kHex[byte & 0x0F];
  }
  return encoded;
}

}  // namespace sonavel::e2e
