#include "text/charset.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <optional>
#include <string_view>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "text/iconv_layer.h"

// Every conversion runs over the same engine: runs of ASCII units are copied
// (widened or narrowed) directly, everything else goes through one iconv
// descriptor opened for the call, and wherever iconv stops on a sequence it
// cannot convert, the engine writes the replacement and moves on. The
// results are those of decoding to UTF-16 and encoding from it; the routes
// that pass through UTF-16 on paper (Utf8ToAnsi, AnsiToUtf8) let iconv go
// straight from one side to the other, which gives the same characters.

namespace sonavel {
namespace {

using iconv_layer::Converter;
using iconv_layer::Stop;

// The three encodings the conversions meet.
enum class Form { kGbk, kUtf8, kUtf16 };

constexpr const char* IconvName(Form form) {
  switch (form) {
    case Form::kGbk:
      return "CP936";
    case Form::kUtf8:
      return "UTF-8";
    case Form::kUtf16:
      return "UTF-16LE";
  }
  return "";
}

// The multibyte encoding of a code page number: 936 and 0 (the default code
// page) are GBK, 65001 is UTF-8, any other number has none.
std::optional<Form> MultiByteForm(int codePage) {
  if (codePage == 936 || codePage == 0) return Form::kGbk;
  if (codePage == 65001) return Form::kUtf8;
  return std::nullopt;
}

// ASCII runs shorter than this stay inside the chunk handed to iconv: for
// them, one more iconv call costs more than it saves.
constexpr std::size_t kMinAsciiRun = 16;

std::uint16_t UnitAt(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

// The end of the run of bytes below 0x80 that starts at `pos`.
std::size_t AsciiBytesEnd(const std::uint8_t* p, std::size_t pos, std::size_t n) {
#if defined(__SSE2__)
  while (n - pos >= 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + pos));
    const auto high = static_cast<unsigned>(_mm_movemask_epi8(v));
    if (high != 0) return pos + static_cast<std::size_t>(std::countr_zero(high));
    pos += 16;
  }
#endif
  while (pos < n && p[pos] < 0x80) ++pos;
  return pos;
}

// The end of the run of UTF-16 units below 0x80 that starts at the even
// byte `pos`; `n` is even.
std::size_t AsciiUnitsEnd(const std::uint8_t* p, std::size_t pos, std::size_t n) {
#if defined(__SSE2__)
  const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
  const __m128i zero = _mm_setzero_si128();
  while (n - pos >= 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + pos));
    const auto ascii =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(v, high), zero)));
    if (ascii != 0xFFFF) return pos + static_cast<std::size_t>(std::countr_one(ascii));
    pos += 16;
  }
#endif
  while (pos < n && UnitAt(p + pos) < 0x80) pos += 2;
  return pos;
}

template <Form From>
std::size_t AsciiEnd(const std::uint8_t* p, std::size_t pos, std::size_t n) {
  if constexpr (From == Form::kUtf16) {
    return AsciiUnitsEnd(p, pos, n);
  } else {
    return AsciiBytesEnd(p, pos, n);
  }
}

constexpr bool IsGbkLead(std::uint8_t b) { return b >= 0x81 && b <= 0xFE; }
constexpr bool IsGbkTrail(std::uint8_t b) { return b >= 0x40 && b <= 0xFE && b != 0x7F; }

// The end of the chunk for iconv that starts at the non-ASCII unit at `pos`:
// the start of the next ASCII run worth copying directly, or `n`. A chunk
// never ends inside a character: in GBK a lead byte (81..FE; 80 and FF stand
// alone) takes the next byte with it, and in UTF-8 and UTF-16 an ASCII unit
// is never part of a longer sequence.
template <Form From>
std::size_t ChunkEnd(const std::uint8_t* p, std::size_t pos, std::size_t n) {
  constexpr std::size_t kUnit = From == Form::kUtf16 ? 2 : 1;
  while (pos < n) {
    const std::size_t end = AsciiEnd<From>(p, pos, n);
    if (end > pos) {
      if (end - pos >= kMinAsciiRun * kUnit || end == n) return pos;
      pos = end;
      continue;
    }
    if constexpr (From == Form::kGbk) {
      pos += IsGbkLead(p[pos]) && pos + 1 < n ? 2 : 1;
    } else {
      pos += kUnit;
    }
  }
  return n;
}

// UTF-8 sequences (the well-formed ones of Unicode, table 3-7). For an
// ill-formed one, `length` is its maximal subpart: the longest start of a
// well-formed sequence, at least one byte. Each maximal subpart becomes one
// U+FFFD, as Unicode recommends.
struct Utf8Sequence {
  std::size_t length;
  bool valid;
};

Utf8Sequence ReadUtf8Sequence(const std::uint8_t* p, std::size_t left) {
  const std::uint8_t b = p[0];
  if (b < 0x80) return {1, true};
  std::size_t more;
  std::uint8_t low = 0x80;
  std::uint8_t high = 0xBF;
  if (b >= 0xC2 && b <= 0xDF) {
    more = 1;
  } else if (b >= 0xE0 && b <= 0xEF) {
    more = 2;
    if (b == 0xE0) low = 0xA0;
    if (b == 0xED) high = 0x9F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    more = 3;
    if (b == 0xF0) low = 0x90;
    if (b == 0xF4) high = 0x8F;
  } else {
    return {1, false};
  }
  for (std::size_t i = 1; i <= more; ++i) {
    if (i >= left || p[i] < low || p[i] > high) return {i, false};
    low = 0x80;
    high = 0xBF;
  }
  return {more + 1, true};
}

// What iconv stopped at: a sequence that is not valid in the source, or a
// valid character that the target lacks.
enum class Fault { kInvalid, kUnmappable };
struct Skip {
  std::size_t length;
  Fault fault;
};

// The sequence at `p` that iconv could not convert (`left` bytes remain).
// For GBK, a lead byte with a byte of the trail range is one unassigned
// character; with any other byte, or at the end, the lead byte stands alone
// and the byte after it is read afresh, so a stray lead byte never swallows
// the ASCII character that follows it.
template <Form From>
Skip FaultAt(const std::uint8_t* p, std::size_t left) {
  if constexpr (From == Form::kUtf8) {
    const Utf8Sequence s = ReadUtf8Sequence(p, left);
    return {s.length, s.valid ? Fault::kUnmappable : Fault::kInvalid};
  } else if constexpr (From == Form::kGbk) {
    const bool pair = left >= 2 && IsGbkLead(p[0]) && IsGbkTrail(p[1]);
    return {pair ? 2u : 1u, Fault::kInvalid};
  } else {
    const std::uint16_t u = UnitAt(p);
    if (u >= 0xD800 && u <= 0xDBFF && left >= 4) {
      const std::uint16_t next = UnitAt(p + 2);
      if (next >= 0xDC00 && next <= 0xDFFF) return {4, Fault::kUnmappable};
    }
    if (u >= 0xD800 && u <= 0xDFFF) return {2, Fault::kInvalid};
    return {2, Fault::kUnmappable};
  }
}

// What the target gets for a sequence that could not be converted: U+FFFD
// for an invalid one, the default character for an unmappable one. Code page
// 936 has no U+FFFD, so both are its default character "?" there.
template <Form To>
constexpr std::string_view Replacement() {
  if constexpr (To == Form::kGbk) {
    return "?";
  } else if constexpr (To == Form::kUtf8) {
    return "\xEF\xBF\xBD";
  } else {
    return std::string_view("\xFD\xFF", 2);
  }
}

// A size the output of `n` source bytes will not exceed, except for GBK to
// UTF-8, whose worst case (a single byte becoming three) is left to growth.
template <Form From, Form To>
constexpr std::size_t Estimate(std::size_t n) {
  if constexpr (To == Form::kUtf16) {
    return 2 * n;
  } else if constexpr (To == Form::kUtf8) {
    return n + n / 2 + 4;
  } else {
    return n;
  }
}

// The output under construction: a Text or a Bytes.
template <class Out>
class Writer {
 public:
  explicit Writer(std::size_t size) { out_.resize(size); }

  // At least `count` bytes of room at Here().
  void Reserve(std::size_t count) {
    if (out_.size() - used_ < count) out_.resize(std::max(out_.size() * 2, used_ + count));
  }
  char* Here() { return reinterpret_cast<char*>(out_.data()) + used_; }
  std::size_t Room() const { return out_.size() - used_; }
  void Advance(std::size_t count) { used_ += count; }

  void Append(std::string_view bytes) {
    Reserve(bytes.size());
    std::memcpy(Here(), bytes.data(), bytes.size());
    Advance(bytes.size());
  }

  Out Finish(std::size_t tail) {
    out_.resize(used_ + tail);
    return std::move(out_);
  }

 private:
  Out out_;
  std::size_t used_ = 0;
};

// Copies `count` bytes of ASCII units from `p` into `w`, as units of To.
template <Form From, Form To, class Out>
void CopyAscii(const std::uint8_t* p, std::size_t count, Writer<Out>& w) {
  if constexpr ((From == Form::kUtf16) == (To == Form::kUtf16)) {
    w.Reserve(count);
    std::memcpy(w.Here(), p, count);
    w.Advance(count);
  } else if constexpr (To == Form::kUtf16) {
    w.Reserve(2 * count);
    char* out = w.Here();
    for (std::size_t i = 0; i < count; ++i) {
      out[2 * i] = static_cast<char>(p[i]);
      out[2 * i + 1] = 0;
    }
    w.Advance(2 * count);
  } else {
    const std::size_t units = count / 2;
    w.Reserve(units);
    char* out = w.Here();
    for (std::size_t i = 0; i < units; ++i) out[i] = static_cast<char>(p[2 * i]);
    w.Advance(units);
  }
}

// Converts the chunk [p, p + n) with `cv`, replacing what iconv stops at.
template <Form From, Form To, class Out>
void ConvertChunk(Converter& cv, const std::uint8_t* p, std::size_t n, Writer<Out>& w) {
  const char* in = reinterpret_cast<const char*>(p);
  std::size_t left = n;
  w.Reserve(Estimate<From, To>(left));
  while (left > 0) {
    char* out = w.Here();
    char* const start = out;
    std::size_t room = w.Room();
    const Stop stop = cv.Convert(in, left, out, room);
    w.Advance(static_cast<std::size_t>(out - start));
    if (stop == Stop::kDone) break;
    if (stop == Stop::kFull) {
      w.Reserve(Estimate<From, To>(left) + 8);
      continue;
    }
    const Skip skip = FaultAt<From>(reinterpret_cast<const std::uint8_t*>(in), left);
    w.Append(Replacement<To>());
    in += skip.length;
    left -= skip.length;
  }
}

// [p, p + n) of From as To, followed by `tail` zero bytes; nothing when
// iconv cannot be opened.
template <Form From, Form To, class Out>
std::optional<Out> Convert(const std::uint8_t* p, std::size_t n, std::size_t tail = 0) {
  Writer<Out> w(Estimate<From, To>(n) + tail);
  std::optional<Converter> cv;
  std::size_t pos = 0;
  while (pos < n) {
    const std::size_t ascii = AsciiEnd<From>(p, pos, n);
    if (ascii > pos) {
      CopyAscii<From, To>(p + pos, ascii - pos, w);
      pos = ascii;
      if (pos == n) break;
    }
    const std::size_t end = ChunkEnd<From>(p, pos, n);
    if (!cv) cv.emplace(IconvName(To), IconvName(From));
    if (!cv->ok()) return std::nullopt;
    ConvertChunk<From, To>(*cv, p + pos, end - pos, w);
    pos = end;
  }
  return w.Finish(tail);
}

// The number of bytes before the first zero byte.
std::size_t BytesBeforeZero(const void* p, std::size_t n) {
  const void* zero = n == 0 ? nullptr : std::memchr(p, 0, n);
  return zero == nullptr ? n
                         : static_cast<std::size_t>(static_cast<const char*>(zero) -
                                                    static_cast<const char*>(p));
}

// The number of bytes before the first zero UTF-16 unit, an odd last byte
// left out.
std::size_t BytesBeforeZeroUnit(const std::uint8_t* p, std::size_t n) {
  n &= ~std::size_t{1};
  std::size_t pos = 0;
  while (pos < n && (p[pos] | p[pos + 1]) != 0) pos += 2;
  return pos;
}

const std::uint8_t* AsBytes(const Text& text) {
  return reinterpret_cast<const std::uint8_t*>(text.data());
}

}  // namespace

Text Utf8ToAnsi(const Bytes& utf8) {
  // A zero byte is always U+0000, which encodes to the zero byte that ends
  // the result: converting the bytes before it gives the same Text.
  const std::size_t n = BytesBeforeZero(utf8.data(), utf8.size());
  if (n == 0) return Text();
  return Convert<Form::kUtf8, Form::kGbk, Text>(utf8.data(), n).value_or(Text());
}

Text AnsiToUtf8(const Text& text) {
  // WideToAnsi(AnsiToWide(text, 936), 65001) without the UTF-16 in between.
  const std::size_t n = BytesBeforeZero(text.data(), text.size());
  if (n == 0) return Text();
  return Convert<Form::kGbk, Form::kUtf8, Text>(AsBytes(text), n).value_or(Text());
}

Bytes AnsiToWide(const Text& text, int codePage) {
  const std::optional<Form> form = MultiByteForm(codePage);
  if (!form) return Bytes();
  // The text up to its terminator, which becomes the zero unit at the end.
  const std::size_t n = BytesBeforeZero(text.data(), text.size());
  constexpr std::size_t kZeroUnit = 2;
  std::optional<Bytes> wide =
      *form == Form::kGbk ? Convert<Form::kGbk, Form::kUtf16, Bytes>(AsBytes(text), n, kZeroUnit)
                          : Convert<Form::kUtf8, Form::kUtf16, Bytes>(AsBytes(text), n, kZeroUnit);
  return std::move(wide).value_or(Bytes());
}

Text WideToAnsi(const Bytes& wide, int codePage) {
  const std::optional<Form> form = MultiByteForm(codePage);
  if (!form) return Text();
  const std::size_t n = BytesBeforeZeroUnit(wide.data(), wide.size());
  if (n == 0) return Text();
  std::optional<Text> text = *form == Form::kGbk
                                 ? Convert<Form::kUtf16, Form::kGbk, Text>(wide.data(), n)
                                 : Convert<Form::kUtf16, Form::kUtf8, Text>(wide.data(), n);
  return std::move(text).value_or(Text());
}

}  // namespace sonavel
