#pragma once
// How a user's or a store's text appears inside a message: in quotes, and cut
// short, since a message box with a hundred thousand characters shows nothing
// useful and takes seconds to lay out.
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

}  // namespace quilbo
