<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>QUserHelp</name>
    <message numerus="yes">
        <source>%n cached file(s) could not be deleted; they may be in use.</source>
        <translation>
            <numerusform>%n cached file could not be deleted; it may be in use.</numerusform>
            <numerusform>%n cached files could not be deleted; they may be in use.</numerusform>
        </translation>
    </message>
</context>
</TS>
