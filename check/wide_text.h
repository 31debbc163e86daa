// brivel-check works in UTF-8; Windows gives the arguments, and takes file
// names and a console's text, in UTF-16. The two ways between them, for the
// Windows program.
#pragma once

#ifdef _WIN32
#include <string>
#include <string_view>

namespace check {

std::string utf8(std::wstring_view text);
// A byte that is no UTF-8 becomes U+FFFD.
std::wstring utf16(std::string_view text);

}  // namespace check
#endif
