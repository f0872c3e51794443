#include "options/message_quote.h"

namespace quilbo {
namespace {

bool IsUtf8Continuation(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

}  // namespace

std::string QuotedForMessage(std::string_view text, char quote) {
  std::string quoted(1, quote);
  if (text.size() <= kMaxQuotedBytes) {
    quoted += text;
  } else {
    std::size_t cut = kMaxQuotedBytes;
    // Back to the start of a character when the cut falls inside one; a UTF-8
    // character has at most three bytes after its first.
    for (int back = 0; back < 3 && cut > 0 && IsUtf8Continuation(text[cut]); ++back) --cut;
    quoted += text.substr(0, cut);
    quoted += "...";
  }
  quoted += quote;
  return quoted;
}

std::string QuotedPathForMessage(std::string_view path, std::size_t pathCharacters, char quote) {
  if (pathCharacters > kMaxPathCharacters) return QuotedForMessage(path, quote);
  std::string quoted(1, quote);
  quoted += path;
  quoted += quote;
  return quoted;
}

}  // namespace quilbo
