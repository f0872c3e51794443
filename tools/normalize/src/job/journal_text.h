#pragma once
// The words of a journal's lines: texts kept on one line, numbers that read
// back as the same double, and figures that may be missing ("-").
#include <optional>
#include <sstream>
#include <string>

namespace normalize::journal {

// Backslashes and line ends escaped, and back.
std::string Escaped(const std::string& text);
std::string Unescaped(const std::string& text);
std::string Number(double value);
std::string Maybe(const std::optional<double>& value);

// The words of one line, read in turn; each Read is false at the line's end
// or on a malformed number.
struct Words {
  std::istringstream in;
  bool Read(double& value) { return static_cast<bool>(in >> value); }
  bool Read(std::optional<double>& value);
  // The rest of the line, unescaped.
  std::string Rest();
};

}  // namespace normalize::journal
