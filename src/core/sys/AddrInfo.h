#pragma once

#include <netdb.h>

#include <memory>

namespace kaldrani::sys {

// Frees a getaddrinfo list.
struct AddrInfoDeleter {
    void operator()(addrinfo* list) const noexcept
    {
        if (list)
            ::freeaddrinfo(list);
    }
};

// A getaddrinfo answer that frees itself.
using AddrInfoList = std::unique_ptr<addrinfo, AddrInfoDeleter>;

} // namespace kaldrani::sys
