-- The posting cycle under wrk: a visitor GETs the message form of guestbook
-- "big", then POSTs it to the form's action (which carries key2) with the
-- session cookie the form's answer set, and starts over.
--
-- wrk does not say which connection a response belongs to, so each visitor
-- (a "slot") is named in what the site echoes: its ly_name cookie comes back
-- as the form's guestname, and its numeric QQ field comes back in the post's
-- answer as the last Set-Cookie (ly_oicq, kept because savemyinfo=1). Every
-- answer queues that visitor's next request; a request with nothing queued
-- starts a new visitor.

local book = "big"
local ready = {}   -- requests to send, oldest first
local slots = {}   -- slot number -> { session = TBSESSION id }
local count = 0
-- Read by done() through thread:get, so global in each thread.
successes = 0
sent = 0

local message = ("Posting+through+the+message+form+under+load,+"):rep(5)
local success_mark = "URL=show.asp?name=" .. book

local threads = {}
function setup(thread)
  table.insert(threads, thread)
end

local function form(n)
  local cookie = "ly_name=wrk" .. n
  if slots[n].session then
    cookie = cookie .. "; TBSESSION=" .. slots[n].session
  end
  return wrk.format("GET", "/add.asp?name=" .. book, { Cookie = cookie })
end

local made = 0
local function post(n, action)
  made = made + 1
  local body = "guestname=wrk" .. n .. "&subject=load+test+post+" .. made ..
      "&message=" .. message .. "&html=2&font=Arial&fontsize=3" ..
      "&fontcolor=%23000000&oicq=" .. n .. "&savemyinfo=1"
  return wrk.format("POST", "/" .. action, {
    Cookie = "TBSESSION=" .. slots[n].session,
    ["Content-Type"] = "application/x-www-form-urlencoded",
  }, body)
end

function request()
  local queued = table.remove(ready, 1)
  if queued then
    if queued:sub(1, 4) == "POST" then
      sent = sent + 1
    end
    return queued
  end
  count = count + 1
  slots[count] = {}
  return form(count)
end

function response(status, headers, body)
  local cookie = headers["Set-Cookie"] or ""
  local n = tonumber(body:match('name="guestname" size="39" value="wrk(%d+)"') or "")
  if n and slots[n] then
    slots[n].session = cookie:match("TBSESSION=([^;]+)") or slots[n].session
    local action = body:match('action="(add_check%.asp%?[^"]*)"')
    if action and slots[n].session then
      table.insert(ready, post(n, action))
    else
      table.insert(ready, form(n))
    end
    return
  end
  if status == 200 and body:find(success_mark, 1, true) then
    successes = successes + 1
  end
  n = tonumber(cookie:match("^ly_oicq=(%d+)") or "")
  if n and slots[n] then
    table.insert(ready, form(n))
  end
end

function done(summary, latency, requests)
  local ok, posted = 0, 0
  for _, thread in ipairs(threads) do
    ok = ok + thread:get("successes")
    posted = posted + thread:get("sent")
  end
  io.write(string.format("posts: sent %d, success pages %d\n", posted, ok))
end
