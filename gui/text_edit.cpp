#include "gui/text_edit.h"

#include <QRegularExpression>
#include <QRegularExpressionValidator>

TMaskEdit::TMaskEdit(const QString& mask, QWidget* parent) : TEdit(parent) {
  const QString positions = mask.section(';', 0, 0);
  // Each position takes a digit or stays blank; a point stands where the mask has one.
  QString pattern;
  for (const QChar c : positions) pattern += c == '.' ? QStringLiteral("\\.?") : QStringLiteral("[ 0-9]?");
  setValidator(new QRegularExpressionValidator(QRegularExpression(pattern), this));
  setMaxLength(static_cast<int>(positions.size()));
}
