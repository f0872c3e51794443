#pragma once
// How a user's or a store's text appears inside a message: in quotes, and cut
// short when it can be of any length, since a message box with a hundred
// thousand characters shows nothing useful and takes seconds to lay out. A path
// Windows can use is quoted whole: every part of it may be needed to find the file.
#include <cstddef>
#include <string>
#include <string_view>

namespace quilbo {

// The most bytes of a text a message quotes before it cuts to "...".
inline constexpr std::size_t kMaxQuotedBytes = 60;

// `text` between two `quote` characters; a longer text is cut after at most
// kMaxQuotedBytes bytes, never inside a UTF-8 character, and "..." follows it
// inside the quotes.
std::string QuotedForMessage(std::string_view text, char quote);

// The longest path Windows takes, in its characters (MAX_PATH less the
// terminating zero).
inline constexpr std::size_t kMaxPathCharacters = 259;

// `path` between two `quote` characters: whole when its `pathCharacters`, counted
// as the system counts them, are at most kMaxPathCharacters; a longer one is cut
// as QuotedForMessage cuts.
std::string QuotedPathForMessage(std::string_view path, std::size_t pathCharacters, char quote);

}  // namespace quilbo
