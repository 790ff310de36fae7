// File: client_network.h — which addresses are one client for the limits on
// connections, page jobs, guesses and posts.
//
// An IPv4 address mapped into IPv6 ("::ffff:10.0.0.1", as a dual-stack
// listener sees IPv4 peers) is the IPv4 address itself. An IPv6 client is
// its /64 network, which one subscriber usually holds whole, so that moving
// through it gains no fresh share.
// Example: ClientNetworkText("2001:db8:1:2::7") == "2001:db8:1:2::",
//          ClientNetworkText("::ffff:10.0.0.1") == "10.0.0.1".
#pragma once

#include <boost/asio/ip/address.hpp>
#include <string>
#include <string_view>

namespace tb::server::http {

boost::asio::ip::address Unmapped(const boost::asio::ip::address& address);
// The same address, whether written as IPv4 or IPv4 mapped into IPv6.
bool SameAddress(const boost::asio::ip::address& a, const boost::asio::ip::address& b);
boost::asio::ip::address ClientNetwork(const boost::asio::ip::address& address);
// The same for an address's text; a text that is no address stays as it is.
std::string ClientNetworkText(std::string_view address);

}  // namespace tb::server::http
