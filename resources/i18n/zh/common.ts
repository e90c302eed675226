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
</TS>
