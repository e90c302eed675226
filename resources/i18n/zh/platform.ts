<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>HRequest</name>
    <message>
        <source>The server answered with HTTP status %1; the service is having trouble, please try again later.</source>
        <translation>服务器返回 HTTP 状态 %1，服务暂时出现问题，请稍后再试。</translation>
    </message>
    <message>
        <source>The server answered with HTTP status %1.</source>
        <translation>服务器返回 HTTP 状态 %1。</translation>
    </message>
    <message>
        <source>No error.</source>
        <translation>没有错误。</translation>
    </message>
    <message>
        <source>Only http and https addresses can be requested.</source>
        <translation>只能访问 http 和 https 地址。</translation>
    </message>
    <message>
        <source>The web address is not valid.</source>
        <translation>网址无效。</translation>
    </message>
    <message>
        <source>The server did not answer in time. Please try again later.</source>
        <translation>服务器响应超时，请稍后再试。</translation>
    </message>
    <message>
        <source>The certificate bundle %1 could not be read.</source>
        <translation>无法读取证书文件 %1。</translation>
    </message>
    <message>
        <source>A secure connection to the server could not be made.</source>
        <translation>无法与服务器建立安全连接。</translation>
    </message>
    <message>
        <source>%1 MB</source>
        <translation>%1 MB</translation>
    </message>
    <message>
        <source>%1 bytes</source>
        <translation>%1 字节</translation>
    </message>
    <message>
        <source>The server&apos;s answer is larger than %1 and was refused.</source>
        <translation>服务器返回的数据超过 %1，已拒绝接收。</translation>
    </message>
    <message>
        <source>The server redirected the request too many times.</source>
        <translation>服务器重定向次数过多。</translation>
    </message>
    <message>
        <source>The connection to the server was interrupted. Please try again.</source>
        <translation>与服务器的连接已中断，请重试。</translation>
    </message>
    <message>
        <source>Network error %1: %2.</source>
        <translation>网络错误 %1：%2。</translation>
    </message>
    <message>
        <source>The server name %1 was not found. Please check the address and the network connection.</source>
        <translation>找不到服务器名称 %1。请检查地址和网络连接。</translation>
    </message>
    <message>
        <source>The server name was not found. Please check the address and the network connection.</source>
        <translation>找不到服务器名称。请检查地址和网络连接。</translation>
    </message>
    <message>
        <source>The proxy server&apos;s name was not found. Please check the proxy settings.</source>
        <translation>找不到代理服务器名称。请检查代理设置。</translation>
    </message>
    <message>
        <source>The matting service on this computer is not running (nothing answers at %1).</source>
        <translation>本机的抠图服务没有运行（%1 无应答）。</translation>
    </message>
    <message>
        <source>The connection to %1 was refused: the server is down or a firewall blocks it.</source>
        <translation>连接 %1 被拒绝：服务器未运行，或被防火墙阻止。</translation>
    </message>
    <message>
        <source>The connection to the server was refused: it is down or a firewall blocks it.</source>
        <translation>连接服务器被拒绝：服务器未运行，或被防火墙阻止。</translation>
    </message>
    <message>
        <source>The server&apos;s certificate is not trusted (self-signed, expired or issued for another name), so the connection was refused.</source>
        <translation>服务器证书不受信任（自签名、已过期或签发给其他名称），因此拒绝了连接。</translation>
    </message>
    <message>
        <source>The file to upload could not be read.</source>
        <translation>无法读取要上传的文件。</translation>
    </message>
</context>
<context>
    <name>QAboutDialog</name>
    <message>
        <source>About %1</source>
        <translation>关于%1</translation>
    </message>
    <message>
        <source>Version %1 (build %2)</source>
        <translation>版本 %1（构建 %2）</translation>
    </message>
    <message>
        <source>Removes the background from your photos.</source>
        <translation>一键去除照片背景。</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
</context>
<context>
    <name>QMsgBox</name>
    <message>
        <source>Yes</source>
        <translation>是</translation>
    </message>
    <message>
        <source>No</source>
        <translation>否</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
</context>
<context>
    <name>QUserHelp</name>
    <message>
        <source>Language</source>
        <translation>语言</translation>
    </message>
    <message>
        <source>Open output folder</source>
        <translation>打开输出目录</translation>
    </message>
    <message>
        <source>Open cache folder</source>
        <translation>打开缓存目录</translation>
    </message>
    <message>
        <source>Open log folder</source>
        <translation>打开日志目录</translation>
    </message>
    <message>
        <source>Clear cache</source>
        <translation>清除缓存</translation>
    </message>
    <message>
        <source>Check for updates</source>
        <translation>检查更新</translation>
    </message>
    <message>
        <source>About</source>
        <translation>关于</translation>
    </message>
    <message>
        <source>This copy of Brisel (version %1) does not check for updates online.</source>
        <translation>当前版本（%1）不支持在线检查更新。</translation>
    </message>
    <message>
        <source>Keyboard shortcuts</source>
        <translation>快捷键</translation>
    </message>
    <message>
        <source>The help page could not be opened in a browser.</source>
        <translation>无法在浏览器中打开帮助页面。</translation>
    </message>
    <message>
        <source>The folder %1 could not be opened in a file manager.</source>
        <translation>无法在文件管理器中打开文件夹 %1。</translation>
    </message>
</context>
</TS>
