#pragma once
// The system's texts are Windows-1251 bytes on disk, on the wire and inside the
// core; windows and the command line convert at their edge with these.

#include <string>
#include <string_view>

namespace tgx {
// Windows-1251 bytes to UTF-8. Bytes without a character (0x98) become U+FFFD.
std::string ToUtf8(std::string_view cp1251);
// UTF-8 to Windows-1251 bytes; characters the code page lacks become '?'.
// Malformed UTF-8 sequences also become '?'.
std::string FromUtf8(std::string_view utf8);
}  // namespace tgx
