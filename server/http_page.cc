#include "server/http_page.h"

#include <algorithm>
#include <array>
#include <boost/asio/ip/address.hpp>
#include <boost/range/iterator_range.hpp>
#include <chrono>
#include <utility>

#include "host/ascii.h"
#include "server/http/client_network.h"
#include "server/http/request_fields.h"

namespace tb::server::http {
namespace {

namespace asio = boost::asio;

std::string AddressText(const asio::ip::address& a) { return Unmapped(a).to_string(); }

// Seeded from the kernel in one call: a std::random_device made per page
// showed in the profile of the posting cycle.
std::mt19937_64 SeededRandom() {
  std::array<std::uint32_t, 4> words{};
  SecureRandomBytes(reinterpret_cast<unsigned char*>(words.data()), sizeof words);
  std::seed_seq seed(words.begin(), words.end());
  return std::mt19937_64(seed);
}

// The value a proxy added to a forwarding header: it appends what it saw to
// the end of the last such header, after any comma.
std::string_view LastForwarded(const Request& req, std::string_view header) {
  std::string_view last;
  for (const auto& field : boost::make_iterator_range(req.equal_range(header))) {
    last = field.value();
  }
  if (std::size_t comma = last.rfind(','); comma != std::string_view::npos) {
    last.remove_prefix(comma + 1);
  }
  return host::Trim(last, host::kHeaderBlanks);
}

bool FromProxy(const asio::ip::address& peer,
               const std::optional<asio::ip::address>& trusted_proxy) {
  return trusted_proxy && SameAddress(peer, *trusted_proxy);
}

bool HasNul(std::string_view text) { return text.find('\0') != std::string_view::npos; }

bool HasNul(const host::FieldMap& fields) {
  for (const auto& [name, value] : fields.entries()) {
    if (HasNul(name) || HasNul(value)) return true;
  }
  return false;
}

}  // namespace

std::string ClientAddress(const Request& req, const asio::ip::address& peer,
                          const std::optional<asio::ip::address>& trusted_proxy) {
  if (!FromProxy(peer, trusted_proxy)) return AddressText(peer);
  boost::system::error_code ec;
  auto forwarded =
      asio::ip::make_address(std::string(LastForwarded(req, "X-Forwarded-For")), ec);
  return ec ? AddressText(peer) : AddressText(forwarded);
}

bool CameOverHttps(const Request& req, const asio::ip::address& peer,
                   const std::optional<asio::ip::address>& trusted_proxy) {
  return FromProxy(peer, trusted_proxy) &&
         host::EqualsIgnoreCase(LastForwarded(req, "X-Forwarded-Proto"), "https");
}

std::variant<RequestData, BadRequest> ReadRequest(const Request& req,
                                                  std::string client_address) {
  std::string_view target = req.target();
  if (target.empty() || target.front() != '/') return kMalformed;
  std::size_t question = target.find('?');
  std::string_view raw_path = target.substr(0, question);
  std::string_view query = question == std::string_view::npos
                               ? std::string_view()
                               : target.substr(question + 1);

  RequestData data;
  data.method = std::string(req.method_string());
  data.path = DecodePath(raw_path.substr(1));
  std::string_view content_type = req[bhttp::field::content_type];
  AddQueryFields(query, CharsetOf(content_type), data.query);
  if (!req.body().empty() && !AddFormFields(content_type, req.body(), data.form)) {
    return kMalformed;
  }
  for (const auto& field :
       boost::make_iterator_range(req.equal_range(bhttp::field::cookie))) {
    AddCookies(field.value(), data.cookies);
  }
  if (data.query.size() + data.form.size() + data.cookies.size() > kMaxFields) {
    return kTooManyFields;
  }
  if (HasNul(data.path) || HasNul(data.query) || HasNul(data.form) ||
      HasNul(data.cookies)) {
    return kBadBytes;
  }
  data.server_variables.Add("remote_addr", client_address);
  data.server_variables.Add("request_method", data.method);
  data.server_variables.Add("script_name", "/" + data.path);
  data.server_variables.Add("query_string", query);
  data.server_variables.Add("http_host",
                            DecodeText(req[bhttp::field::host], WireCharset::kGb18030));
  return data;
}

HttpPage::HttpPage(RequestData request, data::EngineSource& databases,
                   SessionStore& sessions, VisitCounter& visits, ClientLimits& limits,
                   std::string ad_script_url, host::PageCache* pages)
    : MapPage(databases),
      method_(std::move(request.method)),
      https_(request.https),
      sessions_(sessions),
      visits_(visits),
      limits_(limits),
      pages_(pages) {
  query = std::move(request.query);
  form = std::move(request.form);
  cookies = std::move(request.cookies);
  server_variables = std::move(request.server_variables);
  this->ad_script_url = std::move(ad_script_url);
  if (auto id = cookies.Find(kSessionCookie); id && !id->empty()) {
    hold_ = sessions_.Hold(*id);
    if (auto values = sessions_.Load(*id)) {
      session_id_ = *id;
      session_values = std::move(*values);
    } else {
      hold_ = {};  // an unknown id: nothing to keep in order
    }
  }
  book_.OnStartPage(*this);
}

HttpPage::~HttpPage() { book_.OnEndPage(); }

std::vector<std::string> HttpPage::CookieHeaders() const {
  std::vector<std::pair<std::size_t, std::string>> ordered;
  for (const auto& [name, c] : response_cookies) {
    ordered.emplace_back(
        c.order, FormatSetCookie(name, c.value, ExpiresAsHttpDate(c.expires.value_or("")),
                                 https_));
  }
  std::sort(ordered.begin(), ordered.end());
  std::vector<std::string> headers;
  for (auto& [order, header] : ordered) headers.push_back(std::move(header));
  return headers;
}

void HttpPage::Set(std::string_view key, Value value) {
  changes_[std::string(key)] = value;
  MapPage::Set(key, std::move(value));
}

void HttpPage::EndLogins(std::string_view name, Reach reach) {
  const bool this_one = reach == Reach::kThisOneToo && IsLoggedInAs(name);
  sessions_.EraseLogins(name, this_one ? std::string_view() : session_id_);
  if (!this_one) return;
  ClearLogin();
  // The store no longer holds this session: save all of it back, logged out.
  changes_ = session_values;
}

void HttpPage::EndSession() {
  if (!session_id_.empty()) ended_session_ = session_id_;
  session_id_.clear();
  session_values.clear();
  changes_.clear();
}

std::optional<std::string> HttpPage::FinishSession() {
  if (renew_ && !session_id_.empty()) {
    // Every value moves to a new id; the old one ends.
    if (sessions_.Load(session_id_)) changes_ = session_values;
    ended_session_ = session_id_;
    session_id_.clear();
  }
  renew_ = false;
  if (!ended_session_.empty()) sessions_.Erase(ended_session_);
  const std::string attributes =
      std::string("; Path=/; HttpOnly; SameSite=Strict") + (https_ ? "; Secure" : "");
  std::optional<std::string> cookie;
  if (!changes_.empty()) {
    if (session_id_.empty()) {
      session_id_ = NewSessionId();
      cookie = std::string(kSessionCookie) + "=" + session_id_ + attributes;
    }
    sessions_.Save(session_id_, changes_);
    changes_.clear();
  } else if (!ended_session_.empty() && session_id_.empty()) {
    cookie = std::string(kSessionCookie) + "=" + attributes +
             "; Max-Age=0; Expires=Thu, 01 Jan 1970 00:00:00 GMT";
  }
  ended_session_.clear();
  hold_ = {};
  return cookie;
}

DateTime HttpPage::Now() const {
  return DateTime::FromTimePoint(std::chrono::system_clock::now());
}

std::int64_t HttpPage::Random(std::int64_t low, std::int64_t high) {
  // Seeded on first use: most pages draw nothing, and the system's random
  // source costs a system call.
  if (!random_) random_ = SeededRandom();
  return std::uniform_int_distribution<std::int64_t>(low, high)(*random_);
}

}  // namespace tb::server::http
