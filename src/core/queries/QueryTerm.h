#pragma once

#include <string>
#include <string_view>

namespace kaldrani::queries {

// How an engine wants the keyword as bytes before they are percent-encoded.
enum class TermBytes { Gbk, Utf8 };

// The keyword (UTF-8 text) as the engine's bytes: GBK with "?" for a character GBK lacks,
// or the UTF-8 bytes unchanged. Never raises for bad input.
std::string termBytes(TermBytes kind, std::string_view keyword);

// Percent-encodes bytes for a query: the 72 unreserved bytes (letters, digits,
// ! $ ' ( ) * - . @ _) copied, the blank as "+", any other byte as "%XX" in upper-case
// hex. Stops at the first zero byte. Returns ASCII text.
std::string EncodeQueryTerm(std::string_view bytes);

} // namespace kaldrani::queries
