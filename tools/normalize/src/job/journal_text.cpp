#include "job/journal_text.h"

#include <cstdio>

namespace normalize::journal {

std::string Escaped(const std::string& text) {
  std::string out;
  for (const char c : text) {
    out += c == '\\' ? "\\\\" : c == '\n' ? "\\n" : c == '\r' ? "\\r" : std::string(1, c);
  }
  return out;
}

std::string Unescaped(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char next = text[++i];
    out += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
  }
  return out;
}

std::string Number(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

std::string Maybe(const std::optional<double>& value) { return value ? Number(*value) : "-"; }

bool Words::Read(std::optional<double>& value) {
  std::string word;
  if (!(in >> word)) return false;
  if (word == "-") {
    value.reset();
    return true;
  }
  std::istringstream number(word);
  double read = 0;
  if (!(number >> read) || !number.eof()) return false;
  value = read;
  return true;
}

std::string Words::Rest() {
  std::string rest;
  if (in.get() != ' ') return rest;
  std::getline(in, rest);
  return Unescaped(rest);
}

}  // namespace normalize::journal
