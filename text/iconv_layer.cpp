#include "text/iconv_layer.h"

#include <iconv.h>

#include <cerrno>

namespace sonavel::iconv_layer {
namespace {

iconv_t AsIconv(void* handle) { return static_cast<iconv_t>(handle); }

}  // namespace

void Converter::Closer::operator()(void* handle) const { iconv_close(AsIconv(handle)); }

Converter::Converter(const char* to, const char* from) {
  const iconv_t cd = iconv_open(to, from);
  if (cd != reinterpret_cast<iconv_t>(-1)) handle_.reset(cd);
}

Stop Converter::Convert(const char*& in, std::size_t& inLeft, char*& out, std::size_t& outLeft) {
  // glibc takes the input as char** although it never writes through it.
  char* source = const_cast<char*>(in);
  const std::size_t result = iconv(AsIconv(handle_.get()), &source, &inLeft, &out, &outLeft);
  const int error = errno;
  in = source;
  if (result != static_cast<std::size_t>(-1)) return Stop::kDone;
  switch (error) {
    case E2BIG:
      return Stop::kFull;
    case EINVAL:
      return Stop::kIncomplete;
    default:
      return Stop::kInvalid;
  }
}

}  // namespace sonavel::iconv_layer
