// The help pages of the owner's settings, and the pages the component sends
// a visitor to when it refuses a request.
#include <string>

#include "server/pages/frame.h"
#include "server/pages/pages.h"

namespace tb::server::pages {
namespace {

constexpr std::string_view kHelp1 = R"html(<h2>帮助：留言板基本资料</h2>
<p><b>留言板(文字)标题</b>：显示在留言板顶部的标题，2到100个字符。可以使用html代码改变颜色、大小和字体，例如：</p>
<p><code>&lt;font color="#008000" face="楷体_GB2312" size="5"&gt;我的留言板&lt;/font&gt;</code></p>
<p>显示为：<font color="#008000" face="楷体_GB2312" size="5">我的留言板</font></p>
<p><b>留言板顶部（图象）标题</b>：用一幅图象代替文字标题，填写图象的完整网址，必须以 http:// 或 https:// 开头，建议不超过468 X 60 像素点。不用图象时可以不填写。</p>
<p><b>标题显示方式</b>：选择在留言板顶部显示文字标题还是图象标题。</p>
<p><b>每页显示的留言数</b>：1到20之间的数字，填写其他内容时按10个计算。</p>
<p><b>留言方式</b>：访客发表留言时可以使用的格式。文本方式只显示文字；Html方式允许访客使用html代码；UBB方式允许访客使用 [b]粗体[/b] 这样的UBB代码。</p>
<p><b>留言板背景图象</b>：留言板页面的背景图象的完整网址，可以不填写。</p>
<p><b>是否每个留言都发给版主</b>：选择“是”时，新留言转发到版主的电子邮件（本站没有设置邮件服务时不发送）。</p>
<p><b>网站类型</b>和<b>版主网站网址</b>：你的网站的分类和网址，网址必须以 http:// 或 https:// 开头。</p>
<p align="center"><a href="javascript:window.close();">关闭窗口</a></p>
)html";

constexpr std::string_view kHelp2 = R"html(<h2>帮助：发表留言界面的提示信息</h2>
<p>访客发表留言时，每个输入框前面显示一段提示文字，例如“姓名”“电子邮件：”“留言主题：”。你可以把这些提示换成自己的文字。</p>
<p>提示信息支持html代码，可以修改颜色、大小和字体，例如要把“姓名”显示为绿色楷体的“网名”，可以输入：</p>
<p><code>&lt;font color="#008000" face="楷体_GB2312" size="3"&gt;网名&lt;/font&gt;</code></p>
<p>提示信息中的英文单引号会被去掉。不填写时，留言页面显示默认的提示文字。</p>
<p align="center"><a href="javascript:window.close();">关闭窗口</a></p>
)html";

constexpr std::string_view kHelp3 = R"html(<h2>帮助：发表留言界面配置</h2>
<p>选中的项目会出现在访客发表留言的页面上，没有选中的不出现。姓名、留言主题和留言内容总是出现。</p>
<table class="form" border="1" bordercolorlight="#008000" bordercolordark="#FFFFFF">
<tr><td>电子邮件</td><td>访客的电子邮件地址</td></tr>
<tr><td>主页</td><td>访客的主页网址</td></tr>
<tr><td>来自国家和省选择</td><td>国家和省市的选择列表</td></tr>
<tr><td>来自地方</td><td>访客所在的城市或地区</td></tr>
<tr><td>QQ号码</td><td>访客的QQ号码</td></tr>
<tr><td>头像选择</td><td>二十个头像，访客可以选择一个</td></tr>
<tr><td>字体选择</td><td>文本方式留言的字体</td></tr>
<tr><td>字体颜色选择</td><td>文本方式留言的颜色</td></tr>
<tr><td>字体大小</td><td>文本方式留言的字号</td></tr>
<tr><td>转发邮件</td><td>有人回复时是否通知留言者</td></tr>
<tr><td>悄悄话</td><td>只有版主才能看到的留言</td></tr>
<tr><td>斑竹确认</td><td>版主填写密码，留言显示为“斑竹发表”</td></tr>
</table>
<p align="center"><a href="javascript:window.close();">关闭窗口</a></p>
)html";

// A bad or unknown guestbook name: the list shows the guestbooks there are.
constexpr std::string_view kUserNameErrorLinks =
    "<a href=\"javascript:history.go(-1);\">返回上一步</a> | "
    "<a href=\"userlist.asp\">查看留言板列表</a> | "
    "<a href=\"index.asp\">返回首页</a>";

// A second post from one visit of the form. Going back would show the old
// form again, whose key is spent; the form page itself (the page the post
// came from) gives a fresh one, so the link opens it anew when it is known.
constexpr std::string_view kGuanshuiLinks =
    "<a id=\"reopen\" href=\"javascript:history.go(-1);\">重新打开留言页面</a> | "
    "<a href=\"index.asp\">返回首页</a>";
constexpr std::string_view kReopenFormScript = R"html(<script>
if (/\/add\.asp\?/i.test(document.referrer)) {
  document.getElementById("reopen").href = document.referrer;
}
</script>
)html";

void Static(PageEnv& env, std::string_view subtitle, std::string_view body) {
  WriteHead(env, subtitle);
  Write(env, body);
  WriteFoot(env);
}

}  // namespace

void Help1Page(PageEnv& env) { Static(env, "帮助", kHelp1); }
void Help2Page(PageEnv& env) { Static(env, "帮助", kHelp2); }
void Help3Page(PageEnv& env) { Static(env, "帮助", kHelp3); }

void UserNameErrorPage(PageEnv& env) {
  Static(env, "用户名错误",
         Notice("你要访问的留言板不存在，或者用户名不正确。"
                "用户名由3到15个字母、数字或下划线组成。",
                "找不到这个留言板", kUserNameErrorLinks));
}

void GuanshuiPage(PageEnv& env) {
  Static(env, "请不要重复发表",
         Notice("请不要重复发表留言！打开一次留言页面只能发表一条留言，"
                "请重新打开留言页面后再发表。<br>"
                "在留言页面停留太久以后再发表，也会看到这个提示。",
                "这次提交没有保存", kGuanshuiLinks) +
             std::string(kReopenFormScript));
}

void FeifaPage(PageEnv& env) {
  Static(env, "留言含有禁止的词语",
         Notice("你的留言主题或内容中含有本站不允许的词语，留言没有发表。"
                "请返回修改后重新发表。",
                "留言没有发表", kBackLinks));
}

}  // namespace tb::server::pages
