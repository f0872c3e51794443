#pragma once
// Texts the application derives by rule: its title, the text of an error box,
// and the part of a two-part hint that a tooltip shows. No <windows.h> here.
#include <string>
#include <string_view>

namespace quilbo {

// The executable's file name without its directory, cut at its first full stop,
// every character after the first lower-cased: "C:\x\QUILBO.EXE" -> "Quilbo".
std::string ApplicationTitle(std::string_view executablePath);

// An exception's message as the error box shows it: a full stop is appended
// when the last byte, taken unsigned, is above '.' (letters, digits, "?", ":").
std::string ErrorBoxText(std::string_view message);

// "Short|long" -> "Short"; a hint without a bar is all short part.
std::string ShortHint(std::string_view hint);

}  // namespace quilbo
