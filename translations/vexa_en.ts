<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ru">
<context>
    <name>TFormMain</name>
    <message>
        <source>Настройка модуля VEXA</source>
        <translation>VEXA Module Setup</translation>
    </message>
    <message>
        <source>Версия ПО VEXA</source>
        <translation>VEXA firmware</translation>
    </message>
    <message>
        <source>Номер модуля VEXA</source>
        <translation>VEXA serial no.</translation>
    </message>
    <message>
        <source>Год выпуска  VEXA</source>
        <translation>VEXA year of make</translation>
    </message>
    <message>
        <source>Текущее состояние каналов измерения</source>
        <translation>Measuring channels, current state</translation>
    </message>
    <message>
        <source>Выход за уставки</source>
        <translation>Set-point exceeded</translation>
    </message>
    <message>
        <source>Значение параметра</source>
        <translation>Measured value</translation>
    </message>
    <message>
        <source>Ток датчика, мА</source>
        <translation>Sensor current, mA</translation>
    </message>
    <message>
        <source>Значение АЦП</source>
        <translation>ADC value</translation>
    </message>
    <message>
        <source>Значение ЦАП</source>
        <translation>DAC value</translation>
    </message>
    <message>
        <source>Ошибка параметров</source>
        <translation>Settings error</translation>
    </message>
    <message>
        <source>Канал %1</source>
        <translation>Channel %1</translation>
    </message>
    <message>
        <source>Ток датчика ниже допустимого уровня</source>
        <translation>Sensor current below its lower limit</translation>
    </message>
    <message>
        <source>Ток датчика выше допустимого уровня</source>
        <translation>Sensor current above its upper limit</translation>
    </message>
    <message>
        <source>Ошибка контрольной суммы</source>
        <translation>Checksum error</translation>
    </message>
    <message>
        <source>Загрузка параметров из резервной секции</source>
        <translation>Settings loaded from the backup section</translation>
    </message>
    <message>
        <source>Текущее состояние модуля</source>
        <translation>Module, current state</translation>
    </message>
    <message>
        <source>Логические выходы</source>
        <translation>Logic outputs</translation>
    </message>
    <message>
        <source>Вых. %1</source>
        <translation>Out %1</translation>
    </message>
    <message>
        <source>Сигнализация</source>
        <translation>Alarms</translation>
    </message>
    <message>
        <source>Коррекция параметров</source>
        <translation>Settings corrected</translation>
    </message>
    <message>
        <source>Ошибка  CAN интерф.</source>
        <translation>CAN interface error</translation>
    </message>
    <message>
        <source>Старт. блокир. выходов</source>
        <translation>Outputs blocked at start</translation>
    </message>
    <message>
        <source>Блокировка выходов</source>
        <translation>Outputs blocked</translation>
    </message>
    <message>
        <source>Блокировка работы VEXA</source>
        <translation>VEXA operation blocked</translation>
    </message>
    <message>
        <source>Файл</source>
        <translation>File</translation>
    </message>
    <message>
        <source>Открыть</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>Сохранить</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>Текстовый отчет</source>
        <translation>Text report</translation>
    </message>
    <message>
        <source>Сброс формы</source>
        <translation>Reset form</translation>
    </message>
    <message>
        <source>Действие</source>
        <translation>Actions</translation>
    </message>
    <message>
        <source>Сброс VEXA</source>
        <translation>Reset VEXA</translation>
    </message>
    <message>
        <source>Прочитать настройки из VEXA</source>
        <translation>Read settings from VEXA</translation>
    </message>
    <message>
        <source>Загрузить настройки в VEXA</source>
        <translation>Write settings to VEXA</translation>
    </message>
    <message>
        <source>Сохранить настройки в памяти VEXA</source>
        <translation>Store settings in VEXA memory</translation>
    </message>
    <message>
        <source>Настройка</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>Параметры каналов измерения</source>
        <translation>Measuring channels</translation>
    </message>
    <message>
        <source>Параметры интерфейсов связи</source>
        <translation>Communication interfaces</translation>
    </message>
    <message>
        <source>Логическая сигнализация</source>
        <translation>Logic signalling</translation>
    </message>
    <message>
        <source>Индикация варианта &apos;Tenu&apos;</source>
        <translation>&apos;Tenu&apos; variant indication</translation>
    </message>
    <message>
        <source>Соединение</source>
        <translation>Connection</translation>
    </message>
    <message>
        <source>Соединить</source>
        <translation>Connect</translation>
    </message>
    <message>
        <source>Отключить</source>
        <translation>Disconnect</translation>
    </message>
    <message>
        <source>Выбор COM порта</source>
        <translation>COM port</translation>
    </message>
    <message>
        <source>Имитатор модуля VEXA</source>
        <translation>VEXA module simulator</translation>
    </message>
    <message>
        <source>Другой порт…</source>
        <translation>Other port…</translation>
    </message>
    <message>
        <source>Вид</source>
        <translation>View</translation>
    </message>
    <message>
        <source>Состояние индикации</source>
        <translation>Line monitor</translation>
    </message>
    <message>
        <source>Диаграмма</source>
        <translation>Chart</translation>
    </message>
    <message>
        <source>Закрыть все вспомогательные окна</source>
        <translation>Close all auxiliary windows</translation>
    </message>
    <message>
        <source>Помощь</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>Правила работы</source>
        <translation>User&apos;s guide</translation>
    </message>
    <message>
        <source>О программе ...</source>
        <translation>About ...</translation>
    </message>
    <message>
        <source>Другой порт</source>
        <translation>Other port</translation>
    </message>
    <message>
        <source>Имитатор модуля VEXA не запущен: %1</source>
        <translation>The VEXA module simulator did not start: %1</translation>
    </message>
    <message>
        <source>О программе</source>
        <translation>About</translation>
    </message>
    <message>
        <source>Сбросить форму в исходное состояние?</source>
        <translation>Reset the form to its initial state?</translation>
    </message>
    <message>
        <source>Файлы настройки VEXA (*.vxa)|*.vxa|Все файлы (*.*)|*.*</source>
        <translation>VEXA settings files (*.vxa)|*.vxa|All files (*.*)|*.*</translation>
    </message>
    <message>
        <source>Идет загрузка параметров в модуль. Закрыть программу?</source>
        <translation>Settings are being written to the module. Close the program?</translation>
    </message>
    <message>
        <source>Изменения настроек не загружены в модуль и не сохранены в файл. Закрыть программу?</source>
        <translation>The changed settings have been neither written to the module nor saved to a file. Close the program?</translation>
    </message>
</context>
</TS>
