#pragma once

#include <string>
#include <string_view>
#include <vector>

// Address items of a message ("张三 <zs@example.com>") and lists of them.
namespace kaldrani::mail {

struct MailAddress {
    std::string name;    // display name, quotes removed and escapes undone
    std::string address; // what goes between the angle brackets
};

bool operator==(const MailAddress& a, const MailAddress& b);

// Parses one item: a bare address; a display name (quoted or not) followed by the
// address in angle brackets; comments in parentheses dropped. Never fails; an empty
// address means the text held none.
MailAddress parseAddressItem(std::string_view text);

// Splits at "," and ";" outside quotes, parentheses and angle brackets and parses each
// piece; pieces that give no address are dropped.
std::vector<MailAddress> parseAddressList(std::string_view text);

} // namespace kaldrani::mail
