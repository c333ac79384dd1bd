// Internal to text/: one glibc iconv conversion descriptor, owned.
//
// iconv is strict: it stops at the first sequence it cannot decode or
// encode and leaves the decision to the caller. Converter reports where and
// why it stopped; charset.cpp decides what replaces the offending sequence.
// A Converter is not shared: each conversion opens its own and closes it when
// it goes out of scope, so no descriptor outlives a call or crosses threads.
#pragma once

#include <cstddef>
#include <memory>

namespace sonavel::iconv_layer {

// Why a call of Converter::Convert returned.
enum class Stop {
  kDone,        // all input converted
  kInvalid,     // the input at the current position cannot be converted
  kIncomplete,  // the input ends inside a sequence
  kFull,        // the output has no room for the next character
};

class Converter {
 public:
  // Opens a descriptor from the charset `from` to the charset `to` (iconv
  // names, e.g. "CP936", "UTF-8", "UTF-16LE"). Check with ok().
  Converter(const char* to, const char* from);

  bool ok() const { return handle_ != nullptr; }

  // Converts from `in` (advanced past what was consumed, `inLeft` reduced)
  // into `out` (advanced past what was written, `outLeft` reduced) until the
  // input is used up or something stops it. Only for an open descriptor.
  Stop Convert(const char*& in, std::size_t& inLeft, char*& out, std::size_t& outLeft);

 private:
  struct Closer {
    void operator()(void* handle) const;
  };
  std::unique_ptr<void, Closer> handle_;
};

}  // namespace sonavel::iconv_layer
