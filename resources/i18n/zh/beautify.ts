<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>QPageBeautify</name>
    <message>
        <source>Skim tone</source>
        <translation>美白</translation>
    </message>
    <message>
        <source>Smooth</source>
        <translation>磨皮</translation>
    </message>
    <message>
        <source>Strenght</source>
        <translation>强度</translation>
    </message>
</context>
</TS>
