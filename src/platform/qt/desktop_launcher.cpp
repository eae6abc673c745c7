#include "desktop_launcher.h"

#include <QProcess>
#include <QString>

#include <stdexcept>

namespace parvane {

void DesktopLauncher::start(const std::string& commandLine, ShowStyle) {
    const QString line = QString::fromStdString(commandLine);
    const qsizetype blank = line.indexOf(QLatin1Char(' '));
    const QString program = blank < 0 ? line : line.left(blank);
    QStringList arguments;
    if (blank >= 0)
        arguments << line.mid(blank + 1);
    if (!QProcess::startDetached(program, arguments))
        throw std::runtime_error("Cannot start " + program.toStdString());
}

} // namespace parvane
