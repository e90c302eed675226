<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>QIdFraming</name>
    <message numerus="yes">
        <source>%n faces found: an ID photo shows one person. The largest face is framed.</source>
        <translation>
            <numerusform>%n face found: an ID photo shows one person. The largest face is framed.</numerusform>
            <numerusform>%n faces found: an ID photo shows one person. The largest face is framed.</numerusform>
        </translation>
    </message>
</context>
</TS>
