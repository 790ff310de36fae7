#include "server/http/client_network.h"

#include <algorithm>

namespace tb::server::http {

namespace ip = boost::asio::ip;

ip::address Unmapped(const ip::address& address) {
  if (address.is_v6() && address.to_v6().is_v4_mapped())
    return ip::make_address_v4(ip::v4_mapped, address.to_v6());
  return address;
}

bool SameAddress(const ip::address& a, const ip::address& b) {
  return Unmapped(a) == Unmapped(b);
}

ip::address ClientNetwork(const ip::address& address) {
  const ip::address own = Unmapped(address);
  if (!own.is_v6()) return own;
  ip::address_v6::bytes_type bytes = own.to_v6().to_bytes();
  std::fill(bytes.begin() + 8, bytes.end(), 0);
  return ip::address_v6(bytes);
}

std::string ClientNetworkText(std::string_view address) {
  boost::system::error_code ec;
  const ip::address parsed = ip::make_address(std::string(address), ec);
  return ec ? std::string(address) : ClientNetwork(parsed).to_string();
}

}  // namespace tb::server::http
