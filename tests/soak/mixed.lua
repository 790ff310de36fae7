-- The visitors' side of the soak under wrk, in one fixed rotation: guestbook
-- pages, the guestbook list, searches and images; with the argument "login"
-- (`wrk ... -- login`), an owner's login with the right password as well.
--
-- A login moves the session to a new id, so each thread follows the latest
-- session cookie, as a browser does; run logins with one connection per
-- thread, or a request still carrying the old id would start one more
-- session.
local rotation = {
  "/show.asp?name=book1",
  "/show.asp?name=big",
  "/show.asp?name=big&Page=3",
  "/userlist.asp",
  "/show.asp?name=big&jsfs=1&keyword=needle",
  "/show.asp?name=big&jsfs=1&keyword=digest",
  "/pic/1.gif",
  "/pic/Boy1.gif",
}
local next_index = 0
local session

function init(args)
  if args[1] == "login" then table.insert(rotation, "login") end
end

function request()
  next_index = next_index % #rotation + 1
  local headers = {}
  if session then headers.Cookie = "TBSESSION=" .. session end
  if rotation[next_index] == "login" then
    headers["Content-Type"] = "application/x-www-form-urlencoded"
    return wrk.format("POST", "/admin_login.asp", headers, "name=book2&password=pass1234")
  end
  return wrk.format("GET", rotation[next_index], headers)
end

function response(status, headers, body)
  session = (headers["Set-Cookie"] or ""):match("^TBSESSION=([^;]+)") or session
end
