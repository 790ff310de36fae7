// The site's mail: messages that no value can add a header to, the queue's
// retries and drops, and the whole path through `tavobook serve` to an SMTP
// server of the test's own (SmtpSink, on 127.0.0.1) — the owner's
// notification on and off, the reply to a poster, the confirmation link
// followed, a new password mailed, passwords stored only as hashes, and a
// post while the mail server is down.
#include <sodium.h>
#include <sys/socket.h>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/write.hpp>
#include <condition_variable>
#include <fstream>
#include <future>
#include <mutex>
#include <optional>
#include <regex>
#include <thread>

#include "check/text.h"
#include "component/password_hash.h"
#include "server/mail/mail_queue.h"
#include "server/mail/message.h"
#include "tests/server/real_site.h"
#include "tests/support/cases.h"

namespace tb::testing {
namespace {

namespace asio = boost::asio;
using asio::ip::tcp;
using namespace std::chrono_literals;

// Base64 as the mail writes it, line breaks ignored.
std::string Unbase64(std::string_view text) {
  std::string out(text.size(), '\0');
  std::size_t n = 0;
  sodium_base642bin(reinterpret_cast<unsigned char*>(out.data()), out.size(), text.data(),
                    text.size(), "\r\n", &n, nullptr, sodium_base64_VARIANT_ORIGINAL);
  return out.substr(0, n);
}

// One mail as the sink received it.
struct Received {
  std::string from, to, data;
};

// A mail as text: the head unfolded, each header's encoded words decoded,
// a blank line and the body decoded from base64; a carriage return is
// written \r.
std::string MailText(std::string_view data) {
  static const std::regex kWord(R"(=\?UTF-8\?B\?([^?]*)\?=)");
  const std::size_t blank = data.find("\r\n\r\n");
  const std::string head = check::ReplaceAll(
      check::ReplaceAll(std::string(data.substr(0, blank + 2)), "\r\n ", ""), "\r\n",
      "\n");
  std::string out;
  auto rest = head.cbegin();
  for (std::sregex_iterator it(head.begin(), head.end(), kWord), e; it != e; ++it) {
    out.append(rest, (*it)[0].first) += Unbase64((*it)[1].str());
    rest = (*it)[0].second;
  }
  out.append(rest, head.cend());
  return check::ReplaceAll(out + "\n" + Unbase64(data.substr(blank + 4)), "\r", "\\r");
}

// An SMTP server speaking just enough of the protocol for libcurl, one
// connection at a time; it keeps every mail.
class SmtpSink {
 public:
  SmtpSink() {
    thread_ = std::thread([this] {
      boost::system::error_code ec;
      for (tcp::socket c = acceptor_.accept(ec); !ec; c = acceptor_.accept(ec)) Talk(c);
    });
  }
  ~SmtpSink() {
    shutdown(acceptor_.native_handle(), SHUT_RDWR);  // ends the accept
    thread_.join();
  }
  unsigned short port() const { return acceptor_.local_endpoint().port(); }
  // The mails received once there are `count` of them (at most 10 s).
  std::vector<Received> WaitFor(std::size_t count) {
    std::unique_lock lock(mutex_);
    arrived_.wait_for(lock, 10s, [&] { return mails_.size() >= count; });
    return mails_;
  }

 private:
  void Talk(tcp::socket& c) {
    boost::system::error_code ec;
    auto say = [&](std::string_view s) { asio::write(c, asio::buffer(s), ec); };
    std::string in, line;
    auto next_line = [&] {
      const std::size_t n = asio::read_until(c, asio::dynamic_buffer(in), "\r\n", ec);
      if (ec) return false;
      line = in.substr(0, n - 2);
      in.erase(0, n);
      return true;
    };
    Received mail;
    say("220 sink\r\n");
    while (next_line()) {
      const std::string verb = line.substr(0, 4);
      if (verb == "MAIL") mail.from = line.substr(10);
      if (verb == "RCPT") mail.to += line.substr(8);
      if (verb == "DATA") {
        say("354 go on\r\n");
        while (next_line() && line != ".") mail.data += line + "\r\n";
        std::lock_guard lock(mutex_);
        mails_.push_back(std::exchange(mail, {}));
        arrived_.notify_all();
      }
      if (verb == "QUIT") return say("221 bye\r\n");
      say("250 ok\r\n");
    }
  }

  asio::io_context io_;
  tcp::acceptor acceptor_{io_, {asio::ip::address_v4::loopback(), 0}};
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<Received> mails_;
  std::thread thread_;
};

// Each mail as composed (a carriage return written \r) and as read back is
// in tests/golden/server/mail_message.txt: its lines short, its head the
// eight headers alone, the subject's line breaks gone.
TEST(MailMessageTest, NoValueReachesAHeaderWithItsLineBreaks) {
  std::string record;
  for (const auto& c : ReadCases("server/mail_message.txt")) {
    SCOPED_TRACE(CaseText(c));
    if (c[0] == "address") {
      EXPECT_EQ(server::mail::IsSendableAddress(c[1]), c[2] == "yes");
      continue;
    }
    const std::string text = server::mail::ComposeMessage(
        {c[1], c[2], "正文\r\n.\r\n"}, "gb@site.example", 0, "id1\r\nX: y");
    record += "## " + c.line + "\n" + check::ReplaceAll(text, "\r", "\\r") + "\n" +
              MailText(text) + "\n";
  }
  ExpectGolden("server/mail_message.txt", record);
}

TEST(MailQueueTest, AFullQueueDropsTheOldestAndAFailureIsTriedAgainThenGivenUp) {
  // Written before the gate opens, then by the queue's thread alone; read
  // once that thread has ended.
  std::string log;
  std::promise<void> at_gate, gate, gave_up;
  {
    server::mail::MailQueue queue(
        [&](const server::mail::Mail& m) -> std::optional<std::string> {
          if (m.to == "1@x") {
            at_gate.set_value();
            gate.get_future().wait();
          }
          if (m.to == "4@x") return "refused";
          return std::nullopt;
        },
        [&](std::string_view line) {
          (log += line) += "\n";
          if (line.starts_with("mail: gave up")) gave_up.set_value();
        },
        {.capacity = 2, .attempts = 3, .first_retry = 10ms});
    queue.Send({"1@x", "", ""});
    at_gate.get_future().wait();  // the thread holds 1@x until the gate opens
    for (const char* to : {"2@x", "3@x", "4@x"}) queue.Send({to, "", ""});
    gate.set_value();
    EXPECT_EQ(gave_up.get_future().wait_for(5s), std::future_status::ready);
  }
  ExpectGolden("server/mail_queue.txt", log);
}

// `tavobook serve` mailing through the sink, passwords hashed; xiaoming's
// registration sent the first mail.
class MailFlowTest : public ::testing::Test, protected SiteVisits {
 protected:
  MailFlowTest() {
    const auto config = dir_.path() / "serve.toml";
    std::ofstream(config) << "[security]\nhash_passwords = true\n[mail]\nenabled = true\n"
                          << "smtp_url = \"smtp://127.0.0.1:" << sink_->port() << "\"\n"
                          << "from = \"gb@site.example\"\n";
    serve_.emplace(std::vector<std::string>{
        "--listen", "127.0.0.1:0", "--db", (dir_.path() / "t.db").string(),
        "--admin-password", "super_pw9", "--threads", "2", "--config", config.string()});
    EXPECT_NE(serve_->port(), 0) << serve_->Stderr();
    // Without LybUrl set, the link is the address the site listens on.
    const std::string url = "127.0.0.1:" + std::to_string(serve_->port());
    const Answer done = AddOwner();
    EXPECT_TRUE(done.Has("<a href='show.asp?name=xiaoming' target='_blank'>http://" +
                         url + "/show.asp?name=xiaoming</a>"))
        << done.text;
  }
  server::http::Response Send(server::http::Request& req) override {
    if (!client_) client_.emplace(serve_->port());  // one keep-alive connection
    return client_->Send(std::move(req));
  }
  Rows Query(std::string_view sql) {
    return StoreRows(pool_, "sqlite:" + (dir_.path() / "t.db").string(), sql);
  }

  TempDir dir_;
  data::SqlitePool pool_;
  std::optional<SmtpSink> sink_{std::in_place};
  std::optional<ServeProcess> serve_;
  std::optional<Client> client_;
};

// The mails of a run, the parts that change from run to run hidden.
std::string MailsText(const std::vector<Received>& mails) {
  static const std::pair<std::regex, std::string> kHidden[] = {
      {std::regex("(Date|Message-ID): [^\n]*"), "$1: (hidden)"},
      {std::regex("127\\.0\\.0\\.1:[0-9]+"), "127.0.0.1:(port)"},
      {std::regex("(code=|认证号码：)[0-9]{6}"), "$1(code)"},
      {std::regex("新密码：\\w{10}"), "新密码：(password)"}};
  std::string out;
  for (const Received& m : mails) {
    std::string text = MailText(m.data);
    for (const auto& [pattern, shown] : kHidden)
      text = std::regex_replace(text, pattern, shown);
    // The envelope's addresses in brackets, for a golden file breaks lines
    // before "<".
    const std::regex angle("<([^>]*)>");
    out += "## " + std::regex_replace(m.from + " -> " + m.to, angle, "[$1]") + "\n" +
           text + "\n";
  }
  return out;
}

// Registration mails the confirmation link, followed; the owner's
// notification is off by default, then on, with a subject that tries to add
// a header; the owner's reply mails the owner and the poster; a forgotten
// password mails a new one. Every mail is in
// tests/golden/server/mail_flow.txt.
TEST_F(MailFlowTest, ConfirmationNotificationsRepliesAndANewPassword) {
  std::smatch link;
  const std::string body = MailText(sink_->WaitFor(1).at(0).data);
  ASSERT_TRUE(std::regex_search(
      body, link, std::regex("/(confirm\\.asp\\?name=xiaoming&code=(\\d{6}))\n")))
      << body;
  EXPECT_EQ(Query("select crccode from user")[1][0], link[2].str());
  std::string visitor, owner;
  std::string wrong = link[2].str();
  wrong[0] = wrong[0] == '1' ? '2' : '1';
  EXPECT_TRUE(Visit(visitor, "confirm.asp?name=xiaoming&code=" + wrong).Has("认证失败"));
  const std::string_view hascrc = "select hascrc from user where name = 'xiaoming'";
  EXPECT_EQ(Query(hascrc)[0][0], "0");
  EXPECT_TRUE(Visit(visitor, link[1].str()).Has("已经认证！"));
  EXPECT_EQ(Query(hascrc)[0][0], "1");

  // A message to `book` with the subject and fields `more` ("subject&k=v").
  auto post = [&](std::string_view book, const std::string& more) {
    return Visit(
        visitor, FormAction(visitor, book),
        FieldsOf("guestname=小红&html=2&message=第一行\n第二行&subject=" + more));
  };
  const std::string asks = "&email=poster@example.com&replymail=1";
  EXPECT_TRUE(post("xiaoming", "没有通知" + asks).Has("留言添加成功"));
  Query("update user set sendinfo = '1' where name = 'xiaoming'");
  EXPECT_TRUE(post("xiaoming", "你好\r\nBcc: evil@x.example" + asks).Has("留言添加成功"));
  // A wrong password on the owner's reply stores and mails nothing.
  const std::string reply =
      "xiaoming&reply=1&replyid=" + Query("select max(id) from liuyan")[0][0];
  EXPECT_TRUE(post(reply, "回复&password=wrong99").Has("斑竹密码错误"));
  EXPECT_TRUE(post(reply, "回复&password=pass1234").Has("留言添加成功"));
  // A private reply is mailed to the owner only.
  EXPECT_TRUE(post(reply, "悄悄话&password=pass1234&priviteword=1").Has("留言添加成功"));
  EXPECT_EQ(Query("select count(*) from liuyan where whoinfo = '1'")[0][0], "2");

  // The new password is mailed, not shown, and opens the guestbook.
  EXPECT_TRUE(Visit(visitor, "lostpassword_check.asp?name=xiaoming",
                    {{"answer", "天蓝色的"}, {"idcard", "110101199001011234"}})
                  .Has("新密码已发送到你的电子邮箱。"));
  const auto mails = sink_->WaitFor(6);
  ExpectGolden("server/mail_flow.txt", MailsText(mails));
  std::smatch fresh;
  const std::string password_mail = MailText(mails.at(5).data);
  ASSERT_TRUE(std::regex_search(password_mail, fresh, std::regex("新密码：(\\w{10})\n")));
  LogIn(owner, "xiaoming", fresh[1].str());
  for (const auto& row : Query("select password from user"))
    EXPECT_TRUE(passwords::IsPasswordHash(row[0])) << row[0];

  // With the mail server gone, a post is still stored; the failed try is
  // logged, and the mail waits for the next.
  sink_.reset();
  EXPECT_TRUE(post("xiaoming", "没人收到").Has("留言添加成功"));
  constexpr std::string_view kRetry = "mail: try 1 to xm@example.com failed: ";
  for (int i = 0; i < 100 && serve_->Stderr().find(kRetry) == std::string::npos; ++i)
    std::this_thread::sleep_for(20ms);
  EXPECT_NE(serve_->Stderr().find(kRetry), std::string::npos) << serve_->Stderr();

  // An address the mail server would refuse gets no new password it could
  // never deliver: the page shows it.
  Query("update user set email = 'x m@example.com' where name = 'xiaoming'");
  EXPECT_TRUE(Visit(visitor, "lostpassword_check.asp?name=xiaoming",
                    {{"answer", "天蓝色的"}, {"idcard", "110101199001011234"}})
                  .Has("你的新密码是："));
}

}  // namespace
}  // namespace tb::testing
