<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ru">
<context>
    <name>Dialogs</name>
    <message>
        <source>Принять</source>
        <translation>Accept</translation>
    </message>
    <message>
        <source>Отменить</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Ошибка параметров</source>
        <translation>Settings error</translation>
    </message>
    <message>
        <source>Коррекция параметров</source>
        <translation>Settings corrected</translation>
    </message>
    <message>
        <source>Неиспр. датчика мин.</source>
        <translation>Sensor fault, low</translation>
    </message>
    <message>
        <source>Неиспр. датчика макс.</source>
        <translation>Sensor fault, high</translation>
    </message>
    <message>
        <source>Выход за уставку 1</source>
        <translation>Set-point 1 crossed</translation>
    </message>
    <message>
        <source>Выход за уставку 2</source>
        <translation>Set-point 2 crossed</translation>
    </message>
    <message>
        <source>Выход за уставку 3</source>
        <translation>Set-point 3 crossed</translation>
    </message>
    <message>
        <source>Выход за уставку 4</source>
        <translation>Set-point 4 crossed</translation>
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
        <source>Резерв</source>
        <translation>Spare</translation>
    </message>
    <message>
        <source>Блокир. работы VEXA</source>
        <translation>VEXA operation blocked</translation>
    </message>
</context>
<context>
    <name>FieldWords</name>
    <message>
        <source>да</source>
        <translation>yes</translation>
    </message>
    <message>
        <source>нет</source>
        <translation>no</translation>
    </message>
    <message>
        <source>ни одного</source>
        <translation>none</translation>
    </message>
    <message>
        <source>не показывается в диалогах</source>
        <translation>not shown in the dialogs</translation>
    </message>
</context>
<context>
    <name>JournalModel</name>
    <message>
        <source>выполнено</source>
        <translation>done</translation>
    </message>
    <message>
        <source>, совпадает</source>
        <translation>, matches</translation>
    </message>
    <message>
        <source>, различий: %1</source>
        <translation>, differences: %1</translation>
    </message>
    <message>
        <source>Время</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>Действие</source>
        <translation>Action</translation>
    </message>
    <message>
        <source>Модуль</source>
        <translation>Module</translation>
    </message>
    <message>
        <source>Год</source>
        <translation>Year</translation>
    </message>
    <message>
        <source>Версия ПО</source>
        <translation>Firmware</translation>
    </message>
    <message>
        <source>Результат</source>
        <translation>Result</translation>
    </message>
    <message>
        <source>Порт</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>Файл настроек</source>
        <translation>Settings file</translation>
    </message>
    <message>
        <source>Программа</source>
        <translation>Program</translation>
    </message>
    <message>
        <source>Пользователь</source>
        <translation>User</translation>
    </message>
</context>
<context>
    <name>Messages</name>
    <message>
        <source>Данные формы были изменены. Принять изменения?</source>
        <translation>The values in this dialog have changed. Accept the changes?</translation>
    </message>
    <message>
        <source>Результаты</source>
        <translation>Results</translation>
    </message>
    <message>
        <source>Необходимо заблокировать логические выходы!</source>
        <translation>The logic outputs must be blocked first!</translation>
    </message>
    <message>
        <source>Текстовые файлы (*.txt)|*.txt|Все файлы (*.*)|*.*</source>
        <translation>Text files (*.txt)|*.txt|All files (*.*)|*.*</translation>
    </message>
    <message>
        <source>ответ</source>
        <translation>answered</translation>
    </message>
    <message>
        <source>нет ответа</source>
        <translation>no answer</translation>
    </message>
    <message>
        <source>обрезан</source>
        <translation>truncated</translation>
    </message>
    <message>
        <source>искажен или чужой</source>
        <translation>corrupt or mismatched</translation>
    </message>
    <message>
        <source>отказ</source>
        <translation>refused</translation>
    </message>
    <message>
        <source>  %.1f мс</source>
        <translation>  %.1f ms</translation>
    </message>
    <message>
        <source>Ошибка связи</source>
        <translation>Link error</translation>
    </message>
    <message>
        <source>Нет ответа от модуля Ixor</source>
        <translation>No answer from the Ixor adapter</translation>
    </message>
    <message>
        <source>Режим работы не поддерживается модулем Ixor</source>
        <translation>The Ixor adapter does not support this mode</translation>
    </message>
    <message>
        <source>Модуль VEXA не обнаружен.</source>
        <translation>No VEXA module found.</translation>
    </message>
    <message>
        <source>Сообщение</source>
        <translation>Message</translation>
    </message>
    <message>
        <source>Параметры работы из модуля прочитаны.</source>
        <translation>The settings have been read from the module.</translation>
    </message>
    <message>
        <source>Параметры работы в модуль загружены.</source>
        <translation>The settings have been written to the module.</translation>
    </message>
    <message>
        <source>Внимание!</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>Выполнить сброс модуля?</source>
        <translation>Reset the module?</translation>
    </message>
    <message>
        <source>Выполнить загрузку параметров в модуль VEXA?</source>
        <translation>Write the settings to the VEXA module?</translation>
    </message>
    <message>
        <source>Выполнить сохранение текущих настроек VEXA в энергонезависимой памяти?</source>
        <translation>Store the current VEXA settings in non-volatile memory?</translation>
    </message>
    <message>
        <source>При загрузке параметров логические выходы должны быть заблокированы!</source>
        <translation>The logic outputs must be blocked while the settings are written!</translation>
    </message>
    <message>
        <source>При записи параметров логические выходы должны быть заблокированы!</source>
        <translation>The logic outputs must be blocked while the settings are stored!</translation>
    </message>
    <message>
        <source>Вычисления коэффициентов по каналу измерения %1u 
<byte value="xd"/></source>
        <translation>Coefficients of measuring channel %1u 
<byte value="xd"/></translation>
    </message>
    <message>
        <source>   Ток (напряжение)    датчика  B = %11.6g 
<byte value="xd"/></source>
        <translation>   Sensor current (voltage)     B = %11.6g 
<byte value="xd"/></translation>
    </message>
    <message>
        <source>   Значение параметра           А = %11.6g / B = %11.6g 
<byte value="xd"/></source>
        <translation>   Measured value               A = %11.6g / B = %11.6g 
<byte value="xd"/></translation>
    </message>
    <message>
        <source>   Унифицированный выход        А = %11.6g / B = %11.6g 
<byte value="xd"/></source>
        <translation>   Analogue output              A = %11.6g / B = %11.6g 
<byte value="xd"/></translation>
    </message>
    <message>
        <source>
<byte value="xd"/>коэффициенты добавлены в форму параметров канала измерения.</source>
        <translation>
<byte value="xd"/>The coefficients have been put into the channels dialog.</translation>
    </message>
    <message>
        <source>
<byte value="xd"/>Ни один из параметров не был вычислен. 
<byte value="xd"/>Проверьте значения параметров в форме. 
<byte value="xd"/>Значения, выделенные красным цветом, в расчетах не участвуют. 
<byte value="xd"/></source>
        <translation>
<byte value="xd"/>None of the coefficients was computed. 
<byte value="xd"/>Check the values in the calculator. 
<byte value="xd"/>Values marked in red are not used in the calculation. 
<byte value="xd"/></translation>
    </message>
    <message>
        <source>Неверное значение времени реакции выхода за уставки</source>
        <translation>Invalid set-point response time</translation>
    </message>
    <message>
        <source>
<byte value="xd"/>Неверное значение минимального уровня АЦП</source>
        <translation>
<byte value="xd"/>Invalid minimum ADC level</translation>
    </message>
    <message>
        <source>
<byte value="xd"/>Неверное значение максимального уровня АЦП</source>
        <translation>
<byte value="xd"/>Invalid maximum ADC level</translation>
    </message>
    <message>
        <source>
<byte value="xd"/>Минимальный уровень АЦП не должен быть больше максимального</source>
        <translation>
<byte value="xd"/>The minimum ADC level must not be above the maximum</translation>
    </message>
    <message>
        <source>
<byte value="xd"/>Неверное значение гистерезиса уровня АЦП</source>
        <translation>
<byte value="xd"/>Invalid ADC level hysteresis</translation>
    </message>
    <message>
        <source>
<byte value="xd"/>Разница между мин. и максим. уровнем АЦП не должно быть больше гистерезиса</source>
        <translation>
<byte value="xd"/>The difference between the maximum and minimum ADC levels must not be less than the hysteresis</translation>
    </message>
    <message>
        <source>
<byte value="xd"/>Неверное значение времени реакции на выход датчика из строя</source>
        <translation>
<byte value="xd"/>Invalid sensor fault response time</translation>
    </message>
    <message>
        <source>
<byte value="xd"/>Неверное значение смещения нуля аналогового выхода</source>
        <translation>
<byte value="xd"/>Invalid analogue output zero offset</translation>
    </message>
    <message>
        <source>Файл не удается создать.</source>
        <translation>The file cannot be created.</translation>
    </message>
    <message>
        <source>Файл не удается открыть.</source>
        <translation>The file cannot be opened.</translation>
    </message>
    <message>
        <source>Файл поврежден, загрузка данных не выполнена.</source>
        <translation>The file is damaged; nothing was loaded.</translation>
    </message>
    <message>
        <source>Ошибка!</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>Порт занят другой программой.</source>
        <translation>The port is in use by another program.</translation>
    </message>
    <message>
        <source>Нет прав на доступ к порту: добавьте пользователя в группу владельца устройства (обычно dialout) и войдите в систему заново.</source>
        <translation>No permission to use the port: add the user to the device&apos;s owning group (usually dialout) and log in again.</translation>
    </message>
    <message>
        <source>значение</source>
        <translation>value</translation>
    </message>
    <message>
        <source>ток</source>
        <translation>current</translation>
    </message>
    <message>
        <source>АЦП</source>
        <translation>ADC</translation>
    </message>
    <message>
        <source>ЦАП</source>
        <translation>DAC</translation>
    </message>
    <message>
        <source>Время</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>,Канал %d %s</source>
        <translation>,Channel %d %s</translation>
    </message>
    <message>
        <source>Это не файл настройки VEXA: файл настройки занимает ровно 403 байта (настройки модуля и их контрольная сумма), а размер этого файла в байтах — %1. Загрузка данных не выполнена.</source>
        <translation>This is not a VEXA settings file: a settings file is exactly 403 bytes (the module&apos;s settings and their checksum), and this file&apos;s size in bytes is %1. Nothing was loaded.</translation>
    </message>
    <message>
        <source>Это текст настроек, а не файл настройки VEXA: файл настройки занимает ровно 403 байта (настройки модуля и их контрольная сумма), а размер этого текста в байтах — %1. Сначала соберите из текста файл настройки: vexa_cli build ТЕКСТ -o ФАЙЛ.vxa (текст в JSON, как его печатает vexa_cli show --json). Загрузка данных не выполнена.</source>
        <translation>This is settings text, not a VEXA settings file: a settings file is exactly 403 bytes (the module&apos;s settings and their checksum), and this text&apos;s size in bytes is %1. Build a settings file from the text first: vexa_cli build TEXT -o FILE.vxa (the text in JSON, as vexa_cli show --json prints it). Nothing was loaded.</translation>
    </message>
    <message>
        <source>более %1</source>
        <translation>more than %1</translation>
    </message>
    <message>
        <source>с паузой</source>
        <translation>paused</translation>
    </message>
    <message>
        <source>длиннее</source>
        <translation>too long</translation>
    </message>
    <message>
        <source>Ответ модуля Ixor не распознан</source>
        <translation>The Ixor adapter&apos;s answer was not recognised</translation>
    </message>
    <message>
        <source>Другой порт</source>
        <translation>Other port</translation>
    </message>
    <message>
        <source>Устройство %1 не найдено.</source>
        <translation>Device %1 not found.</translation>
    </message>
    <message>
        <source>%1 — обычный файл, а не последовательный порт.</source>
        <translation>%1 is a regular file, not a serial port.</translation>
    </message>
    <message>
        <source>%1 — папка, а не последовательный порт.</source>
        <translation>%1 is a folder, not a serial port.</translation>
    </message>
    <message>
        <source>%1 — не устройство последовательного порта.</source>
        <translation>%1 is not a serial port device.</translation>
    </message>
    <message>
        <source>Имитатор модуля VEXA не запущен: %1</source>
        <translation>The VEXA module simulator did not start: %1</translation>
    </message>
    <message>
        <source>Выбор языка не сохранен: не удалось записать %1.</source>
        <translation>The language choice was not saved: %1 could not be written.</translation>
    </message>
    <message>
        <source>Язык сменится при следующем запуске программы.</source>
        <translation>The language will change the next time the program starts.</translation>
    </message>
    <message>
        <source>Сбросить форму в исходное состояние?</source>
        <translation>Reset the form to its initial state?</translation>
    </message>
    <message>
        <source>Идет загрузка параметров в модуль. Закрыть программу?</source>
        <translation>Settings are being written to the module. Close the program?</translation>
    </message>
    <message>
        <source>Изменения настроек не загружены в модуль и не сохранены в файл. Закрыть программу?</source>
        <translation>The changed settings have been neither written to the module nor saved to a file. Close the program?</translation>
    </message>
    <message>
        <source>Руководство пользователя (%1) не найдено ни рядом с программой, ни в ее папке документации.</source>
        <translation>The user&apos;s guide (%1) was not found beside the program or in its documentation folder.</translation>
    </message>
    <message>
        <source>Настройка модуля VEXA (vexa_setup), версия %1
Qt %2

© 2026 разработчики vexa_setup.
Свободная программа: GNU GPL версии 3 или более поздней (GPL-3.0-or-later), без каких-либо гарантий.

Руководство пользователя: %3</source>
        <translation>VEXA Module Setup (vexa_setup), version %1
Qt %2

© 2026 the vexa_setup developers.
Free software: GNU GPL version 3 or later (GPL-3.0-or-later), without any warranty.

User&apos;s guide: %3</translation>
    </message>
    <message>
        <source>не найдено</source>
        <translation>not found</translation>
    </message>
    <message>
        <source>О программе</source>
        <translation>About VEXA Module Setup</translation>
    </message>
    <message>
        <source>Правила работы</source>
        <translation>User&apos;s guide</translation>
    </message>
    <message>
        <source>Настройки окна совпадают с настройками модуля %1.</source>
        <translation>The window&apos;s settings match those of module %1.</translation>
    </message>
    <message>
        <source>Настройки модуля прочитаны трижды по-разному (линия искажает байты?). Сравнение не выполнено.</source>
        <translation>The module&apos;s settings read differently three times (is the line changing bytes?). Nothing was compared.</translation>
    </message>
    <message>
        <source>Изменения, не загруженные в модуль и не сохраненные в файл, будут потеряны. Заменить настройки окна значениями модуля?</source>
        <translation>Changes neither written to the module nor saved to a file will be lost. Replace the window&apos;s settings with the module&apos;s values?</translation>
    </message>
</context>
<context>
    <name>TEdit</name>
    <message>
        <source>Сохраненное значение %1 не помещается в поле</source>
        <translation>The value %1 does not fit in the field</translation>
    </message>
    <message>
        <source>Отменить</source>
        <translation>Undo</translation>
    </message>
    <message>
        <source>Повторить</source>
        <translation>Redo</translation>
    </message>
    <message>
        <source>Вырезать</source>
        <translation>Cut</translation>
    </message>
    <message>
        <source>Копировать</source>
        <translation>Copy</translation>
    </message>
    <message>
        <source>Вставить</source>
        <translation>Paste</translation>
    </message>
    <message>
        <source>Удалить</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>Выделить все</source>
        <translation>Select all</translation>
    </message>
</context>
<context>
    <name>TFormCompare</name>
    <message>
        <source>Поле</source>
        <translation>Field</translation>
    </message>
    <message>
        <source>Диалог</source>
        <translation>Dialog</translation>
    </message>
    <message>
        <source>В окне</source>
        <translation>In the window</translation>
    </message>
    <message>
        <source>Откуда</source>
        <translation>From</translation>
    </message>
    <message>
        <source>В модуле</source>
        <translation>In the module</translation>
    </message>
    <message>
        <source>изменено</source>
        <translation>edited</translation>
    </message>
    <message>
        <source>Сравнение настроек окна с модулем VEXA</source>
        <translation>The window&apos;s settings compared with the VEXA module</translation>
    </message>
    <message>
        <source>Время: %1</source>
        <translation>Time: %1</translation>
    </message>
    <message>
        <source>Порт: %1</source>
        <translation>Port: %1</translation>
    </message>
    <message>
        <source>Модуль: %1</source>
        <translation>Module: %1</translation>
    </message>
    <message>
        <source>Настройки окна: %1</source>
        <translation>The window&apos;s settings: %1</translation>
    </message>
    <message>
        <source>Различий: %1</source>
        <translation>Differences: %1</translation>
    </message>
    <message>
        <source>Сравнение с модулем</source>
        <translation>Comparison with the module</translation>
    </message>
    <message>
        <source>Сохранить</source>
        <translation>Save…</translation>
    </message>
    <message>
        <source>Взять значения модуля</source>
        <translation>Take the module&apos;s values</translation>
    </message>
    <message>
        <source>Закрыть</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Модуль %1, порт %2, %3. Настройки окна: %4. Различий: %5.</source>
        <translation>Module %1, port %2, %3. The window&apos;s settings: %4. Differences: %5.</translation>
    </message>
</context>
<context>
    <name>TFormDiagram</name>
    <message>
        <source>Значение</source>
        <translation>Value</translation>
    </message>
    <message>
        <source>Ток датчика, мА</source>
        <translation>Sensor current, mA</translation>
    </message>
    <message>
        <source>АЦП</source>
        <translation>ADC</translation>
    </message>
    <message>
        <source>ЦАП</source>
        <translation>DAC</translation>
    </message>
    <message>
        <source>Диаграмма</source>
        <translation>Chart</translation>
    </message>
    <message>
        <source>Ток датчика</source>
        <translation>Sensor current</translation>
    </message>
    <message>
        <source>%1 мин</source>
        <translation>%1 min</translation>
    </message>
    <message>
        <source>Пауза</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>Сохранить CSV</source>
        <translation>Save CSV…</translation>
    </message>
    <message>
        <source>Сохранить изображение</source>
        <translation>Save image…</translation>
    </message>
    <message>
        <source>Величина:</source>
        <translation>Quantity:</translation>
    </message>
    <message>
        <source>Интервал:</source>
        <translation>Span:</translation>
    </message>
    <message>
        <source>Канал %1</source>
        <translation>Channel %1</translation>
    </message>
    <message>
        <source>Файлы CSV (*.csv)|*.csv|Все файлы (*.*)|*.*</source>
        <translation>CSV files (*.csv)|*.csv|All files (*.*)|*.*</translation>
    </message>
    <message>
        <source>Рисунки PNG (*.png)|*.png|Все файлы (*.*)|*.*</source>
        <translation>PNG images (*.png)|*.png|All files (*.*)|*.*</translation>
    </message>
    <message>
        <source>dd.MM.yyyy</source>
        <extracomment>The date under the time axis: Qt&apos;s date format of this language.</extracomment>
        <translation>yyyy-MM-dd</translation>
    </message>
</context>
<context>
    <name>TFormGuide</name>
    <message>
        <source>Правила работы</source>
        <translation>User&apos;s guide</translation>
    </message>
</context>
<context>
    <name>TFormInterf</name>
    <message>
        <source>Настройка интерфейсов модуля VEXA</source>
        <translation>VEXA module interfaces</translation>
    </message>
    <message>
        <source>Интерфейс RS485</source>
        <translation>RS485 interface</translation>
    </message>
    <message>
        <source>Включить интерфейс RS485</source>
        <translation>Enable the RS485 interface</translation>
    </message>
    <message>
        <source>Разрешить изменение парам. модуля</source>
        <translation>Allow changing the module&apos;s settings</translation>
    </message>
    <message>
        <source>Скорость обмена, бит/с</source>
        <translation>Baud rate, bit/s</translation>
    </message>
    <message>
        <source>Адрес модуля от 1 до 247</source>
        <translation>Module address, 1 to 247</translation>
    </message>
    <message>
        <source>Интерфейс CAN2.0B</source>
        <translation>CAN2.0B interface</translation>
    </message>
    <message>
        <source>Включить интерфейс CAN2.0B</source>
        <translation>Enable the CAN2.0B interface</translation>
    </message>
    <message>
        <source>Скорость обмена, кбит/с</source>
        <translation>Bit rate, kbit/s</translation>
    </message>
    <message>
        <source>Адрес модуля на шине от 0 до 65535</source>
        <translation>Module address on the bus, 0 to 65535</translation>
    </message>
    <message>
        <source>Передавать сообщ. присутствия</source>
        <translation>Send presence messages</translation>
    </message>
    <message>
        <source>Период отправки данных, с</source>
        <translation>Data sending period, s</translation>
    </message>
    <message>
        <source>Передавать данные по каналам</source>
        <translation>Send channel data</translation>
    </message>
</context>
<context>
    <name>TFormJournal</name>
    <message>
        <source>чтение настроек</source>
        <translation>read settings</translation>
    </message>
    <message>
        <source>загрузка настроек</source>
        <translation>write settings</translation>
    </message>
    <message>
        <source>сохранение в памяти</source>
        <translation>store in memory</translation>
    </message>
    <message>
        <source>проверка по файлу</source>
        <translation>verify against a file</translation>
    </message>
    <message>
        <source>сравнение</source>
        <translation>compare</translation>
    </message>
    <message>
        <source>блокировка выходов</source>
        <translation>block outputs</translation>
    </message>
    <message>
        <source>снятие блокировки</source>
        <translation>unblock outputs</translation>
    </message>
    <message>
        <source>Журнал работ</source>
        <translation>Work journal</translation>
    </message>
    <message>
        <source>Модуль:</source>
        <translation>Module:</translation>
    </message>
    <message>
        <source>С даты:</source>
        <translation>Since:</translation>
    </message>
    <message>
        <source>Обновить</source>
        <translation>Refresh</translation>
    </message>
    <message>
        <source>Сохранить CSV</source>
        <translation>Save CSV…</translation>
    </message>
    <message>
        <source>Закрыть</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>строка %1 файла %2 повреждена и пропущена</source>
        <translation>line %1 of %2 is damaged and was skipped</translation>
    </message>
    <message>
        <source>Записей: %1 из %2. Журнал: %3</source>
        <translation>Records: %1 of %2. Journal: %3</translation>
    </message>
    <message>
        <source>Прежние настройки этого модуля в журнале не найдены.</source>
        <translation>The journal holds no earlier settings of this module.</translation>
    </message>
    <message>
        <source>Загрузка не изменила ни одного поля.</source>
        <translation>The write changed no field.</translation>
    </message>
    <message>
        <source>Изменено против настроек модуля по записи от %1 (было → стало):</source>
        <translation>Changes against the module&apos;s settings recorded at %1 (before → after):</translation>
    </message>
    <message>
        <source>Файлы CSV (*.csv)|*.csv|Все файлы (*.*)|*.*</source>
        <translation>CSV files (*.csv)|*.csv|All files (*.*)|*.*</translation>
    </message>
</context>
<context>
    <name>TFormLineMonitor</name>
    <message>
        <source>Время</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>Запрос</source>
        <translation>Request</translation>
    </message>
    <message>
        <source>Ответ</source>
        <translation>Answer</translation>
    </message>
    <message>
        <source>Итог</source>
        <translation>Result</translation>
    </message>
    <message>
        <source>мс</source>
        <translation>ms</translation>
    </message>
    <message>
        <source>Обменов</source>
        <translation>Exchanges</translation>
    </message>
    <message>
        <source>С ответом</source>
        <translation>Answered</translation>
    </message>
    <message>
        <source>Нет ответа</source>
        <translation>No answer</translation>
    </message>
    <message>
        <source>Ответ обрезан</source>
        <translation>Truncated answer</translation>
    </message>
    <message>
        <source>Ответ искажен или чужой</source>
        <translation>Corrupt or mismatched answer</translation>
    </message>
    <message>
        <source>Отказ</source>
        <translation>Refused</translation>
    </message>
    <message>
        <source>Байт передано</source>
        <translation>Bytes sent</translation>
    </message>
    <message>
        <source>Байт принято</source>
        <translation>Bytes received</translation>
    </message>
    <message>
        <source>Последний обмен, мс</source>
        <translation>Last exchange, ms</translation>
    </message>
    <message>
        <source>Состояние индикации</source>
        <translation>Line monitor</translation>
    </message>
    <message>
        <source>Линии порта</source>
        <translation>Port lines</translation>
    </message>
    <message>
        <source>Счетчики с момента соединения</source>
        <translation>Counts since connection</translation>
    </message>
    <message>
        <source>Только сбои</source>
        <translation>Failures only</translation>
    </message>
    <message>
        <source>Сохранить журнал</source>
        <translation>Save log…</translation>
    </message>
    <message>
        <source>Ответ с паузой</source>
        <translation>Answer with a pause</translation>
    </message>
    <message>
        <source>Ответ длиннее ожидаемого</source>
        <translation>Answer longer than expected</translation>
    </message>
    <message>
        <source>Порт: %1</source>
        <translation>Port: %1</translation>
    </message>
    <message>
        <source>Соединение: %1</source>
        <translation>Connected: %1</translation>
    </message>
</context>
<context>
    <name>TFormLogic</name>
    <message>
        <source>Настройка логической сигнализации модуля VEXA</source>
        <translation>VEXA module logic signalling</translation>
    </message>
    <message>
        <source>Логическая сигнализация каналов измерения</source>
        <translation>Measuring channel logic signalling</translation>
    </message>
    <message>
        <source>Канал %1</source>
        <translation>Channel %1</translation>
    </message>
    <message>
        <source>Логическая сигнализация системы</source>
        <translation>System logic signalling</translation>
    </message>
    <message>
        <source>Длител. блокир. лог. выходов после сброса модуля, сек</source>
        <translation>Output block time after module reset, s</translation>
    </message>
    <message>
        <source>Длител. отображ. уставок (для варианта &apos;Pano&apos;), сек</source>
        <translation>Set-point display time (&apos;Pano&apos; variant), s</translation>
    </message>
</context>
<context>
    <name>TFormMain</name>
    <message>
        <source>Настройка модуля VEXA</source>
        <translation>VEXA Module Setup</translation>
    </message>
    <message>
        <source>Версия ПО VEXA</source>
        <translation>Firmware version</translation>
    </message>
    <message>
        <source>Номер модуля VEXA</source>
        <translation>Serial number</translation>
    </message>
    <message>
        <source>Год выпуска  VEXA</source>
        <translation>Year of manufacture</translation>
    </message>
    <message>
        <source>Текущее состояние каналов измерения</source>
        <translation>Current state of the measuring channels</translation>
    </message>
    <message>
        <source>Выход за уставки</source>
        <translation>Set-points crossed</translation>
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
        <translation>Current state of the module</translation>
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
        <translation>Signalling</translation>
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
        <translation>Open…</translation>
    </message>
    <message>
        <source>Сохранить</source>
        <translation>Save…</translation>
    </message>
    <message>
        <source>Текстовый отчет</source>
        <translation>Text report…</translation>
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
        <translation>Measuring channels…</translation>
    </message>
    <message>
        <source>Параметры интерфейсов связи</source>
        <translation>Communication interfaces…</translation>
    </message>
    <message>
        <source>Логическая сигнализация</source>
        <translation>Logic signalling…</translation>
    </message>
    <message>
        <source>Индикация варианта &apos;Tenu&apos;</source>
        <translation>&apos;Tenu&apos; variant LEDs…</translation>
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
        <translation>About VEXA Module Setup</translation>
    </message>
    <message>
        <source>Файлы настройки VEXA (*.vxa)|*.vxa|Все файлы (*.*)|*.*</source>
        <translation>VEXA settings files (*.vxa)|*.vxa|All files (*.*)|*.*</translation>
    </message>
    <message>
        <source>Блокировка выходов</source>
        <comment>menu command</comment>
        <translation>Block outputs</translation>
    </message>
    <message>
        <source>Журнал работ не ведется: %1</source>
        <translation>The work journal is not being kept: %1</translation>
    </message>
    <message>
        <source>не выполнено: дана следующая команда</source>
        <translation>not done: the next command was given</translation>
    </message>
    <message>
        <source>отказ модуля</source>
        <translation>refused by the module</translation>
    </message>
    <message>
        <source>Чтение настроек модуля для сравнения…</source>
        <translation>Reading the module&apos;s settings to compare…</translation>
    </message>
    <message>
        <source>не загружались</source>
        <translation>none loaded</translation>
    </message>
    <message>
        <source>модуль %1</source>
        <translation>module %1</translation>
    </message>
    <message>
        <source>связь прервана</source>
        <translation>the link was lost</translation>
    </message>
    <message>
        <source>Сравнить с модулем</source>
        <translation>Compare with the module</translation>
    </message>
    <message>
        <source>Журнал работ</source>
        <translation>Work journal</translation>
    </message>
    <message>
        <source>сброс формы</source>
        <translation>form reset</translation>
    </message>
    <message>
        <source>Сравнение не выполнено: настройки модуля не прочитаны.</source>
        <translation>Nothing was compared: the module&apos;s settings were not read.</translation>
    </message>
    <message>
        <source>настройки модуля не прочитаны</source>
        <translation>the module&apos;s settings were not read</translation>
    </message>
    <message>
        <source>Модуль занят другой командой: сравните, когда она закончится.</source>
        <translation>The module is busy with another command: compare once it is done.</translation>
    </message>
    <message>
        <source>не завершено: программа закрыта</source>
        <translation>not completed: the program was closed</translation>
    </message>
    <message>
        <source>Адаптер отключен, ожидание его возвращения на %1… (%2)</source>
        <translation>The adapter is gone, waiting for it to come back on %1… (%2)</translation>
    </message>
    <message>
        <source>Адаптер на месте, но порт не открывается: %1</source>
        <translation>The adapter is back, but the port does not open: %1</translation>
    </message>
    <message>
        <source>Адаптер снова на месте: %1</source>
        <translation>The adapter is back: %1</translation>
    </message>
    <message>
        <source>Переподключать автоматически</source>
        <translation>Reconnect automatically</translation>
    </message>
    <message>
        <source>Ожидание адаптера прекращено.</source>
        <translation>No longer waiting for the adapter.</translation>
    </message>
</context>
<context>
    <name>TFormOtherPort</name>
    <message>
        <source>Другой порт</source>
        <translation>Other port</translation>
    </message>
    <message>
        <source>Путь к устройству последовательного порта
(например, /dev/ttyUSB0, /dev/pts/3, COM7):</source>
        <translation>Serial port device path
(for example /dev/ttyUSB0, /dev/pts/3, COM7):</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>TFormSetChanel</name>
    <message>
        <source>Настройка каналов измерения VEXA</source>
        <translation>VEXA measuring channels</translation>
    </message>
    <message>
        <source>Канал %1</source>
        <translation>Channel %1</translation>
    </message>
    <message>
        <source>Общие настройки</source>
        <translation>General</translation>
    </message>
    <message>
        <source>Формат отображения</source>
        <translation>Display format</translation>
    </message>
    <message>
        <source>Глубина буфера усреднения</source>
        <translation>Averaging buffer depth</translation>
    </message>
    <message>
        <source>Флаг инверсии уставки</source>
        <translation>Invert set-point (trip below)</translation>
    </message>
    <message>
        <source>Уставка %1</source>
        <translation>Set-point %1</translation>
    </message>
    <message>
        <source>Гистерезис по уставкам</source>
        <translation>Set-point hysteresis</translation>
    </message>
    <message>
        <source>Время реакции выхода за уставки</source>
        <translation>Set-point response time</translation>
    </message>
    <message>
        <source>Тест датчика</source>
        <translation>Sensor test</translation>
    </message>
    <message>
        <source>Мин. уровень АЦП</source>
        <translation>Min. ADC level</translation>
    </message>
    <message>
        <source>Макс. уровень АЦП</source>
        <translation>Max. ADC level</translation>
    </message>
    <message>
        <source>Гистер. АЦП </source>
        <translation>ADC hysteresis </translation>
    </message>
    <message>
        <source>Время реакции на выход датчика из строя</source>
        <translation>Sensor fault response time</translation>
    </message>
    <message>
        <source>Коэфф. пересчета тока датчика</source>
        <translation>Sensor current coefficient</translation>
    </message>
    <message>
        <source>Параметр измерения</source>
        <translation>Measured parameter</translation>
    </message>
    <message>
        <source>Коэфф. вычисл. значения параметра</source>
        <translation>Measured value coefficients</translation>
    </message>
    <message>
        <source>П = A + B x АЦП</source>
        <translation>P = A + B x ADC</translation>
    </message>
    <message>
        <source>Коэффиц. А</source>
        <translation>Coeff. A</translation>
    </message>
    <message>
        <source>Коэффиц. B</source>
        <translation>Coeff. B</translation>
    </message>
    <message>
        <source>Аналоговый выход</source>
        <translation>Analogue output</translation>
    </message>
    <message>
        <source>Коэфф. вычисления значения ЦАП</source>
        <translation>DAC value coefficients</translation>
    </message>
    <message>
        <source>ЦАП = A + B x П</source>
        <translation>DAC = A + B x P</translation>
    </message>
    <message>
        <source>Максим. ток выхода, мА</source>
        <translation>Max. output current, mA</translation>
    </message>
    <message>
        <source>Записать смещение нуля в модуль</source>
        <translation>Write the zero offset to the module</translation>
    </message>
    <message>
        <source>Смещение нуля</source>
        <translation>Zero offset</translation>
    </message>
    <message>
        <source>Вычислить</source>
        <translation>Compute…</translation>
    </message>
    <message>
        <source>Расчет коэффициентов</source>
        <translation>Coefficient calculator</translation>
    </message>
</context>
<context>
    <name>TForm_Calc</name>
    <message>
        <source>Расчет коэффициентов</source>
        <translation>Coefficient calculator</translation>
    </message>
    <message>
        <source>Диапазон (значение)           параметра</source>
        <translation>Range (value) of the parameter</translation>
    </message>
    <message>
        <source>Значения АЦП x 4</source>
        <translation>ADC values x 4</translation>
    </message>
    <message>
        <source>Канал %1</source>
        <translation>Channel %1</translation>
    </message>
    <message>
        <source>Расчет тока (напряжения) датчика (coeff_curr_b)</source>
        <translation>Sensor current (voltage) coefficient (coeff_curr_b)</translation>
    </message>
    <message>
        <source>Расчет значения параметра (coeff_data_a, coeff_data_b)</source>
        <translation>Measured value coefficients (coeff_data_a, coeff_data_b)</translation>
    </message>
    <message>
        <source>Расчет коэфф. аналоговых выходов (coeff_out_a, coeff_out_b)</source>
        <translation>Analogue output coefficients (coeff_out_a, coeff_out_b)</translation>
    </message>
    <message>
        <source>Значения ЦАП</source>
        <translation>DAC values</translation>
    </message>
    <message>
        <source>Вычислить</source>
        <translation>Compute</translation>
    </message>
    <message>
        <source>Сброс</source>
        <translation>Reset</translation>
    </message>
    <message>
        <source>Принять</source>
        <translation>Accept</translation>
    </message>
    <message>
        <source>Отменить</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>TForm_Led_tenu</name>
    <message>
        <source>Управление светодиодами варианта &apos;Tenu&apos;</source>
        <translation>&apos;Tenu&apos; variant LEDs</translation>
    </message>
    <message>
        <source>Каналы измерения</source>
        <translation>Measuring channels</translation>
    </message>
    <message>
        <source>Канал %1</source>
        <translation>Channel %1</translation>
    </message>
    <message>
        <source>Система</source>
        <translation>System</translation>
    </message>
</context>
</TS>
