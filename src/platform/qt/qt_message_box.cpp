#include "qt_message_box.h"

#include <QMessageBox>

namespace parvane {

QtMessageBox::QtMessageBox(QWidget* parent, std::string title)
    : parent_(parent), title_(std::move(title)) {}

void QtMessageBox::inform(const std::string& text) {
    QMessageBox box(QMessageBox::Information, QString::fromStdString(title_),
                    QString::fromStdString(text), QMessageBox::Ok, parent_);
    box.exec();
}

bool QtMessageBox::ask(const std::string& text) {
    QMessageBox box(QMessageBox::Information, QString::fromStdString(title_),
                    QString::fromStdString(text), QMessageBox::Yes | QMessageBox::No, parent_);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

} // namespace parvane
