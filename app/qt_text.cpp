#include "app/qt_text.h"

#include <cstddef>

#include "text/charset.h"

namespace sonavel {

Text ToAnsiText(const QString& text) {
  // UTF-16 code units, low byte first, with one zero unit at the end.
  const auto units = static_cast<std::size_t>(text.size());
  Bytes wide(units * 2 + 2, 0);
  for (std::size_t i = 0; i < units; ++i) {
    const char16_t unit = text[static_cast<qsizetype>(i)].unicode();
    wide[2 * i] = static_cast<std::uint8_t>(unit & 0xFF);
    wide[2 * i + 1] = static_cast<std::uint8_t>(unit >> 8);
  }
  return WideToAnsi(wide, 936);
}

}  // namespace sonavel
