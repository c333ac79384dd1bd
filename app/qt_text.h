// Qt's strings at the edge of the text floor.
//
// ToAnsiText turns a QString (UTF-16 characters) into Text (code page 936
// bytes) through the project's own conversion, WideToAnsi with 936, so it
// behaves as every other conversion of the program: a character that code
// page 936 cannot hold becomes "?", and the text ends before a U+0000.
//   ToAnsiText(u"你好") == "\xC4\xE3\xBA\xC3";  ToAnsiText(u"a\u0E01b") == "a?b";  ToAnsiText({})
//   == ""
#pragma once

#include <QString>

#include "text/types.h"

namespace sonavel {

Text ToAnsiText(const QString& text);

}  // namespace sonavel
