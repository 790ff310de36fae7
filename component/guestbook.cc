#include "component/guestbook.h"

#include <stdexcept>

#include "check/word_filter.h"

namespace tb {
namespace {

template <typename T>
T& Bound(T* object, const char* what) {
  if (!object) throw std::logic_error(std::string("no page is bound: ") + what);
  return *object;
}

}  // namespace

void Guestbook::OnStartPage(host::PageContext& page) {
  response_ = &page.response();
  request_ = &page.request();
  server_ = &page.server();
  session_ = &page.session();
}

void Guestbook::OnEndPage() {
  response_ = nullptr;
  request_ = nullptr;
  server_ = nullptr;
  session_ = nullptr;
}

host::Request& Guestbook::Request() { return Bound(request_, "Request"); }
host::Response& Guestbook::Response() { return Bound(response_, "Response"); }
host::Server& Guestbook::Server() { return Bound(server_, "Server"); }
host::Session& Guestbook::Session() { return Bound(session_, "Session"); }

data::Connection Guestbook::OpenDatabase() {
  data::Connection conn(Server().Databases());
  conn.Open(DSNtemp());
  return conn;
}

void Guestbook::test() { Write("this is a test!"); }

void Guestbook::gBookAd() {
  Write("<p align=\"center\"><script src=\"" + Server().AdScriptUrl() +
        "\"></script></p>");
}

void Guestbook::gBookTimeout() {}

std::string Guestbook::MyDelThisWord(std::string& text) {
  text = check::MaskWords(text, DelThisWord());
  return text;
}

int Guestbook::MyStopThisWord(std::string& text) {
  return check::HasStopWord(text, StopThisWord()) ? 1 : 0;
}

Value Guestbook::Guolvfeifa(Value& value) { return value; }

}  // namespace tb
