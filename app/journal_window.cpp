// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/journal_window.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QItemSelectionModel>
#include <QVBoxLayout>

#include "app/field_words.h"
#include "gui/list_table.h"

QString ActionText(const std::string& action) {
  if (action == journal::kRead) return TFormJournal::tr("чтение настроек");
  if (action == journal::kWrite) return TFormJournal::tr("загрузка настроек");
  if (action == journal::kStore) return TFormJournal::tr("сохранение в памяти");
  if (action == journal::kVerify) return TFormJournal::tr("проверка по файлу");
  if (action == journal::kCompare) return TFormJournal::tr("сравнение");
  if (action == journal::kBlock) return TFormJournal::tr("блокировка выходов");
  if (action == journal::kUnblock) return TFormJournal::tr("снятие блокировки");
  return QString::fromStdString(action);
}

void JournalModel::SetRecords(std::vector<journal::Record> records) {
  beginResetModel();
  records_ = std::move(records);
  shown_.clear();
  for (std::size_t i = records_.size(); i-- > 0;) shown_.push_back(i);
  endResetModel();
}

void JournalModel::Filter(std::optional<unsigned> module, const QString& since) {
  beginResetModel();
  shown_.clear();
  const std::string from = since.toStdString();
  for (std::size_t i = records_.size(); i-- > 0;) {
    const journal::Record& r = records_[i];
    if (module && r.module != module) continue;
    if (!from.empty() && r.time.compare(0, from.size(), from) < 0) continue;
    shown_.push_back(i);
  }
  endResetModel();
}

int JournalModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(shown_.size());
}
int JournalModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumns; }

QString JournalModel::Text(std::size_t record, int column) const {
  const journal::Record& r = records_[record];
  const auto number = [](const std::optional<unsigned>& n) { return n ? QString::number(*n) : QString(); };
  switch (column) {
    case kTime:
      return QString::fromStdString(r.time);
    case kAction:
      return ActionText(r.action);
    case kModule:
      return number(r.module);
    case kYear:
      return number(r.year);
    case kFirmware:
      return QString::fromStdString(r.firmware);
    case kResult: {
      QString text = r.Done() ? tr("выполнено") : QString::fromStdString(r.result);
      if (r.Done() && r.differences)
        text += *r.differences == 0 ? tr(", совпадает") : tr(", различий: %1").arg(*r.differences);
      return text;
    }
    case kPort:
      return QString::fromStdString(r.port);
    case kFile:
      return QString::fromStdString(r.file);
    case kProgram:
      return QString::fromStdString(r.program);
    case kUser:
      return QString::fromStdString(r.user + "@" + r.machine);
    default:
      return {};
  }
}

QVariant JournalModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || role != Qt::DisplayRole) return {};
  return Text(RecordOf(index.row()), index.column());
}

QVariant JournalModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  static const char* const heads[kColumns] = {
      QT_TR_NOOP("Время"),     QT_TR_NOOP("Действие"),    QT_TR_NOOP("Модуль"), QT_TR_NOOP("Год"),
      QT_TR_NOOP("Версия ПО"), QT_TR_NOOP("Результат"),   QT_TR_NOOP("Порт"),   QT_TR_NOOP("Файл настроек"),
      QT_TR_NOOP("Программа"), QT_TR_NOOP("Пользователь")};
  return tr(heads[section]);
}

std::string JournalModel::Csv() const {
  const auto quoted = [](const QString& text) {
    if (!text.contains(',') && !text.contains('"') && !text.contains('\n')) return text;
    return "\"" + QString(text).replace("\"", "\"\"") + "\"";
  };
  QString csv;
  for (int column = 0; column < kColumns; ++column)
    csv += (column ? "," : "") + quoted(headerData(column, Qt::Horizontal, Qt::DisplayRole).toString());
  csv += "\n";
  for (const std::size_t i : shown_) {
    for (int column = 0; column < kColumns; ++column) csv += (column ? "," : "") + quoted(Text(i, column));
    csv += "\n";
  }
  return csv.toStdString();
}

TFormJournal::TFormJournal(std::filesystem::path path) : journal_(std::move(path)) {
  setObjectName("FormJournal");
  setWindowTitle(tr("Журнал работ"));
  auto* layout = new QVBoxLayout(this);
  auto* filters = new QHBoxLayout;
  filters->addWidget(new QLabel(tr("Модуль:"), this));
  Edit_Module = new QLineEdit(this);
  Edit_Module->setObjectName("Edit_Module");
  Edit_Module->setValidator(new QIntValidator(0, 65535, Edit_Module));
  Edit_Module->setMaximumWidth(80);
  filters->addWidget(Edit_Module);
  filters->addSpacing(12);
  CheckBox_Since = new QCheckBox(tr("С даты:"), this);
  CheckBox_Since->setObjectName("CheckBox_Since");
  filters->addWidget(CheckBox_Since);
  DateEdit_Since = new QDateEdit(QDate::currentDate(), this);
  DateEdit_Since->setObjectName("DateEdit_Since");
  DateEdit_Since->setDisplayFormat("yyyy-MM-dd");
  DateEdit_Since->setCalendarPopup(true);
  filters->addWidget(DateEdit_Since);
  filters->addStretch(1);
  Button_Reload = new QPushButton(tr("Обновить"), this);
  Button_Reload->setObjectName("Button_Reload");
  filters->addWidget(Button_Reload);
  layout->addLayout(filters);

  Table_Records = new QTableView(this);
  Table_Records->setObjectName("Table_Records");
  Table_Records->setModel(&model_);
  MakeListTable(Table_Records);
  Table_Records->setSelectionMode(QAbstractItemView::SingleSelection);
  layout->addWidget(Table_Records, 3);
  Memo_Details = new QPlainTextEdit(this);
  Memo_Details->setObjectName("Memo_Details");
  Memo_Details->setReadOnly(true);
  layout->addWidget(Memo_Details, 1);
  auto* bottom = new QHBoxLayout;
  Label_State = new QLabel(this);
  Label_State->setObjectName("Label_State");
  Label_State->setWordWrap(true);
  bottom->addWidget(Label_State, 1);
  Button_SaveCsv = new QPushButton(tr("Сохранить CSV"), this);
  Button_SaveCsv->setObjectName("Button_SaveCsv");
  Button_Close = new QPushButton(tr("Закрыть"), this);
  Button_Close->setObjectName("Button_Close");
  bottom->addWidget(Button_SaveCsv);
  bottom->addWidget(Button_Close);
  layout->addLayout(bottom);

  connect(Edit_Module, &QLineEdit::textChanged, this, [this] { ApplyFilter(); });
  connect(CheckBox_Since, &QCheckBox::toggled, this, [this] { ApplyFilter(); });
  connect(DateEdit_Since, &QDateEdit::dateChanged, this, [this] { ApplyFilter(); });
  connect(Button_Reload, &QPushButton::clicked, this, [this] { Reload(); });
  connect(Button_SaveCsv, &QPushButton::clicked, this, [this] { SaveCsv(); });
  connect(Button_Close, &QPushButton::clicked, this, [this] { hide(); });
  connect(Table_Records->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { ShowSelected(); });
  resize(1000, 560);
}

void TFormJournal::Reload() {
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  journal::Contents contents = journal::Read(journal_);
  QStringList said;
  for (const journal::Skipped& s : contents.skipped) {
    const std::filesystem::path file = s.part == 0 ? journal_.Path() : journal_.Older(s.part);
    said << tr("строка %1 файла %2 повреждена и пропущена")
                .arg(s.line)
                .arg(QString::fromStdU16String(file.filename().u16string()));
  }
  if (!contents.error.empty()) said << QString::fromStdString(contents.error);
  model_.SetRecords(std::move(contents.records));
  skipped_ = said.join("; ");
  QGuiApplication::restoreOverrideCursor();
  ApplyFilter();
}

void TFormJournal::ApplyFilter() {
  bool ok = false;
  const unsigned number = Edit_Module->text().toUInt(&ok);
  model_.Filter(ok ? std::optional(number) : std::nullopt,
                CheckBox_Since->isChecked() ? DateEdit_Since->date().toString("yyyy-MM-dd") : QString());
  QString state = tr("Записей: %1 из %2. Журнал: %3")
                      .arg(model_.rowCount())
                      .arg(model_.Records().size())
                      .arg(QString::fromStdU16String(journal_.Path().u16string()));
  if (!skipped_.isEmpty()) state += "\n" + skipped_;
  Label_State->setText(state);
  Memo_Details->clear();
  Table_Records->resizeColumnsToContents();
}

QString TFormJournal::Details(std::size_t record) const {
  const auto& records = model_.Records();
  const journal::Record& r = records[record];
  if (r.action != journal::kWrite || !r.settings) return {};
  const auto previous = journal::PreviousSettings(records, record);
  if (!previous) return tr("Прежние настройки этого модуля в журнале не найдены.");
  auto changes = ShownDifferences(*records[*previous].settings, *r.settings, CompareScope::Module);
  // A change below what the dialogs show would read "x → x".
  std::erase_if(changes, [](const ShownDifference& d) { return d.a == d.b; });
  if (changes.empty()) return tr("Загрузка не изменила ни одного поля.");
  QString text = tr("Изменено против настроек модуля по записи от %1 (было → стало):")
                     .arg(QString::fromStdString(records[*previous].time)) +
                 "\n";
  for (const ShownDifference& d : changes)
    text += d.words.dialog + " · " + d.words.Where() + ": " + d.a + " → " + d.b + "\n";
  return text;
}

void TFormJournal::ShowSelected() {
  const QModelIndexList rows = Table_Records->selectionModel()->selectedRows();
  Memo_Details->setPlainText(rows.isEmpty() ? QString() : Details(model_.RecordOf(rows.first().row())));
}

void TFormJournal::SaveCsv() {
  SaveTextAs(CsvDialog, ".csv", [this] { return model_.Csv(); });
}
