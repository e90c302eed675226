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
</TS>
