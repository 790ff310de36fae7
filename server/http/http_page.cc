#include "server/http/http_page.h"

#include <boost/asio/ip/address.hpp>
#include <boost/range/iterator_range.hpp>
#include <chrono>

#include "host/ascii.h"
#include "server/http/request_fields.h"

namespace tb::server::http {
namespace {

namespace asio = boost::asio;

std::string AddressText(const asio::ip::address& a) {
  if (a.is_v6() && a.to_v6().is_v4_mapped()) {
    return asio::ip::make_address_v4(asio::ip::v4_mapped, a.to_v6()).to_string();
  }
  return a.to_string();
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// The same address, whether written as IPv4 or IPv4 mapped into IPv6.
bool SameAddress(const asio::ip::address& a, const asio::ip::address& b) {
  return AddressText(a) == AddressText(b);
}

std::mt19937_64 SeededRandom() {
  std::random_device device;
  std::seed_seq seed{device(), device(), device(), device()};
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
  return Trim(last);
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
                   std::string ad_script_url, PageCache* pages)
    : request_(std::move(request)),
      databases_(databases),
      sessions_(sessions),
      visits_(visits),
      limits_(limits),
      ad_script_url_(std::move(ad_script_url)),
      pages_(pages) {
  if (auto id = request_.cookies.Find(kSessionCookie); id && !id->empty()) {
    hold_ = sessions_.Hold(*id);
    if (auto values = sessions_.Load(*id)) {
      session_id_ = *id;
      values_ = std::move(*values);
    } else {
      hold_ = {};  // an unknown id: nothing to keep in order
    }
  }
  book_.OnStartPage(*this);
}

HttpPage::~HttpPage() { book_.OnEndPage(); }

std::optional<std::string> HttpPage::FindForm(std::string_view name) const {
  return request_.form.Find(name);
}
std::optional<std::string> HttpPage::FindQuery(std::string_view name) const {
  return request_.query.Find(name);
}
std::optional<std::string> HttpPage::FindCookie(std::string_view name) const {
  return request_.cookies.Find(name);
}
std::optional<std::string> HttpPage::FindServerVariable(std::string_view name) const {
  return request_.server_variables.Find(name);
}

ResponseCookie& HttpPage::CookieNamed(std::string_view name) {
  for (ResponseCookie& c : cookies_) {
    if (host::EqualsIgnoreCase(c.name, name)) return c;
  }
  return cookies_.emplace_back(ResponseCookie{std::string(name), "", std::nullopt});
}

void HttpPage::SetCookie(std::string_view name, std::string_view value) {
  CookieNamed(name).value = value;
}

void HttpPage::SetCookieExpires(std::string_view name, std::string_view expires) {
  CookieNamed(name).expires = std::string(expires);
}

std::vector<std::string> HttpPage::CookieHeaders() const {
  std::vector<std::string> headers;
  for (const ResponseCookie& c : cookies_) {
    headers.push_back(FormatSetCookie(
        c.name, c.value, ExpiresAsHttpDate(c.expires.value_or("")), request_.https));
  }
  return headers;
}

Value HttpPage::Get(std::string_view key) const {
  auto it = values_.find(key);
  return it == values_.end() ? Value() : it->second;
}

void HttpPage::Set(std::string_view key, Value value) {
  values_[std::string(key)] = value;
  changes_[std::string(key)] = std::move(value);
}

void HttpPage::EndLogins(std::string_view name, Reach reach) {
  const bool this_one = reach == Reach::kThisOneToo && IsLoggedInAs(name);
  sessions_.EraseLogins(name, this_one ? std::string_view() : session_id_);
  if (!this_one) return;
  ClearLogin();
  // The store no longer holds this session: save all of it back, logged out.
  changes_ = values_;
}

void HttpPage::EndSession() {
  if (!session_id_.empty()) ended_session_ = session_id_;
  session_id_.clear();
  values_.clear();
  changes_.clear();
}

std::optional<std::string> HttpPage::FinishSession() {
  if (renew_ && !session_id_.empty()) {
    // Every value moves to a new id; the old one ends.
    if (sessions_.Load(session_id_)) changes_ = values_;
    ended_session_ = session_id_;
    session_id_.clear();
  }
  renew_ = false;
  if (!ended_session_.empty()) sessions_.Erase(ended_session_);
  const std::string attributes = std::string("; Path=/; HttpOnly; SameSite=Strict") +
                                 (request_.https ? "; Secure" : "");
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
