#include "qt_file_dialog.h"

#include <QFileDialog>

namespace parvane {

namespace {

QString caseInsensitiveGlob(const QString& pattern) {
    QString glob;
    for (const QChar c : pattern) {
        if (c.isLetter() && c.toLower() != c.toUpper())
            glob += QStringLiteral("[%1%2]").arg(c.toLower(), c.toUpper());
        else
            glob += c;
    }
    return glob;
}

} // namespace

QString toQtNameFilter(const FileFilter& filter) {
    QStringList globs;
    for (const std::string& pattern : filter.patterns)
        globs << caseInsensitiveGlob(QString::fromStdString(pattern));
    // Qt reads the patterns from the last parentheses and, with the details hidden, shows
    // only the description.
    return QStringLiteral("%1 (%2)").arg(QString::fromStdString(filter.description),
                                         globs.join(QLatin1Char(' ')));
}

QtFileDialog::QtFileDialog(QWidget* parent) : QObject(parent), parent_(parent) {
    setObjectName(QStringLiteral("Cdlg"));
}

std::optional<std::string> QtFileDialog::show(const FileRequest& request, bool save) {
    QFileDialog dialog(parent_, QString::fromStdString(request.title));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    // The save asks its own overwrite question.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilter(toQtNameFilter(request.filter));
    if (!request.startName.empty())
        dialog.selectFile(QString::fromStdString(request.startName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst().toStdString();
}

} // namespace parvane
