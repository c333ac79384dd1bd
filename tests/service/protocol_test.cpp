#include "service/protocol.h"

#include <gtest/gtest.h>

#include <regex>

namespace sonavel::service {
namespace {

const Credentials kPair = {"ApiKey24LettersAndDigit1", "SecretKey32LettersAndDigits12345"};
const std::string kGoodToken = "goodtoken";
const std::string kTail = "&cuid=Ab3dE6gH9k&ctp=1&lan=zh";

std::string Repeat(std::string_view piece, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

std::variant<SpeechRequest, Answer> Read(const std::string& query) {
  return ReadSpeechRequest(query, [](std::string_view token) { return token == kGoodToken; });
}

// The err_no of an error answer, or 0 for a request.
int ErrNo(const std::variant<SpeechRequest, Answer>& read) {
  const Answer* answer = std::get_if<Answer>(&read);
  if (answer == nullptr) return 0;
  std::smatch match;
  static const std::regex kErrNo(R"re(^\{"err_no":(\d+),"err_msg":"[^"]+"\}$)re");
  if (!std::regex_match(answer->body, match, kErrNo)) return -1;
  return std::stoi(match[1]);
}

TEST(CheckTokenRequest, AcceptsTheKeyPairAndNamesEachFault) {
  const std::string id = "&client_id=" + kPair.api_key;
  const std::string secret = "&client_secret=" + kPair.secret_key;
  const struct {
    std::string query;
    int status;  // 0: accepted
    std::string error;
    std::string description;
  } cases[] = {
      {"grant_type=client_credentials" + id + secret, 0, "", ""},
      {secret + id + "&grant_type=client_credentials", 0, "", ""},  // any order
      {"grant_type=client_credentials" + id + secret + "&scope=x", 0, "", ""},
      {"%67rant_type=client%5Fcredentials" + id + secret, 0, "", ""},
      {"grant_type=password" + id + secret, 400, "unsupported_grant_type",
       "grant_type must be client_credentials"},
      {"grant_type=Client_Credentials" + id + secret, 400, "unsupported_grant_type",
       "grant_type must be client_credentials"},
      {id + secret, 400, "invalid_request", "missing grant_type"},
      {"grant_type=client_credentials&grant_type=client_credentials" + id + secret, 400,
       "invalid_request", "repeated parameter: grant_type"},
      {"grant_type=client_credentials" + id + id + secret, 400, "invalid_request",
       "repeated parameter: client_id"},
      {"grant_type=client_credentials" + id + secret + "%zz", 400, "invalid_request",
       "malformed percent-encoding"},
      {"grant_type=client_credentials" + secret, 401, "invalid_client", "unknown client id"},
      {"grant_type=client_credentials&client_id=Other" + secret, 401, "invalid_client",
       "unknown client id"},
      {"grant_type=client_credentials&client_id=" + kPair.api_key + "x" + secret, 401,
       "invalid_client", "unknown client id"},
      {"grant_type=client_credentials" + id, 401, "invalid_client", "unknown client secret"},
      {"grant_type=client_credentials" + id + "&client_secret=", 401, "invalid_client",
       "unknown client secret"},
      {"grant_type=client_credentials" + id + "&client_secret=" + kPair.api_key, 401,
       "invalid_client", "unknown client secret"},
      {"grant_type=password&client_id=Other", 400, "unsupported_grant_type",
       "grant_type must be client_credentials"},  // the grant type is checked first
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.query);
    const std::optional<Answer> answer = CheckTokenRequest(c.query, kPair);
    if (c.status == 0) {
      EXPECT_FALSE(answer.has_value());
      continue;
    }
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->status, c.status);
    EXPECT_EQ(answer->content_type, "application/json");
    EXPECT_EQ(answer->body,
              "{\"error\":\"" + c.error + "\",\"error_description\":\"" + c.description + "\"}");
  }
}

TEST(TokenAnswer, IsCompactJsonWithTheTokenFirst) {
  const Answer answer = TokenAnswer("0123abcd", 2592000);
  EXPECT_EQ(answer.status, 200);
  EXPECT_EQ(answer.content_type, "application/json");
  EXPECT_EQ(answer.body, R"({"access_token":"0123abcd","expires_in":2592000})");
}

TEST(ReadSpeechRequest, ReadsTheToolsQuery) {
  const auto read =
      Read("tex=%E4%BD%A0%E5%A5%BD&tok=goodtoken&cuid=Ab3dE6gH9k&ctp=1&lan=zh&vol=5&per=4");
  ASSERT_TRUE(std::holds_alternative<SpeechRequest>(read));
  EXPECT_EQ(std::get<SpeechRequest>(read),
            (SpeechRequest{"\xE4\xBD\xA0\xE5\xA5\xBD", "goodtoken", "Ab3dE6gH9k", 5, 4}));
}

TEST(ReadSpeechRequest, DefaultsAndBoundaries) {
  const struct {
    std::string query;
    int want_volume, want_voice;
    std::string want_text;
  } cases[] = {
      {"tex=a&tok=goodtoken" + kTail, 5, 0, "a"},
      {"tex=a&tok=goodtoken" + kTail + "&vol=0&per=0", 0, 0, "a"},
      {"tex=a&tok=goodtoken" + kTail + "&vol=15&per=1", 15, 1, "a"},
      {"tex=a&tok=goodtoken" + kTail + "&vol=07&per=03", 7, 3, "a"},
      {"tex=a+b&tok=goodtoken" + kTail, 5, 0, "a b"},
      {"tex=%2B&tok=goodtoken" + kTail, 5, 0, "+"},
      {"tex=\xE4\xBD\xA0&tok=goodtoken" + kTail, 5, 0, "\xE4\xBD\xA0"},  // raw UTF-8
      {"tex=%20%20&tok=goodtoken" + kTail, 5, 0, "  "},                  // blanks are text
      {"tex=" + std::string(1024, 'a') + "&tok=goodtoken" + kTail, 5, 0, std::string(1024, 'a')},
      {"tex=" + Repeat("%E4%BD%A0", 341) + "a&tok=goodtoken" + kTail, 5, 0,
       Repeat("\xE4\xBD\xA0", 341) + "a"},                          // 1024 bytes
      {"tex=a&tok=goodtoken" + kTail + "&spd=5&aue=3", 5, 0, "a"},  // unknown keys ignored
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.query.substr(0, 120));
    const auto read = Read(c.query);
    ASSERT_TRUE(std::holds_alternative<SpeechRequest>(read)) << std::get<Answer>(read).body;
    const SpeechRequest& request = std::get<SpeechRequest>(read);
    EXPECT_EQ(request.volume, c.want_volume);
    EXPECT_EQ(request.voice, c.want_voice);
    EXPECT_EQ(request.text, c.want_text);
  }
}

TEST(ReadSpeechRequest, AnswersEachFaultWithItsCode) {
  const std::string ok = "tex=a&tok=goodtoken";
  const struct {
    std::string query;
    int err_no;
    int status;
  } cases[] = {
      {ok + kTail + "&tex=b", 501, 400},
      {ok + kTail + "&per=4&per=4", 501, 400},
      {ok + kTail + "&x=%G0", 501, 400},
      {"tex=a" + kTail, 502, 401},
      {"tex=a&tok=" + kTail, 502, 401},  // the tool after a failed token request
      {"tex=a&tok=badtoken" + kTail, 502, 401},
      {"tex=a&tok=badtoken&ctp=2", 502, 401},  // the token is checked first
      {ok + "&cuid=Ab3dE6gH9k&lan=zh", 501, 400},
      {ok + "&cuid=Ab3dE6gH9k&ctp=0&lan=zh", 501, 400},
      {ok + "&cuid=Ab3dE6gH9k&ctp=1", 501, 400},
      {ok + "&cuid=Ab3dE6gH9k&ctp=1&lan=en", 501, 400},
      {ok + "&cuid=Ab3dE6gH9k&ctp=1&lan=ZH", 501, 400},
      {ok + "&ctp=1&lan=zh", 501, 400},
      {ok + "&cuid=&ctp=1&lan=zh", 501, 400},
      {ok + "&cuid=" + std::string(65, 'c') + "&ctp=1&lan=zh", 501, 400},
      {ok + "&cuid=a%20b&ctp=1&lan=zh", 501, 400},
      {ok + kTail + "&vol=16", 501, 400},
      {ok + kTail + "&vol=-1", 501, 400},
      {ok + kTail + "&vol=", 501, 400},
      {ok + kTail + "&vol=5.0", 501, 400},
      {ok + kTail + "&vol=005", 501, 400},
      {ok + kTail + "&per=2", 501, 400},
      {ok + kTail + "&per=-4", 501, 400},
      {ok + kTail + "&per=x", 501, 400},
      {"tok=goodtoken" + kTail, 500, 400},
      {"tex=&tok=goodtoken" + kTail, 500, 400},
      {"tex=" + std::string(1025, 'a') + "&tok=goodtoken" + kTail, 513, 400},
      {"tex=" + Repeat("\xE4\xBD\xA0", 342) + "&tok=goodtoken" + kTail, 513, 400},  // 1026 bytes
      {"tex=%C0%AF&tok=goodtoken" + kTail, 500, 400},
      {"tex=%FF&tok=goodtoken" + kTail, 500, 400},
      {"tex=%E4%BD&tok=goodtoken" + kTail, 500, 400},
      {"tex=%C4%E3%BA%C3&tok=goodtoken" + kTail, 500, 400},  // code page 936, not UTF-8
      {"tex=a%00b&tok=goodtoken" + kTail, 500, 400},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.query.substr(0, 120));
    const auto read = Read(c.query);
    ASSERT_TRUE(std::holds_alternative<Answer>(read));
    EXPECT_EQ(ErrNo(read), c.err_no) << std::get<Answer>(read).body;
    EXPECT_EQ(std::get<Answer>(read).status, c.status);
    EXPECT_EQ(std::get<Answer>(read).content_type, "application/json");
  }
}

TEST(JsonString, EscapesQuotesBackslashesAndControls) {
  const struct {
    std::string text, want;
  } cases[] = {
      {"", R"("")"},
      {"abc", R"("abc")"},
      {"a\"b\\c", R"("a\"b\\c")"},
      {"\n\t", R"("\u000a\u0009")"},
      {"\xE4\xBD\xA0", "\"\xE4\xBD\xA0\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(JsonString(c.text), c.want);
  }
}

TEST(ConstantTimeEquals, ComparesWholeTexts) {
  EXPECT_TRUE(ConstantTimeEquals("secret", "secret"));
  EXPECT_TRUE(ConstantTimeEquals("", ""));
  EXPECT_FALSE(ConstantTimeEquals("secreT", "secret"));
  EXPECT_FALSE(ConstantTimeEquals("secre", "secret"));
  EXPECT_FALSE(ConstantTimeEquals("secrets", "secret"));
  EXPECT_FALSE(ConstantTimeEquals("", "secret"));
}

}  // namespace
}  // namespace sonavel::service
