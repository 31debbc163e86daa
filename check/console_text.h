// brivel-check writes UTF-8 (a byte of a list that is no UTF-8 is shown as
// <XX>). A Windows console shows the bytes it is given in its code page, as a
// rule not UTF-8: "café" came out as "cafÃ©", and the caret under a finding a
// column off. So where a standard stream is a console, the text goes to it as
// UTF-16, which it shows whatever its code page.
#pragma once

#include <string_view>

namespace check {

// Writes `text` to the console that standard stream `fd` (1 or 2) is and
// returns true, `error` then 0 or the error number; returns false, having
// written nothing, where the stream is no console (a file, a pipe) or on a
// system whose terminals take UTF-8 as it is.
bool write_to_console(int fd, std::string_view text, int& error);

}  // namespace check
