<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>QMainWidget</name>
    <message numerus="yes">
        <source>%n cached file(s) could not be deleted; they may be in use.</source>
        <translation>
            <numerusform>%n cached file could not be deleted; it may be in use.</numerusform>
            <numerusform>%n cached files could not be deleted; they may be in use.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n cached cut-out(s) deleted, %1 freed.</source>
        <translation>
            <numerusform>%n cached cut-out deleted, %1 freed.</numerusform>
            <numerusform>%n cached cut-outs deleted, %1 freed.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>QOpenWith</name>
    <message numerus="yes">
        <source>Only the first %1 of %n photo(s) were opened.</source>
        <translation>
            <numerusform>Only the first %1 of %n photo was opened.</numerusform>
            <numerusform>Only the first %1 of %n photos were opened.</numerusform>
        </translation>
    </message>
</context>
</TS>
