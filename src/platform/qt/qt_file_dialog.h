#pragma once

#include "platform/file_dialog.h"

#include <QFileDialog>
#include <QObject>
#include <QStringList>

class QWidget;

namespace parvane {

// A filter as a Qt name filter. Patterns match whatever the letter case, as DVDs name their
// files VTS_01_1.VOB.
QString toQtNameFilter(const FileFilter& filter);

// Whether `path` is a DVD's folder: VIDEO_TS holding VIDEO_TS.IFO, or the folder above it.
bool isDiscFolder(const QString& path);

// Qt's own open dialog, which lets a DVD folder be chosen as well as a file: with such a
// folder selected, Open takes it, where for any other folder it goes into it. Double-clicking
// still goes into any folder.
class DiscFolderDialog : public QFileDialog {
    Q_OBJECT
public:
    using QFileDialog::QFileDialog;

    // The DVD folder taken, or empty when a file was chosen.
    QString discFolder() const { return discFolder_; }

    void accept() override;

private:
    QString discFolder_;
};

// The main window's file dialogs.
class QtFileDialog : public QObject, public FileDialog {
    Q_OBJECT
public:
    explicit QtFileDialog(QWidget* parent);

    std::optional<std::string> chooseOpen(const FileRequest& request) override {
        return show(request, false);
    }
    std::optional<std::string> chooseSave(const FileRequest& request) override {
        return show(request, true);
    }

private:
    std::optional<std::string> show(const FileRequest& request, bool save);

    QWidget* parent_;
};

} // namespace parvane
