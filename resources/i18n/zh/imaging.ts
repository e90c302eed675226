<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>QImageFiles</name>
    <message>
        <source>Could not save &quot;%1&quot;: %2</source>
        <translation>无法保存“%1”：%2</translation>
    </message>
    <message>
        <source>The disk holding %1 is full: &quot;%2&quot; needs %3, only %4 are free.</source>
        <translation>%1 所在的磁盘已满：“%2”需要 %3，只剩 %4 可用。</translation>
    </message>
    <message>
        <source>HEIC photos need the package kimageformat-plugins (or qt-heif-image-plugin). Please install it and start Brisel again, or save the photo as JPG first.</source>
        <translation>打开 HEIC 照片需要安装 kimageformat-plugins（或 qt-heif-image-plugin）软件包。请安装后重新启动 Brisel，或先将照片另存为 JPG。</translation>
    </message>
</context>
<context>
    <name>QSaveFileWriter</name>
    <message>
        <source>The picture could not be encoded as %1.</source>
        <translation>无法将图片编码为 %1 格式。</translation>
    </message>
    <message>
        <source>Could not save &quot;%1&quot;: the folder &quot;%2&quot; cannot be created.</source>
        <translation>无法保存“%1”：无法创建文件夹“%2”。</translation>
    </message>
    <message>
        <source>Even at the lowest quality the picture takes %1 KB, more than the %2 KB set for the output file size. It was saved at that smallest size.</source>
        <translation>即使使用最低画质，图片仍有 %1 KB，超过了输出文件大小设置的 %2 KB。已按最小的大小保存。</translation>
    </message>
    <message>
        <source>Even at the best quality the picture takes only %1 KB, less than the %2 KB set for the output file size. It was saved at that nearest size.</source>
        <translation>即使使用最高画质，图片也只有 %1 KB，小于输出文件大小设置的 %2 KB。已按最接近的大小保存。</translation>
    </message>
</context>
</TS>
