// The sonavel-speech-service program itself, run as a child process.
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>

#include <filesystem>
#include <regex>

#include "service/speech_service.h"
#include "tests/service/audio_check.h"
#include "tests/service/child_process.h"
#include "tests/service/service_fixture.h"
#include "tests/support/test_ca.h"

namespace sonavel::testing {
namespace {

constexpr auto kPatience = std::chrono::seconds(20);

std::vector<std::string> ServiceArgs(const std::filesystem::path& port_file) {
  const TestCa& ca = TestCa::Local();
  return {SONAVEL_SERVICE_PROGRAM, "--listen", "127.0.0.1:0", "--cert",
          ca.cert_file(),          "--key",    ca.key_file(), "--port-file",
          port_file.string()};
}

std::unique_ptr<httplib::SSLClient> ClientFor(int port) {
  auto client = std::make_unique<httplib::SSLClient>("127.0.0.1", port);
  client->set_ca_cert_path(TestCa::Local().ca_file().c_str());
  client->enable_server_certificate_verification(true);
  client->set_url_encode(false);
  client->set_keep_alive(true);
  return client;
}

TEST(Program, ServesUntilAStopSignalAndExitsCleanly) {
  for (const int stop_signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(stop_signal);
    TempDir dir;
    const auto port_file = dir.path() / "port";
    ChildProcess child(ServiceArgs(port_file));
    const std::string line = child.WaitForStdoutLine(kPatience);
    std::smatch match;
    ASSERT_TRUE(
        std::regex_match(line, match, std::regex(R"(listening on https://127\.0\.0\.1:(\d+))")))
        << line << child.Stderr();
    const int port = std::stoi(match[1]);
    EXPECT_EQ(ReadFile(port_file), std::to_string(port) + "\n");

    const auto client = ClientFor(port);
    const httplib::Result token = client->Get(TokenTarget().c_str());
    ASSERT_TRUE(token);
    ASSERT_EQ(token->status, 200);
    std::smatch token_match;
    ASSERT_TRUE(std::regex_search(token->body, token_match,
                                  std::regex("\"access_token\":\"([0-9a-f]+)\"")));
    const std::string value = token_match[1];
    const httplib::Result speech = client->Get(SpeechTarget("你好", value).c_str());
    ASSERT_TRUE(speech);
    EXPECT_EQ(speech->status, 200);
    EXPECT_EQ(speech->get_header_value("Content-Type"), "audio/mp3");
    EXPECT_TRUE(DecodeMp3(speech->body).has_value());

    // The client still holds its keep-alive connection when the signal comes.
    child.Signal(stop_signal);
    EXPECT_EQ(child.Wait(kPatience), std::optional<int>(0)) << child.Stderr();
    EXPECT_FALSE(std::filesystem::exists(port_file));

    const std::string log = child.Stderr();
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2) << log;
    EXPECT_NE(log.find("client_secret=[redacted] 200 "), std::string::npos) << log;
    EXPECT_NE(log.find("tok=[redacted]&cuid="), std::string::npos) << log;
    EXPECT_EQ(log.find(value), std::string::npos);
    EXPECT_EQ(log.find(service::kDevSecretKey), std::string::npos);
  }
}

TEST(Program, CommandLineFaultsEndItWithAMessage) {
  TempDir dir;
  const std::string missing = (dir.path() / "missing.pem").string();
  const TestCa& ca = TestCa::Local();
  const struct {
    std::vector<std::string> args;
    int exit_code;
    std::string stderr_start;
  } cases[] = {
      {{},
       2,
       "sonavel-speech-service: HTTPS needs --cert FILE and --key FILE (or --plain-http for plain "
       "HTTP)\nTry 'sonavel-speech-service --help'.\n"},
      {{"--listen", "0.0.0.0:0", "--plain-http"},
       2,
       "sonavel-speech-service: 0.0.0.0 is not a loopback address: add --allow-remote to listen "
       "there\n"},
      {{"--unknown"}, 2, "sonavel-speech-service: unknown option --unknown\n"},
      {{"--listen", "127.0.0.1:0", "--cert", missing, "--key", ca.key_file()},
       1,
       "sonavel-speech-service: cannot read the certificate " + missing + "\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    std::vector<std::string> argv = {SONAVEL_SERVICE_PROGRAM};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    ChildProcess child(argv);
    EXPECT_EQ(child.Wait(kPatience), std::optional<int>(c.exit_code));
    EXPECT_EQ(child.Stderr().rfind(c.stderr_start, 0), 0u) << child.Stderr();
    EXPECT_EQ(child.Stdout(), "");
  }
}

TEST(Program, HelpDescribesTheOptions) {
  ChildProcess child({SONAVEL_SERVICE_PROGRAM, "--help"});
  EXPECT_EQ(child.Wait(kPatience), std::optional<int>(0));
  const std::string out = child.Stdout();
  for (const std::string option :
       {"--listen", "--cert", "--key", "--plain-http", "--api-key", "--secret-key", "--token-ttl",
        "--port-file", "--allow-remote"}) {
    SCOPED_TRACE(option);
    EXPECT_NE(out.find(option), std::string::npos);
  }
  EXPECT_EQ(child.Stderr(), "");
}

}  // namespace
}  // namespace sonavel::testing
