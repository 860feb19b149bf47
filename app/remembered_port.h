// SPDX-License-Identifier: GPL-3.0-or-later
// The port chosen at the last connection, kept between runs: "COMn", "sim", or a device's path.
#pragma once

#include <QString>

QString RememberedPort();
// False when it could not be kept (a settings file that cannot be written): the next start then
// offers "COM 1" as at the first.
bool RememberPort(const QString& port);
