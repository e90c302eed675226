<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh">
<context>
    <name>QOpenRequest</name>
    <message>
        <source>Removes the background of photos.</source>
        <translation>去除照片背景。</translation>
    </message>
    <message>
        <source>What the photos show: person, product or id (an ID photo).</source>
        <translation>照片内容：person（人像）、product（商品）或 id（证件照）。</translation>
    </message>
    <message>
        <source>One photo opens for editing; several open together in the batch workspace.</source>
        <translation>一张照片打开后直接编辑；多张照片一起在批量处理中打开。</translation>
    </message>
    <message>
        <source>Unknown photo type &quot;%1&quot;: use person, product or id.</source>
        <translation>未知的照片类型“%1”：请使用 person、product 或 id。</translation>
    </message>
</context>
</TS>
