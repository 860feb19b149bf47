// SPDX-License-Identifier: GPL-3.0-or-later
// What the connection menu keeps between runs: the port chosen at the last connection ("COMn",
// "sim", or a device's path), and whether a link whose adapter went away is connected again on its
// return.
#pragma once

#include <QString>

QString RememberedPort();
// False when it could not be kept (a settings file that cannot be written): the next start then
// offers "COM 1" as at the first.
bool RememberPort(const QString& port);

// Off until the user turns it on, so that a first start meets the link as it always was.
bool RememberedReconnect();
bool RememberReconnect(bool on);
