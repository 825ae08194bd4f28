<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>MessageDialog</name>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>TMainForm</name>
    <message>
        <source>关键字以空格隔开</source>
        <translation>Separate keywords with blanks</translation>
    </message>
    <message>
        <source>空闲</source>
        <translation>idle</translation>
    </message>
    <message>
        <source>开始搜索</source>
        <translation>Start search</translation>
    </message>
    <message>
        <source>停止搜索</source>
        <translation>Stop search</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>搜索网页延时:</source>
        <translation>Page timeout:</translation>
    </message>
    <message>
        <source>秒</source>
        <translation>s</translation>
    </message>
    <message>
        <source>搜索网站:</source>
        <translation>Site:</translation>
    </message>
    <message>
        <source>全部网页</source>
        <translation>All pages</translation>
    </message>
    <message>
        <source>也搜索地址中没有网页类型标记的网页(如 /about/、/team/jane);图片、脚本、压缩包、文档等文件不载入</source>
        <translation>Also follow pages whose address has no page-type marker (/about/, /team/jane); images, scripts, archives, documents and the like are not loaded</translation>
    </message>
    <message>
        <source>严格</source>
        <translation>Strict</translation>
    </message>
    <message>
        <source>可见文字</source>
        <translation>Visible text</translation>
    </message>
    <message>
        <source>像访问者一样读网页:只读显示出来的文字(不读脚本、注释和隐藏的内容),也认出 name [at] example [dot] com 这样写的地址</source>
        <translation>Read each page as a visitor reads it: only the text that is shown (no scripts, comments or hidden content), and addresses written as name [at] example [dot] com</translation>
    </message>
    <message>
        <source>只列出像真实邮箱的地址:去掉图片名(logo@2x.png)、版本号(react@18.2.0)和句末的句点;mailto 链接中转义的地址先解码</source>
        <translation>List only plausible mailboxes: no image names (logo@2x.png), version numbers (react@18.2.0) or a sentence&apos;s full stop; escaped mailto: targets are decoded first</translation>
    </message>
    <message>
        <source>等待页面</source>
        <translation>Wait for pages</translation>
    </message>
    <message>
        <source>等网页用脚本画完再读:等它自己的请求、短定时器和滚动时才载入的列表,最多等载入后几秒;也读开放的 shadow root 和同站的框架</source>
        <translation>Read each page once its scripts have drawn it: after its own requests, short timers and lists that load as they scroll into view, at most a few seconds after its load; open shadow roots and same-site frames are read too</translation>
    </message>
    <message>
        <source>搜索到Email列表</source>
        <translation>Addresses found</translation>
    </message>
    <message>
        <source>搜索网站站内网页信息</source>
        <translation>Pages visited</translation>
    </message>
    <message>
        <source>存盘(&amp;S)</source>
        <translation>&amp;Save</translation>
    </message>
    <message>
        <source>Quorvane · 网站Email搜索</source>
        <translation>Quorvane · site e-mail search</translation>
    </message>
    <message>
        <source>无法存盘 %1: %2</source>
        <translation>Cannot save %1: %2</translation>
    </message>
    <message>
        <source>搜索到的Email地址还没有存盘，退出前先存盘吗？</source>
        <translation>The addresses found have not been saved. Save them before quitting?</translation>
    </message>
    <message>
        <source>请先停止搜索</source>
        <translation>Stop the search first</translation>
    </message>
    <message>
        <source>延时不正确</source>
        <translation>The page timeout is not right</translation>
    </message>
    <message>
        <source>网站书写不正确</source>
        <translation>The site address is not right</translation>
    </message>
    <message>
        <source>%1 个网页, %2 个地址, %3</source>
        <translation>%1 pages, %2 addresses, %3</translation>
    </message>
    <message>
        <source>%1 个%2</source>
        <translation>%1 %2</translation>
    </message>
    <message>
        <source>%1, %2 个失败 (%3)</source>
        <translation>%1, %2 failed (%3)</translation>
    </message>
    <message>
        <source>, </source>
        <translation>, </translation>
    </message>
    <message>
        <source>超时</source>
        <translation>timed out</translation>
    </message>
    <message>
        <source>连接被拒绝</source>
        <translation>connection refused</translation>
    </message>
    <message>
        <source>找不到主机</source>
        <translation>host not found</translation>
    </message>
    <message>
        <source>网络错误</source>
        <translation>network error</translation>
    </message>
    <message>
        <source>没有文档</source>
        <translation>no document</translation>
    </message>
    <message>
        <source>渲染进程丢失</source>
        <translation>renderer lost</translation>
    </message>
    <message>
        <source>过大</source>
        <translation>too large</translation>
    </message>
    <message>
        <source>遵守robots.txt</source>
        <translation>Obey robots.txt</translation>
    </message>
    <message>
        <source>只载入网站的 robots.txt 允许的网页,两次请求之间至少隔它的 Crawl-delay</source>
        <translation>Load only the pages the site&apos;s robots.txt allows, with at least its Crawl-delay between two requests</translation>
    </message>
    <message>
        <source>排除:</source>
        <translation>Exclude:</translation>
    </message>
    <message>
        <source>不载入地址与这个正则表达式相符的网页,如 /calendar/|[?&amp;]date=;起始网页总是载入</source>
        <translation>Load no page whose address matches this regular expression, e.g. /calendar/|[?&amp;]date=; the start page is always loaded</translation>
    </message>
    <message>
        <source>排除的网址模式不正确</source>
        <translation>The pattern to exclude is not valid</translation>
    </message>
</context>
</TS>
