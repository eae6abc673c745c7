#include "qt_file_dialog.h"

#include <QDir>
#include <QFileInfo>

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

namespace {

// The entry of `folder` named `name` whatever its letter case, or empty.
QString entryOf(const QDir& folder, const QString& name, QDir::Filters kind) {
    const QStringList found = folder.entryList(
        {name}, kind | QDir::NoDotAndDotDot | QDir::CaseSensitive | QDir::Hidden | QDir::System);
    for (const QString& entry : found)
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return entry;
    const QStringList all = folder.entryList(kind | QDir::NoDotAndDotDot);
    for (const QString& entry : all)
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return entry;
    return {};
}

} // namespace

bool isDiscFolder(const QString& path) {
    const QFileInfo info(path);
    if (!info.isDir())
        return false;
    QDir folder(info.absoluteFilePath());
    if (folder.dirName().compare(QStringLiteral("VIDEO_TS"), Qt::CaseInsensitive) != 0) {
        const QString inner = entryOf(folder, QStringLiteral("VIDEO_TS"), QDir::Dirs);
        if (inner.isEmpty() || !folder.cd(inner))
            return false;
    }
    return !entryOf(folder, QStringLiteral("VIDEO_TS.IFO"), QDir::Files).isEmpty();
}

void DiscFolderDialog::accept() {
    const QStringList chosen = selectedFiles();
    if (chosen.size() == 1 && isDiscFolder(chosen.front())) {
        discFolder_ = chosen.front();
        QDialog::accept();
        return;
    }
    discFolder_.clear();
    QFileDialog::accept();
}

QtFileDialog::QtFileDialog(QWidget* parent) : QObject(parent), parent_(parent) {
    setObjectName(QStringLiteral("Cdlg"));
}

std::optional<std::string> QtFileDialog::show(const FileRequest& request, bool save) {
    DiscFolderDialog dialog(parent_, QString::fromStdString(request.title));
    // A platform's own dialog would not let a DVD folder be taken.
    if (request.discFolders)
        dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    // The save asks its own overwrite question.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    QStringList filters{toQtNameFilter(request.filter)};
    for (const FileFilter& other : request.otherFilters)
        filters << toQtNameFilter(other);
    dialog.setNameFilters(filters);
    if (!request.startName.empty())
        dialog.selectFile(QString::fromStdString(request.startName));
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    if (request.discFolders && !dialog.discFolder().isEmpty())
        return dialog.discFolder().toStdString();
    if (dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst().toStdString();
}

} // namespace parvane
