<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>QEnterButton</name>
    <message>
        <source>Upload image</source>
        <translation>上传图片</translation>
    </message>
</context>
<context>
    <name>QFileChooser</name>
    <message>
        <source>Brisel cannot write to &quot;%1&quot;. Please choose another output folder.</source>
        <translation>Brisel 无法写入“%1”，请选择其他输出目录。</translation>
    </message>
    <message>
        <source>Select folder</source>
        <translation>选择文件夹</translation>
    </message>
    <message>
        <source>Images (%1)</source>
        <translation>图片 (%1)</translation>
    </message>
</context>
<context>
    <name>QImageFormatDialog</name>
    <message>
        <source>Hint</source>
        <translation>提示</translation>
    </message>
    <message>
        <source>Choose save format</source>
        <translation>选择保存格式</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>PNG supports transparent background, the file size is larger</source>
        <translation>PNG支持透明背景，文件较大</translation>
    </message>
    <message>
        <source>JPG does not support transparent background (the default background is white), the file size is small</source>
        <translation>JPG不支持透明背景（默认背景为白色），文件较小</translation>
    </message>
    <message>
        <source>WebP keeps the transparent background and is small; some older programs cannot open it</source>
        <translation>WebP 支持透明背景，文件较小；部分旧程序无法打开</translation>
    </message>
</context>
<context>
    <name>QSaveNotice</name>
    <message>
        <source>Open folder</source>
        <translation>打开文件夹</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
    <message>
        <source>Saved to %1</source>
        <translation>已保存到 %1</translation>
    </message>
    <message>
        <source>Saved to %1. The folder could not be opened in a file manager.</source>
        <translation>已保存到 %1。无法在文件管理器中打开该文件夹。</translation>
    </message>
</context>
<context>
    <name>QSetupBanner</name>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
    <message>
        <source>%1 Photos on a plain background can be cut out meanwhile.</source>
        <translation>%1在此期间可以先抠纯色背景的照片。</translation>
    </message>
</context>
</TS>
