#include "desktop_link_opener.h"

#include <QProcess>
#include <QString>

#include <stdexcept>

namespace parvane {

void DesktopLinkOpener::open(const std::string& address) {
    if (!QProcess::startDetached(QStringLiteral("xdg-open"), {QString::fromStdString(address)}))
        throw std::runtime_error("Cannot start xdg-open to open " + address);
}

} // namespace parvane
