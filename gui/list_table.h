// SPDX-License-Identifier: GPL-3.0-or-later
// A table that lists records: read only, whole rows selected, one line of text a row.
#pragma once

#include <QHeaderView>
#include <QTableView>

inline void MakeListTable(QTableView* table) {
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  table->verticalHeader()->hide();
  table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
  table->setWordWrap(false);
  table->horizontalHeader()->setStretchLastSection(true);
}
