#pragma once

#include "platform/file_dialog.h"

#include <QObject>
#include <QStringList>

class QWidget;

namespace parvane {

// Turns "description|pattern|description|pattern" into Qt name filters. Patterns match
// whatever the letter case, as DVDs name their files VTS_01_1.VOB.
QStringList toQtNameFilters(const std::string& filter);

// The one file dialog of the main window. It remembers filter, title and file name
// between showings, as the open and the save rely on.
class QtFileDialog : public QObject, public FileDialog {
    Q_OBJECT
public:
    explicit QtFileDialog(QWidget* parent);

    void setFilter(const std::string& filter) override { filter_ = filter; }
    void setTitle(const std::string& title) override { title_ = title; }
    std::string fileName() const override { return fileName_; }
    void setFileName(const std::string& name) override { fileName_ = name; }
    bool showOpen() override { return show(false); }
    bool showSave() override { return show(true); }

private:
    bool show(bool save);

    QWidget* parent_;
    std::string filter_;
    std::string title_;
    std::string fileName_;
};

} // namespace parvane
