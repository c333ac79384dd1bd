// Readers for the published reference tables in the shared folder
// (SONAVEL_REFS_DIR). Each returns nothing when its file is absent, so a
// test can skip cleanly.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace sonavel::test {

// The contents of the reference file `name`, or nothing when it is absent.
std::optional<std::string> ReadReference(const std::string& name);

// Code page 936 code (one byte, or lead * 256 + trail) to Unicode.
using CodeMap = std::map<std::uint32_t, std::uint32_t>;

// The mapped codes of CP936.TXT (codes listed without a Unicode value, the
// lead bytes and 0xFF, are left out).
std::optional<CodeMap> ReadCp936Txt();

// Windows' own tables in bestfit936.txt: decoding (MBTABLE and the
// DBCSTABLEs, code to Unicode) and encoding (WCTABLE, Unicode to code).
struct BestFitTables {
  CodeMap decode;
  std::map<std::uint32_t, std::uint32_t> encode;
};
std::optional<BestFitTables> ReadBestFit936();

// The cases of percent-encoding.json: the input (UTF-8) and its expected
// UTF-8 percent-encoding.
struct PercentCase {
  std::string input;
  std::string utf8;
};
std::optional<std::vector<PercentCase>> ReadPercentEncodingJson();

}  // namespace sonavel::test
