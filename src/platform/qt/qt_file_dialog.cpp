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

QStringList toQtNameFilters(const std::string& filter) {
    const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList globs;
        for (const QString& pattern : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts))
            globs << caseInsensitiveGlob(pattern.trimmed());
        // Qt reads the patterns from the last parentheses and, with the details hidden,
        // shows only the description.
        filters << QStringLiteral("%1 (%2)").arg(parts[i], globs.join(QLatin1Char(' ')));
    }
    return filters;
}

QtFileDialog::QtFileDialog(QWidget* parent) : QObject(parent), parent_(parent) {
    setObjectName(QStringLiteral("Cdlg"));
}

bool QtFileDialog::show(bool save) {
    QFileDialog dialog(parent_, QString::fromStdString(title_));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    // The save asks its own overwrite question.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    const QStringList filters = toQtNameFilters(filter_);
    if (!filters.isEmpty())
        dialog.setNameFilters(filters);
    if (!fileName_.empty())
        dialog.selectFile(QString::fromStdString(fileName_));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    fileName_ = dialog.selectedFiles().constFirst().toStdString();
    return true;
}

} // namespace parvane
