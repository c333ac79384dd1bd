#include "text/charset.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <optional>
#include <string_view>
#include <utility>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "text/iconv_layer.h"

// Every conversion runs over the same engine. Runs of ASCII units are
// copied (widened or narrowed) directly. Everything else passes through code
// points: code page 936 goes to and from them through one iconv descriptor
// per call, between CP936 and glibc's own UCS-4 (WCHAR_T, a single step
// inside iconv), while UTF-8 and UTF-16 are read and written here, where
// their lenient rules live. Wherever iconv stops on a sequence it cannot
// convert, the engine writes the replacement and goes on. The results are
// those of decoding to UTF-16 and encoding from it, as the routines are
// defined; only the intermediate form differs.

namespace sonavel {
namespace {

using iconv_layer::Converter;
using iconv_layer::Stop;

static_assert(sizeof(wchar_t) == 4 && sizeof(char32_t) == 4,
              "glibc's WCHAR_T is UCS-4 in host order");

constexpr const char* kIconvGbk = "CP936";
constexpr const char* kIconvCodePoints = "WCHAR_T";
constexpr char32_t kReplacementCharacter = 0xFFFD;

// The three encodings the conversions meet.
enum class Form { kGbk, kUtf8, kUtf16 };

// The multibyte encoding of a code page number: 936 and 0 (the default code
// page) are GBK, 65001 is UTF-8, any other number has none.
std::optional<Form> MultiByteForm(int codePage) {
  if (codePage == 936 || codePage == 0) return Form::kGbk;
  if (codePage == 65001) return Form::kUtf8;
  return std::nullopt;
}

// ASCII runs shorter than this stay inside the chunk converted by way of
// code points: for them, one more iconv call costs more than it saves.
constexpr std::size_t kMinAsciiRun = 32;

// Code points handed to iconv at a time, and the room of a block: a block
// filled up to kBlock may take one more ASCII run (or 16 widened bytes).
constexpr std::size_t kBlock = 1024;
constexpr std::size_t kBlockRoom = kBlock + kMinAsciiRun;

std::uint16_t UnitAt(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

constexpr bool IsGbkLead(std::uint8_t b) { return b >= 0x81 && b <= 0xFE; }
constexpr bool IsGbkTrail(std::uint8_t b) { return b >= 0x40 && b <= 0xFE && b != 0x7F; }

// Scanning for ASCII. For UTF-16, positions are even byte offsets, `n` is
// even and a unit is ASCII when it is below 0x80.
//   AsciiEnd: the end of the ASCII run that starts at `pos`.
template <Form From>
std::size_t AsciiEnd(const std::uint8_t* p, std::size_t pos, std::size_t n) {
  if constexpr (From == Form::kUtf16) {
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
  } else {
#if defined(__SSE2__)
    while (n - pos >= 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + pos));
      const auto high = static_cast<unsigned>(_mm_movemask_epi8(v));
      if (high != 0) return pos + static_cast<std::size_t>(std::countr_zero(high));
      pos += 16;
    }
#endif
    while (pos < n && p[pos] < 0x80) ++pos;
  }
  return pos;
}

// Whether the byte `a` begins a GBK character, given that `from` (<= a) does.
// Every byte outside 81..FE ends a character (alone, or as a second byte), so
// only the run of lead bytes just before `a` counts: it pairs up from its
// start, and `a` begins a character when the run has an even length.
bool BeginsGbkCharacter(const std::uint8_t* p, std::size_t from, std::size_t a) {
  std::size_t i = a;
  while (i > from && IsGbkLead(p[i - 1])) --i;
  return ((a - i) & 1) == 0;
}

// The start of the first run of at least kMinAsciiRun (32) bytes below
// 0x80 that begins at or after `pos`, or the end of the run of them that
// reaches `n`, or `n`. Looks at 64 bytes at a time: bit i of the mask is
// set when byte i is ASCII, and after folding it onto itself bit i stays set
// only when bytes i..i+31 all are. Windows step by 33 bytes, so every run
// begins at one of bits 0..32 of some window.
std::size_t NextLongAsciiRun(const std::uint8_t* p, std::size_t pos, std::size_t n) {
  static_assert(kMinAsciiRun == 32);
#if defined(__SSE2__)
  while (n - pos >= 64) {
    std::uint64_t ascii = 0;
    for (int i = 0; i < 4; ++i) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + pos + 16 * i));
      ascii |= std::uint64_t{static_cast<std::uint16_t>(~_mm_movemask_epi8(v))} << (16 * i);
    }
    ascii &= ascii >> 1;
    ascii &= ascii >> 2;
    ascii &= ascii >> 4;
    ascii &= ascii >> 8;
    ascii &= ascii >> 16;
    ascii &= 0x1FFFFFFFFu;  // runs that begin at bits 0..32 lie wholly in the window
    if (ascii != 0) return pos + static_cast<std::size_t>(std::countr_zero(ascii));
    pos += 33;
  }
#endif
  std::size_t run = 0;
  for (; pos < n; ++pos) {
    run = p[pos] < 0x80 ? run + 1 : 0;
    if (run == kMinAsciiRun) return pos + 1 - run;
  }
  return n - run;
}

// The end of the GBK chunk that starts at the non-ASCII byte `pos`: the
// start of the next ASCII run worth copying directly, or `n`. A chunk never
// ends inside a character: an ASCII byte that is the second byte of a
// character stays in the chunk.
std::size_t ChunkEnd(const std::uint8_t* p, std::size_t pos, std::size_t n) {
  const std::size_t ascii = NextLongAsciiRun(p, pos, n);
  if (ascii == n) return n;
  return BeginsGbkCharacter(p, pos, ascii) ? ascii : ascii + 1;
}

// UTF-8 sequences (the well-formed ones of Unicode, table 3-7). For an
// ill-formed one, `length` is its maximal subpart: the longest start of a
// well-formed sequence, at least one byte. Each maximal subpart becomes one
// U+FFFD, as Unicode recommends.
struct Utf8Sequence {
  std::size_t length;
  char32_t code;  // U+FFFD for an ill-formed sequence
};

Utf8Sequence ReadUtf8(const std::uint8_t* p, std::size_t left) {
  const std::uint8_t b = p[0];
  if (b < 0x80) return {1, b};
  std::size_t more;
  std::uint8_t low = 0x80;
  std::uint8_t high = 0xBF;
  char32_t code;
  if (b >= 0xC2 && b <= 0xDF) {
    more = 1;
    code = b & 0x1F;
  } else if (b >= 0xE0 && b <= 0xEF) {
    more = 2;
    code = b & 0x0F;
    if (b == 0xE0) low = 0xA0;
    if (b == 0xED) high = 0x9F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    more = 3;
    code = b & 0x07;
    if (b == 0xF0) low = 0x90;
    if (b == 0xF4) high = 0x8F;
  } else {
    return {1, kReplacementCharacter};
  }
  for (std::size_t i = 1; i <= more; ++i) {
    if (i >= left || p[i] < low || p[i] > high) return {i, kReplacementCharacter};
    code = code << 6 | (p[i] & 0x3F);
    low = 0x80;
    high = 0xBF;
  }
  return {more + 1, code};
}

// A UTF-16 unit or surrogate pair; a lone surrogate is U+FFFD.
struct Utf16Sequence {
  std::size_t length;  // bytes
  char32_t code;
};

Utf16Sequence ReadUtf16(const std::uint8_t* p, std::size_t left) {
  const std::uint16_t u = UnitAt(p);
  if (u < 0xD800 || u > 0xDFFF) return {2, u};
  if (u <= 0xDBFF && left >= 4) {
    const std::uint16_t next = UnitAt(p + 2);
    if (next >= 0xDC00 && next <= 0xDFFF)
      return {4, 0x10000 + ((char32_t{u} - 0xD800) << 10) + (next - 0xDC00)};
  }
  return {2, kReplacementCharacter};
}

// Writes `code` at `out` in To (UTF-8 or UTF-16); returns the end.
template <Form To>
std::uint8_t* WriteCode(std::uint8_t* out, char32_t code) {
  if constexpr (To == Form::kUtf8) {
    if (code < 0x80) {
      *out++ = static_cast<std::uint8_t>(code);
    } else if (code < 0x800) {
      *out++ = static_cast<std::uint8_t>(0xC0 | code >> 6);
      *out++ = static_cast<std::uint8_t>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      *out++ = static_cast<std::uint8_t>(0xE0 | code >> 12);
      *out++ = static_cast<std::uint8_t>(0x80 | (code >> 6 & 0x3F));
      *out++ = static_cast<std::uint8_t>(0x80 | (code & 0x3F));
    } else {
      *out++ = static_cast<std::uint8_t>(0xF0 | code >> 18);
      *out++ = static_cast<std::uint8_t>(0x80 | (code >> 12 & 0x3F));
      *out++ = static_cast<std::uint8_t>(0x80 | (code >> 6 & 0x3F));
      *out++ = static_cast<std::uint8_t>(0x80 | (code & 0x3F));
    }
  } else {
    if (code < 0x10000) {
      *out++ = static_cast<std::uint8_t>(code);
      *out++ = static_cast<std::uint8_t>(code >> 8);
    } else {
      const char32_t high = 0xD800 + ((code - 0x10000) >> 10);
      const char32_t low = 0xDC00 + (code & 0x3FF);
      *out++ = static_cast<std::uint8_t>(high);
      *out++ = static_cast<std::uint8_t>(high >> 8);
      *out++ = static_cast<std::uint8_t>(low);
      *out++ = static_cast<std::uint8_t>(low >> 8);
    }
  }
  return out;
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
  std::uint8_t* Here() { return reinterpret_cast<std::uint8_t*>(out_.data()) + used_; }
  std::size_t Room() const { return out_.size() - used_; }
  void Advance(std::size_t count) { used_ += count; }
  void AdvanceTo(const std::uint8_t* end) { used_ = static_cast<std::size_t>(end - Start()); }

  Out Finish(std::size_t tail) {
    out_.resize(used_ + tail);
    return std::move(out_);
  }

 private:
  const std::uint8_t* Start() { return reinterpret_cast<std::uint8_t*>(out_.data()); }

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
    std::uint8_t* out = w.Here();
    for (std::size_t i = 0; i < count; ++i) {
      out[2 * i] = p[i];
      out[2 * i + 1] = 0;
    }
    w.Advance(2 * count);
  } else {
    const std::size_t units = count / 2;
    w.Reserve(units);
    std::uint8_t* out = w.Here();
    for (std::size_t i = 0; i < units; ++i) out[i] = p[2 * i];
    w.Advance(units);
  }
}

// Appends `codes` in To (UTF-8 or UTF-16).
template <Form To, class Out>
void WriteCodes(const char32_t* codes, std::size_t count, Writer<Out>& w) {
  if (w.Room() < 4 * count) {
    std::size_t need = 0;
    for (std::size_t i = 0; i < count; ++i) {
      std::uint8_t scratch[4];
      need += static_cast<std::size_t>(WriteCode<To>(scratch, codes[i]) - scratch);
    }
    w.Reserve(need);
  }
  std::uint8_t* out = w.Here();
  for (std::size_t i = 0; i < count; ++i) out = WriteCode<To>(out, codes[i]);
  w.AdvanceTo(out);
}

// A chunk of GBK into To by way of code points. A sequence iconv cannot
// decode becomes U+FFFD: a lead byte with a byte of the trail range is one
// unassigned character; with any other byte, or at the end, the lead byte
// stands alone and the byte after it is read afresh, so a stray lead byte
// never swallows the ASCII character that follows it. 80 and FF alone are
// either a character (80, the euro sign) or invalid (FF).
template <Form To, class Out>
void DecodeGbk(Converter& cv, const std::uint8_t* p, std::size_t n, Writer<Out>& w) {
  char32_t block[kBlock];
  const char* in = reinterpret_cast<const char*>(p);
  std::size_t left = n;
  while (left > 0) {
    char* out = reinterpret_cast<char*>(block);
    std::size_t room = sizeof block;
    const Stop stop = cv.Convert(in, left, out, room);
    WriteCodes<To>(block, (sizeof block - room) / sizeof(char32_t), w);
    if (stop == Stop::kInvalid || stop == Stop::kIncomplete) {
      const auto* at = reinterpret_cast<const std::uint8_t*>(in);
      const std::size_t skip = left >= 2 && IsGbkLead(at[0]) && IsGbkTrail(at[1]) ? 2 : 1;
      WriteCodes<To>(&kReplacementCharacter, 1, w);
      in += skip;
      left -= skip;
    }
  }
}

// Reads the code points of UTF-8 or UTF-16 from `pos` into `block` until
// it holds kBlock of them, the input ends, or a run of kMinAsciiRun ASCII
// units begins, which the caller copies directly. Returns the new position.
// `block` has room for kBlockRoom code points.
template <Form From>
std::size_t FillBlock(const std::uint8_t* p, std::size_t pos, std::size_t n, char32_t* block,
                      std::size_t& count) {
  while (count < kBlock && pos < n) {
    if constexpr (From == Form::kUtf16) {
      if (UnitAt(p + pos) < 0x80) {
        const std::size_t limit = std::min(n, pos + 2 * kMinAsciiRun);
        std::size_t end = pos;
        while (end < limit && UnitAt(p + end) < 0x80) end += 2;
        if (end == pos + 2 * kMinAsciiRun) break;
        for (; pos < end; pos += 2) block[count++] = p[pos];
        continue;
      }
      const Utf16Sequence s = ReadUtf16(p + pos, n - pos);
      block[count++] = s.code;
      pos += s.length;
    } else {
      const std::uint32_t first = p[pos];
      if (first < 0x80) {
#if defined(__SSE2__)
        // Sixteen bytes widened at once; the ASCII ones among them count.
        if (n - pos >= 16) {
          const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + pos));
          const auto high = static_cast<unsigned>(_mm_movemask_epi8(v));
          if (high == 0 && n - pos >= kMinAsciiRun &&
              _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + pos + 16))) ==
                  0)
            break;
          const __m128i zero = _mm_setzero_si128();
          const __m128i low8 = _mm_unpacklo_epi8(v, zero);
          const __m128i high8 = _mm_unpackhi_epi8(v, zero);
          auto* out = reinterpret_cast<__m128i*>(block + count);
          _mm_storeu_si128(out, _mm_unpacklo_epi16(low8, zero));
          _mm_storeu_si128(out + 1, _mm_unpackhi_epi16(low8, zero));
          _mm_storeu_si128(out + 2, _mm_unpacklo_epi16(high8, zero));
          _mm_storeu_si128(out + 3, _mm_unpackhi_epi16(high8, zero));
          const std::size_t ascii =
              high == 0 ? 16 : static_cast<std::size_t>(std::countr_zero(high));
          count += ascii;
          pos += ascii;
          continue;
        }
#endif
        for (; pos < n && p[pos] < 0x80; ++pos) block[count++] = p[pos];
        continue;
      }
      // The three-byte form, as of every Chinese character, first.
      if ((first & 0xF0) == 0xE0 && n - pos >= 3) {
        const std::uint32_t b1 = p[pos + 1];
        const std::uint32_t b2 = p[pos + 2];
        const char32_t code = (first & 0x0F) << 12 | (b1 & 0x3F) << 6 | (b2 & 0x3F);
        if (((b1 & 0xC0) | (b2 & 0xC0) << 8) == 0x8080 && code >= 0x800 && code - 0xD800 >= 0x800) {
          block[count++] = code;
          pos += 3;
          continue;
        }
      }
      const Utf8Sequence s = ReadUtf8(p + pos, n - pos);
      block[count++] = s.code;
      pos += s.length;
    }
  }
  return pos;
}

// Appends `count` code points in GBK. A character code page 936 lacks
// becomes its default character "?"; so does U+FFFD, which it lacks too.
template <class Out>
void EncodeGbk(Converter& cv, const char32_t* block, std::size_t count, Writer<Out>& w) {
  const char* in = reinterpret_cast<const char*>(block);
  std::size_t left = count * sizeof(char32_t);
  w.Reserve(2 * count);  // at most two bytes a character
  while (left > 0) {
    char* out = reinterpret_cast<char*>(w.Here());
    char* const start = out;
    std::size_t room = w.Room();
    const Stop stop = cv.Convert(in, left, out, room);
    w.Advance(static_cast<std::size_t>(out - start));
    if (stop == Stop::kDone) break;
    if (stop == Stop::kFull) {
      w.Reserve(left / 2 + 8);
      continue;
    }
    *w.Here() = '?';  // the room reserved covers every character still to come
    w.Advance(1);
    in += sizeof(char32_t);
    left -= sizeof(char32_t);
  }
}

// [p, p + n) of From as To, followed by `tail` zero bytes; nothing when
// iconv cannot be opened.
template <Form From, Form To, class Out>
std::optional<Out> Convert(const std::uint8_t* p, std::size_t n, std::size_t tail = 0) {
  constexpr std::size_t kMinRun = kMinAsciiRun * (From == Form::kUtf16 ? 2 : 1);
  Writer<Out> w(Estimate<From, To>(n) + tail);
  std::optional<Converter> cv;
  const auto open = [&cv] {
    if (!cv) {
      if constexpr (From == Form::kGbk) {
        cv.emplace(kIconvCodePoints, kIconvGbk);
      } else {
        cv.emplace(kIconvGbk, kIconvCodePoints);
      }
    }
    return cv->ok();
  };
  std::size_t pos = 0;
  while (pos < n) {
    const std::size_t ascii = AsciiEnd<From>(p, pos, n);
    if constexpr (From == Form::kGbk) {
      if (ascii > pos) {
        CopyAscii<From, To>(p + pos, ascii - pos, w);
        pos = ascii;
        if (pos == n) break;
      }
      const std::size_t end = ChunkEnd(p, pos, n);
      if (!open()) return std::nullopt;
      DecodeGbk<To>(*cv, p + pos, end - pos, w);
      pos = end;
    } else {
      if (ascii - pos >= kMinRun || (ascii > pos && ascii == n)) {
        CopyAscii<From, To>(p + pos, ascii - pos, w);
        pos = ascii;
        continue;
      }
      char32_t block[kBlockRoom];
      std::size_t count = 0;
      pos = FillBlock<From>(p, pos, n, block, count);
      if constexpr (To == Form::kGbk) {
        if (!open()) return std::nullopt;
        EncodeGbk(*cv, block, count, w);
      } else {
        WriteCodes<To>(block, count, w);
      }
    }
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
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  while (n - pos >= 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + pos));
    const auto zeros = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(v, zero)));
    if (zeros != 0) return pos + static_cast<std::size_t>(std::countr_zero(zeros));
    pos += 16;
  }
#endif
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
