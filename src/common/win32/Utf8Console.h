#pragma once
// Console programs on Windows: main() gets its arguments in the ANSI code page
// and printf's UTF-8 shows as the console's code page; the program's text is
// UTF-8 both ways.

#include <string>
#include <vector>

namespace qv::win32 {

// The program's command-line arguments (the program's name first) as UTF-8.
std::vector<std::string> Utf8Arguments();

// Makes the console show the program's UTF-8 output as such (a no-op when the
// output goes to a file or a pipe, which get the bytes as they are).
void UseUtf8Console();

}  // namespace qv::win32
