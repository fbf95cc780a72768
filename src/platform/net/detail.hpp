// What the network objects share: the network thread's I/O context and address conversions.
#pragma once

#include <asio.hpp>

#include "net/net.hpp"

namespace net::detail {

asio::io_context& ioContext();

asio::ip::address toAsio(const IpAddress& address);
IpAddress fromAsio(const asio::ip::address& address);

inline std::string errorText(const std::error_code& error) {
    return error.message();
}

}  // namespace net::detail
