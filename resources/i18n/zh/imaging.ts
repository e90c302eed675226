<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>QImageFiles</name>
    <message>
        <source>Could not save &quot;%1&quot;: %2</source>
        <translation>无法保存“%1”：%2</translation>
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
</context>
</TS>
