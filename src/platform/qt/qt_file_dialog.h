#pragma once

#include "platform/file_dialog.h"

#include <QObject>
#include <QStringList>

class QWidget;

namespace parvane {

// A filter as a Qt name filter. Patterns match whatever the letter case, as DVDs name their
// files VTS_01_1.VOB.
QString toQtNameFilter(const FileFilter& filter);

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
