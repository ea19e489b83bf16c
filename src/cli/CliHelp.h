#pragma once

#include <QString>
#include <QStringList>

namespace norvi::cli {

QString ProgramHelp();
// The help of one command; empty for a name that is not a command.
QString CommandHelp(const QString& command);
QStringList CommandNames();

} // namespace norvi::cli
