// File: page_env.h — what a page of the site gets from the HTTP host: the
// page context of the request, the request's method, a component already
// configured and bound, and the session's end.
//
// A page writes its own frame (document head, forms, scripts) through the
// context's response and calls the component's members in between.
//
// Example:
//   void ShowPage(PageEnv& env) {
//     env.context().response().Write(kShowHead);
//     env.component().ShowBook();
//   }
#pragma once

#include <span>
#include <string_view>

#include "component/guestbook.h"
#include "host/page.h"
#include "server/http/asset.h"
#include "server/limits/client_limits.h"
#include "server/mail/outbox.h"

namespace tb::server {

class PageEnv {
 public:
  virtual ~PageEnv() = default;
  virtual host::PageContext& context() = 0;
  // "GET", "POST", ... as the request gave it.
  virtual std::string_view method() const = 0;
  // A component with all ten properties set from the configuration, bound
  // to context(); the host releases it after the page.
  virtual Guestbook& component() = 0;
  // Ends the visitor's session: its values are gone after this request.
  virtual void EndSession() = 0;
  // Gives the visitor's session a new id after this request, keeping its
  // values: at a login, so that an id someone learnt before (or planted in
  // the visitor's browser) opens nothing afterwards.
  virtual void RenewSession() = 0;
  // What the site counts per client address: guesses and posts.
  virtual ClientLimits& limits() = 0;
  // Where the page's mail goes; nullptr when the site sends none.
  virtual mail::Outbox* outbox() { return nullptr; }
};

using PageHandler = void (*)(PageEnv&);

// What a GET or HEAD of a page may cost. A bounded page reads a fixed amount
// of the store whatever its size and never writes, so it runs at once on the
// thread that read the request, without the hand-over to a worker and back;
// a listing is bounded unless it searches or opens a page past the first
// fifty (an offset that grows with the store), and such a deep page is
// answered at once too when the page cache keeps it. Every other page, and
// every POST, is work for a worker thread.
enum class Cost { kWork, kBounded, kListing };

struct Route {
  std::string_view path;  // "index.asp"; matched without regard to case
  PageHandler handler;
  Cost cost = Cost::kWork;
};

// Every page of the site.
std::span<const Route> Routes();
// The page for a path (without the leading "/"), or nullptr.
const Route* FindRoute(std::string_view path);

// The asset for a path (without the leading "/"), or nullptr.
const Asset* FindAsset(std::string_view path);

}  // namespace tb::server
