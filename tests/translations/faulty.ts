<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ru">
<context>
    <name>Test</name>
    <message>
        <source>Переведено %1</source>
        <translation>Translated %1</translation>
    </message>
    <message>
        <source>Файл %1.</source>
        <translation>File %1.</translation>
    </message>
    <message>
        <source>Новый текст</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Число %11.6g мс</source>
        <translation>Number %11.6f ms</translation>
    </message>
</context>
</TS>
