<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>CWinApp</name>
    <message>
        <location filename="../../../app/shell/cwinapp.cpp" line="+97"/>
        <location line="+1"/>
        <source>Brisel</source>
        <translation>Brisel 智能抠图</translation>
    </message>
    <message>
        <location line="+24"/>
        <source>The software has been started, please do not run it again!</source>
        <translation>软件已经启动，请勿重复运行！</translation>
    </message>
</context>
</TS>
