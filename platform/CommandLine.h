// Command lines for the Windows Installer: one text, as CreateProcessW takes it. The installer reads its
// command line by its own rules, which msiexec documents for property values: blanks separate arguments,
// a pair of double quotes keeps blanks inside one argument, and within quotes "" stands for one literal ".
// Backslashes are ordinary characters (a folder value such as "C:\a b\" is one argument ending in a
// backslash). The Linux build splits a command line by these rules to start its child, so a quoted
// argument means the same to the stand-in installer as to the real one.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// An argument as it must appear in a command line to arrive as itself: unchanged when it holds no blank,
// tab or double quote (so the installer's usual command lines stay exactly as written); otherwise in
// double quotes with every double quote doubled.
std::u16string quoteArgument(std::u16string_view argument);

// The arguments of a command line, by the rules above.
std::vector<std::u16string> splitCommandLine(std::u16string_view commandLine);

}  // namespace quillon
