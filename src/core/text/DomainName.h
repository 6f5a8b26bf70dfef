#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace kaldrani::text {

// A typed domain that is no valid internationalised name; the message is the program's
// text for the user ("域名无效：…").
class DomainNameError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A domain in both of its forms: what a person reads (U-labels, lower case) and what is
// sent (A-labels, lower case). The two are equal for a name that is ASCII only.
struct DomainForms {
    std::string unicode;
    std::string ascii;

    bool isInternational() const { return unicode != ascii; }
    bool operator==(const DomainForms&) const = default;
};

// The domain typed in Unicode ("例子.中国") or in A-labels ("xn--fsqu00a.xn--fiqs8s"), in
// both forms, by IDNA 2008 (libidn2, the transitional rules off, STD3 host rules).
// Blanks around the text and one final "." are dropped; it must have at least two labels.
// Raises DomainNameError saying why for anything else (an empty text, a bad character, a
// label or name too long, an A-label that is not the encoding of a valid U-label).
DomainForms domainForms(std::string_view typed);

} // namespace kaldrani::text
