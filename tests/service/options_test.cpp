#include "service/options.h"

#include <gtest/gtest.h>

namespace sonavel::service {
namespace {

const std::vector<std::string> kTls = {"--cert", "c.pem", "--key", "k.pem"};

std::vector<std::string> With(std::vector<std::string> args) {
  args.insert(args.end(), kTls.begin(), kTls.end());
  return args;
}

TEST(ParseCommandLine, DefaultsAreTheLoopbackPortAndTheDevelopmentPair) {
  const CommandLine line = ParseCommandLine(kTls);
  EXPECT_EQ(line.error, "");
  EXPECT_EQ(line.config.host, "127.0.0.1");
  EXPECT_EQ(line.config.port, 8741);
  EXPECT_EQ(line.config.cert_file, "c.pem");
  EXPECT_EQ(line.config.key_file, "k.pem");
  EXPECT_FALSE(line.config.plain_http);
  EXPECT_EQ(line.config.credentials.api_key, "SonavelDevApiKey20261211");
  EXPECT_EQ(line.config.credentials.secret_key, "SonavelDevSecretKey1234567890123");
  EXPECT_EQ(line.config.token_ttl, std::chrono::seconds(2592000));
  EXPECT_EQ(line.port_file, "");
}

TEST(ParseCommandLine, ReadsEveryOption) {
  const CommandLine line =
      ParseCommandLine(With({"--listen=[::1]:0", "--api-key", "K", "--secret-key=S", "--token-ttl",
                             "5", "--port-file", "/tmp/p", "--threads", "2"}));
  EXPECT_EQ(line.error, "");
  EXPECT_EQ(line.config.host, "::1");
  EXPECT_EQ(line.config.port, 0);
  EXPECT_EQ(line.config.credentials.api_key, "K");
  EXPECT_EQ(line.config.credentials.secret_key, "S");
  EXPECT_EQ(line.config.token_ttl, std::chrono::seconds(5));
  EXPECT_EQ(line.port_file, "/tmp/p");
  EXPECT_EQ(line.config.threads, 2u);

  const CommandLine plain = ParseCommandLine({"--plain-http", "--listen", "localhost:9"});
  EXPECT_EQ(plain.error, "");
  EXPECT_TRUE(plain.config.plain_http);
  EXPECT_EQ(plain.config.host, "localhost");

  EXPECT_TRUE(ParseCommandLine({"--help"}).help);
  EXPECT_TRUE(ParseCommandLine({"--bogus", "--help"}).error != "");
}

TEST(ParseCommandLine, RefusesBadArguments) {
  const struct {
    std::vector<std::string> args;
    std::string want;
  } cases[] = {
      {{}, "HTTPS needs --cert FILE and --key FILE (or --plain-http for plain HTTP)"},
      {{"--cert", "c.pem"},
       "HTTPS needs --cert FILE and --key FILE (or --plain-http for plain HTTP)"},
      {With({"--plain-http"}), "--plain-http takes no --cert or --key"},
      {With({"--listen", "0.0.0.0:8741"}),
       "0.0.0.0 is not a loopback address: add --allow-remote to listen there"},
      {With({"--listen", "192.168.1.2:8741"}),
       "192.168.1.2 is not a loopback address: add --allow-remote to listen there"},
      {With({"--listen", "8741"}), "--listen needs HOST:PORT (PORT 0 to 65535), not \"8741\""},
      {With({"--listen", "127.0.0.1:65536"}),
       "--listen needs HOST:PORT (PORT 0 to 65535), not \"127.0.0.1:65536\""},
      {With({"--listen", "::1:80"}), "--listen needs HOST:PORT (PORT 0 to 65535), not \"::1:80\""},
      {{"--cert", "c.pem", "--key", "k.pem", "--listen"}, "--listen needs a value"},
      {With({"--token-ttl", "0"}), "--token-ttl needs a number of seconds from 1 to 31536000"},
      {With({"--token-ttl", "5s"}), "--token-ttl needs a number of seconds from 1 to 31536000"},
      {With({"--threads", "0"}), "--threads needs a number from 1 to 64"},
      {With({"--api-key", ""}), "--api-key and --secret-key must not be empty"},
      {With({"--plain-http=yes"}), "--plain-http takes no value"},
      {With({"--verbose"}), "unknown option --verbose"},
      {With({"extra"}), "unknown option extra"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    EXPECT_EQ(ParseCommandLine(c.args).error, c.want);
  }
  EXPECT_EQ(ParseCommandLine(With({"--listen", "0.0.0.0:8741", "--allow-remote"})).error, "");
}

TEST(IsLoopbackHost, KnowsTheLoopbackNames) {
  const struct {
    std::string host;
    bool want;
  } cases[] = {
      {"127.0.0.1", true}, {"127.1.2.3", true},    {"localhost", true}, {"::1", true},
      {"0.0.0.0", false},  {"128.0.0.1", false},   {"::", false},       {"example.org", false},
      {"", false},         {"127.0.0.1.5", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.host);
    EXPECT_EQ(IsLoopbackHost(c.host), c.want);
  }
}

}  // namespace
}  // namespace sonavel::service
