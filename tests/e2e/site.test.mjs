// The site in a real browser: a visitor registers and posts, replies, the
// owner manages the guestbook, the superuser removes one, private messages
// stay private, and Chinese text survives the GB2312 round trip.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { adminPassword, screenshot, startSite } from './site.mjs';

let site;
before(async () => { site = await startSite(); });
after(async () => { await site?.stop(); });

const owner = { name: 'e2ebook', password: 'pass1234', title: '小明的留言本' };
const admin = { name: 'admin', password: adminPassword };

// Fills the inputs named in `fields`, clicks `button` and gives the page it
// leads to.
async function send(page, fields = {}, button = 'input[type=submit] >> nth=0') {
  for (const [name, value] of Object.entries(fields)) await page.fill(`input[name=${name}]`, value);
  await Promise.all([page.waitForNavigation(), page.click(button)]);
  return page.content();
}
// Clicks `link` and gives the new window it opens, loaded.
async function popup(page, link) {
  const [window] = await Promise.all([page.waitForEvent('popup'), page.click(link)]);
  await window.waitForLoadState();
  return window;
}

async function register(page, { name, password, title }) {
  await page.goto('index.asp');
  await page.selectOption('select[name=nettype]', { index: 1 });
  const done = await send(page, { name, password, password2: password, email: `${name}@example.com`,
    homepage: `http://${name}.example.com/`, titletop: title, question: '我最喜欢的颜色',
    answer: '天蓝色的', idcard: '110101199001011234' });
  assert.ok(done.includes(`恭喜！用户：${name}注册成功！`));
}

// A logged-in visitor finds the menu on admin.asp: whoever logs in as
// another logs off first.
async function login(page, { name, password }) {
  await page.goto('admin_log_off.asp');
  await page.goto('admin.asp');
  await send(page, { name, password });
}

// Posts through the message form already open in `page`.
async function post(page, { guestname, subject, message, ubb = false, private: hidden }) {
  await page.fill('textarea[name=message]', message);
  if (ubb) await page.check('input[name=html][value="2"]');
  if (hidden) await page.check('input[name=priviteword]');
  await send(page, subject === undefined ? { guestname } : { guestname, subject }, 'input[name=B1]');
}

test('a visitor registers, posts with an avatar, colour and bold text, and sees it', async () => {
  const home = await site.newPage();
  await register(home, owner);
  // The guestbook address opens in a new window.
  const page = await popup(home, `a[href="show.asp?name=${owner.name}"]`);
  assert.ok((await page.content()).includes(owner.title));

  await send(page, {}, `a[href="add.asp?name=${owner.name}"] >> nth=0`);
  await page.check('input[name=tx][value="3"]');
  await page.selectOption('select[name=fontcolor]', { index: 2 });
  await post(page, { guestname: '路人甲', subject: '你好世界', message: '[b]加粗的问候[/b]', ubb: true });
  // The success page brings the visitor back to the guestbook after 2 seconds.
  await page.waitForURL(/show\.asp\?name=/, { timeout: 10000 });
  const block = page.locator('table', { hasText: '你好世界' }).last();
  assert.equal(await page.locator('b', { hasText: '加粗的问候' }).count(), 1);
  assert.ok(await page.locator('img[src$="3.gif"]').count() >= 1);
  assert.match(await block.innerText(), /127\.0\.\*\.\*/);
  await screenshot(page, '1-visitor-post');
});

test('a reply arrives with the subject filled in and is indented under its parent', async () => {
  const page = await site.newPage();
  await page.goto(`show.asp?name=${owner.name}`);
  await send(page, {}, 'a[href*="reply=1"] >> nth=0');
  assert.equal(await page.inputValue('input[name=subject]'), '回复：你好世界');
  await post(page, { guestname: '路人乙', message: '回复的内容' });
  await page.waitForURL(/show\.asp\?name=/, { timeout: 10000 });
  const parent = await page.getByText('加粗的问候').boundingBox();
  const reply = await page.getByText('回复的内容').boundingBox();
  assert.ok(reply.x > parent.x + 10, `reply at ${reply.x}, parent at ${parent.x}`);
  await screenshot(page, '2-reply');
});

// Its Chinese text, typed into the form, comes back identical to the owner.
test('a private message is hidden from visitors and shown to the owner', async () => {
  const secret = '只给主人看的话：汉字、标点“引号”和符号—完毕';
  const visitor = await site.newPage();
  await visitor.goto(`add.asp?name=${owner.name}`);
  await post(visitor, { guestname: '神秘人', subject: '悄悄说', message: secret, private: true });
  await visitor.goto(`show.asp?name=${owner.name}`);
  assert.ok((await visitor.content()).includes('悄悄话。。。'));
  assert.ok(!(await visitor.content()).includes('只给主人看的话'));

  const ownerPage = await site.newPage();
  await login(ownerPage, owner);
  await ownerPage.goto(`show.asp?name=${owner.name}`);
  assert.ok((await ownerPage.content()).includes(secret));
  await screenshot(ownerPage, '3-private-owner');
});

test('the owner changes the settings, deletes a message and logs off', async () => {
  const page = await site.newPage();
  await login(page, owner);
  await screenshot(page, '4-owner-menu');
  // The menu opens its pages in new windows. The settings forms sent as the
  // pages wrote them change nothing (the account form wants the password);
  // then the basic settings change the title and the paging.
  let form;
  for (const path of ['admin_jiemian3.asp', 'admin_jiemian2.asp', 'admin_jiemian.asp']) {
    form = await popup(page, `a[href="${path}"]`);
    const before = await form.content();
    assert.ok(!before.includes('没有权限'), path);
    if (path === 'admin_jiemian3.asp') continue;
    await send(form);
    await form.goto(path);
    assert.equal(await form.content(), before, path);
  }
  await send(form, { titletop: '改过的标题', infolistno: '2' });
  await page.goto(`show.asp?name=${owner.name}`);
  assert.ok((await page.content()).includes('改过的标题'));
  assert.equal(await page.locator('input[name=lydelno]').count(), 2);
  const total = async () => Number((await page.content()).match(/现有留言(\d+)条/)[1]);
  const before = await total();

  const id = await page.getAttribute('input[name=lydelno] >> nth=0', 'value');
  await page.check(`input[name=lydelno][value="${id}"]`);
  await send(page, {}, 'input[name=myform]');
  await page.goto(`show.asp?name=${owner.name}`);
  assert.equal(await total(), before - 1);
  assert.equal(await page.locator(`input[name=lydelno][value="${id}"]`).count(), 0);

  await page.goto('admin.asp');
  await send(page, {}, 'a[href^="admin_log_off.asp"]');
  await page.goto('admin_jiemian.asp');
  assert.ok((await page.content()).includes('用户操作超时，请重新登陆，或没有权限！'));
  await screenshot(page, '5-owner-logged-off');
});

test('the superuser deletes a guestbook from the list', async () => {
  const visitor = await site.newPage();
  await register(visitor, { name: 'doomed', password: 'pass5678', title: '要删除的留言本' });
  const page = await site.newPage();
  await login(page, admin);
  await page.goto('GETPASS.ASP');
  assert.ok((await send(page, { name: 'doomed' })).includes('>pass5678</td>'));
  await page.goto('userlist.asp');
  assert.ok((await page.content()).includes('要删除的留言本'));
  // The deletion window reloads the list that opened it.
  await Promise.all([page.waitForEvent('load'),
    popup(page, 'a[href="javascript:deluser(\'doomed\')"]')]);
  assert.ok(!(await page.content()).includes('要删除的留言本'));
  await screenshot(page, '6-superuser-list');
});

test('an owner changes the password, recovers it and deletes the guestbook through the forms', async () => {
  const book = { name: 'forgetful', password: 'pass1357', title: '健忘的留言本' };
  const page = await site.newPage();
  await register(page, book);
  await login(page, book);
  await page.goto('admin_jiemian3.asp');
  assert.ok((await send(page, { oldpassword: book.password, password: 'newpass9', password2: 'newpass9' }))
    .includes('修改信息成功！'));
  // The hint fields left empty kept what was stored.
  await page.goto('lostpassword.asp');
  await send(page, { name: book.name });
  assert.ok((await send(page, { answer: '天蓝色的', idcard: '110101199001011234' })).includes('你的密码是：newpass9'));
  await page.goto('userdelme.asp');
  assert.ok((await send(page, { name: book.name, password: 'newpass9', email: `${book.name}@example.com` }))
    .includes(`用户：${book.name}注销成功！`));
  await page.goto(`show.asp?name=${book.name}`);
  assert.ok((await page.content()).includes('没有这个用户'));
});

// How wide the page is against its window, and any text drawn below 12 px.
function measure() {
  const small = [];
  for (const el of document.querySelectorAll('body *')) {
    const own = [...el.childNodes].some((n) => n.nodeType === 3 && n.textContent.trim());
    const size = parseFloat(getComputedStyle(el).fontSize);
    if (own && size < 12) small.push(`${el.tagName} ${size}px ${el.textContent.trim().slice(0, 20)}`);
  }
  return { scroll: document.documentElement.scrollWidth, width: window.innerWidth, small };
}

test('every page of the walk fits a phone 390 px wide, its text 12 px or more', async () => {
  const book = { name: 'phonebook', password: 'pass1234', title: '手机上的留言板' };
  const setup = await site.newPage();
  await register(setup, book);
  await setup.goto(`add.asp?name=${book.name}`);
  await post(setup, { guestname: '访客', subject: '很长的地址', ubb: true,
                      message: `看看：http://example.com/${'a'.repeat(300)}` });
  await setup.goto(`show.asp?name=${book.name}`);
  await send(setup, {}, 'a:has-text("回复")');
  await post(setup, { guestname: '回复者', message: '回复的内容' });

  // The walk as a visitor, the owner and the superuser; the first page of
  // each part is kept as a screenshot.
  const parts = [
    ['guestbook', null, [`show.asp?name=${book.name}`, 'index.asp', `add.asp?name=${book.name}`,
      'admin.asp', 'userlist.asp']],
    ['menu', book, ['admin.asp', 'admin_jiemian.asp', 'admin_jiemian2.asp', 'admin_jiemian3.asp']],
    ['tools', admin, ['admin_tools_mail.asp', 'GETPASS.ASP', 'admin_tools_db.asp']],
  ];
  for (const width of [390, 1280]) {
    const page = await site.newPage({ viewport: { width, height: 800 } });
    for (const [shot, who, paths] of parts) {
      if (who) await login(page, who);
      for (const path of paths) {
        await page.goto(path);
        const m = await page.evaluate(measure);
        assert.ok(m.scroll <= m.width, `${path} at ${width}: ${m.scroll} px wide`);
        assert.deepEqual(m.small, [], `${path} at ${width}`);
        if (path === paths[0]) await screenshot(page, `9-${shot}-${width}`);
      }
    }
  }
});
