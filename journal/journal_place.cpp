// SPDX-License-Identifier: GPL-3.0-or-later
#include "journal/journal_place.h"

#include <QStandardPaths>
#include <QString>

#include "journal/journal.h"

std::filesystem::path JournalPath() {
  const QString named = qEnvironmentVariable("VEXA_JOURNAL");
  if (!named.isEmpty()) return std::filesystem::path(named.toStdU16String());
  // The generic folder, not the application's: the two programs have names of their own.
  const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  return journal::DefaultPath(std::filesystem::path(data.toStdU16String()) / "vexa-setup");
}
