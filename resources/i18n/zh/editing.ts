<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>QImageCanvas</name>
    <message>
        <source>There is no picture to save yet.</source>
        <translation>还没有可以保存的图片。</translation>
    </message>
    <message>
        <source>The picture could not be encoded as %1.</source>
        <translation>无法将图片编码为 %1 格式。</translation>
    </message>
</context>
<context>
    <name>QMattingButton</name>
    <message>
        <source>Button</source>
        <translation>按钮</translation>
    </message>
</context>
</TS>
