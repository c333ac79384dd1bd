#include "tests/text/reference_files.h"

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string_view>

namespace sonavel::test {
namespace {

std::vector<std::string> Lines(const std::string& contents) {
  std::vector<std::string> lines;
  std::istringstream in(contents);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The whitespace-separated words of `line` before `comment`.
std::vector<std::string> Words(const std::string& line, char comment) {
  std::istringstream in(line.substr(0, line.find(comment)));
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

bool IsHexNumber(const std::string& word) {
  return word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X');
}

std::uint32_t ParseHex(const std::string& word) {
  return static_cast<std::uint32_t>(std::stoul(word, nullptr, 16));
}

// Just enough JSON for percent-encoding.json: values are strings, arrays and
// objects (numbers, true, false and null are read and dropped).
class JsonReader {
 public:
  struct Value {
    enum class Kind { kString, kArray, kObject, kOther } kind = Kind::kOther;
    std::string text;
    std::vector<Value> items;       // of an array; of an object, its members' values
    std::vector<std::string> keys;  // of an object, its members' names

    const Value* Member(std::string_view name) const {
      for (std::size_t i = 0; i < keys.size(); ++i)
        if (keys[i] == name) return &items[i];
      return nullptr;
    }
  };

  explicit JsonReader(std::string_view json) : json_(json) {}

  Value Read() {
    Value v = ReadValue();
    SkipSpace();
    if (pos_ != json_.size()) throw std::runtime_error("trailing JSON");
    return v;
  }

 private:
  void SkipSpace() {
    while (pos_ < json_.size() && (json_[pos_] == ' ' || json_[pos_] == '\n' ||
                                   json_[pos_] == '\r' || json_[pos_] == '\t'))
      ++pos_;
  }
  char Peek() {
    SkipSpace();
    if (pos_ >= json_.size()) throw std::runtime_error("JSON ends early");
    return json_[pos_];
  }
  void Expect(char c) {
    if (Peek() != c) throw std::runtime_error(std::string("JSON: expected ") + c);
    ++pos_;
  }

  Value ReadValue() {
    Value v;
    const char c = Peek();
    if (c == '"') {
      v.kind = Value::Kind::kString;
      v.text = ReadString();
    } else if (c == '[') {
      v.kind = Value::Kind::kArray;
      ++pos_;
      if (Peek() != ']') {
        do {
          v.items.push_back(ReadValue());
        } while (Peek() == ',' && ++pos_);
      }
      Expect(']');
    } else if (c == '{') {
      v.kind = Value::Kind::kObject;
      ++pos_;
      if (Peek() != '}') {
        do {
          Peek();
          v.keys.push_back(ReadString());
          Expect(':');
          v.items.push_back(ReadValue());
        } while (Peek() == ',' && ++pos_);
      }
      Expect('}');
    } else {
      while (pos_ < json_.size() && json_[pos_] != ',' && json_[pos_] != ']' && json_[pos_] != '}')
        ++pos_;
    }
    return v;
  }

  unsigned ReadHex4() {
    if (json_.size() - pos_ < 4) throw std::runtime_error("JSON: short \\u");
    const unsigned v =
        static_cast<unsigned>(std::stoul(std::string(json_.substr(pos_, 4)), nullptr, 16));
    pos_ += 4;
    return v;
  }

  static void AppendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }

  std::string ReadString() {
    Expect('"');
    std::string out;
    while (pos_ < json_.size() && json_[pos_] != '"') {
      const char c = json_[pos_++];
      if (c != '\\') {
        out.push_back(c);
        continue;
      }
      if (pos_ >= json_.size()) break;
      const char e = json_[pos_++];
      switch (e) {
        case 'b':
          out.push_back('\b');
          break;
        case 'f':
          out.push_back('\f');
          break;
        case 'n':
          out.push_back('\n');
          break;
        case 'r':
          out.push_back('\r');
          break;
        case 't':
          out.push_back('\t');
          break;
        case 'u': {
          std::uint32_t cp = ReadHex4();
          if (cp >= 0xD800 && cp <= 0xDBFF && json_.substr(pos_, 2) == "\\u") {
            pos_ += 2;
            const std::uint32_t low = ReadHex4();
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
          }
          AppendUtf8(out, cp);
          break;
        }
        default:
          out.push_back(e);
          break;
      }
    }
    Expect('"');
    return out;
  }

  std::string_view json_;
  std::size_t pos_ = 0;
};

}  // namespace

std::optional<std::string> ReadReference(const std::string& name) {
  std::ifstream in(std::string(SONAVEL_REFS_DIR) + "/" + name, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream contents;
  contents << in.rdbuf();
  return contents.str();
}

std::optional<CodeMap> ReadCp936Txt() {
  const std::optional<std::string> file = ReadReference("CP936.TXT");
  if (!file) return std::nullopt;
  CodeMap map;
  for (const std::string& line : Lines(*file)) {
    const std::vector<std::string> w = Words(line, '#');
    if (w.size() >= 2 && IsHexNumber(w[0]) && IsHexNumber(w[1]))
      map[ParseHex(w[0])] = ParseHex(w[1]);
  }
  return map;
}

std::optional<BestFitTables> ReadBestFit936() {
  const std::optional<std::string> file = ReadReference("bestfit936.txt");
  if (!file) return std::nullopt;
  enum class Section { kNone, kSingle, kDouble, kEncode } section = Section::kNone;
  std::uint32_t lead = 0;
  BestFitTables tables;
  for (const std::string& line : Lines(*file)) {
    const std::vector<std::string> w = Words(line, ';');
    if (w.empty()) continue;
    if (w[0] == "MBTABLE") {
      section = Section::kSingle;
    } else if (w[0] == "DBCSTABLE") {
      // "DBCSTABLE 190 ;LeadByte = 0x81": the lead byte is in the comment.
      section = Section::kDouble;
      lead = ParseHex(line.substr(line.find("0x", line.find("LeadByte"))));
    } else if (w[0] == "WCTABLE") {
      section = Section::kEncode;
    } else if (!IsHexNumber(w[0])) {
      section = Section::kNone;  // DBCSRANGE, CPINFO, ENDCODEPAGE, ...
    } else if (w.size() >= 2 && IsHexNumber(w[1])) {
      const std::uint32_t from = ParseHex(w[0]);
      const std::uint32_t to = ParseHex(w[1]);
      if (section == Section::kSingle) tables.decode[from] = to;
      if (section == Section::kDouble) tables.decode[lead << 8 | from] = to;
      if (section == Section::kEncode) tables.encode[from] = to;
    }
  }
  return tables;
}

std::optional<std::vector<PercentCase>> ReadPercentEncodingJson() {
  const std::optional<std::string> file = ReadReference("percent-encoding.json");
  if (!file) return std::nullopt;
  const JsonReader::Value root = JsonReader(*file).Read();
  std::vector<PercentCase> cases;
  for (const JsonReader::Value& item : root.items) {
    const JsonReader::Value* input = item.Member("input");
    const JsonReader::Value* output = item.Member("output");
    const JsonReader::Value* utf8 = output == nullptr ? nullptr : output->Member("utf-8");
    if (input != nullptr && utf8 != nullptr) cases.push_back({input->text, utf8->text});
  }
  return cases;
}

}  // namespace sonavel::test
