<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>QBatchSaver</name>
    <message numerus="yes">
        <source>%n photo(s) could not be saved:</source>
        <translation>
            <numerusform>%n photo could not be saved:</numerusform>
            <numerusform>%n photos could not be saved:</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n photo(s) without a result were skipped.</source>
        <translation>
            <numerusform>%n photo without a result was skipped.</numerusform>
            <numerusform>%n photos without a result were skipped.</numerusform>
        </translation>
    </message>
</context>
</TS>
