#pragma once
// Names from a world's files, a recording or the command line, made safe to
// print in a one-line message or a report.
#include <string>

namespace tlvx {

// The text with every control character (line ends included, and the C1
// controls U+0080 to U+009F) and every byte that is no part of well-formed
// UTF-8 written as an escape (\n, \r, \t, \xHH), so that a name from a data
// file, a recording or the command line can never break a message or a report
// into extra lines, nor reach the terminal as a control sequence (ESC, BEL,
// NUL, CSI). Other UTF-8 text ("Tál") comes back unchanged, and so does the
// text it returns.
std::string printable(const std::string& text);

}  // namespace tlvx
