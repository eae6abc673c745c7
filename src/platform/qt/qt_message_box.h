#pragma once

#include "platform/message_box.h"

class QWidget;

namespace parvane {

class QtMessageBox : public MessageBox {
public:
    // Boxes are centred on `parent` and titled `title`.
    QtMessageBox(QWidget* parent, std::string title);

    void inform(const std::string& text) override;
    bool ask(const std::string& text) override;

private:
    QWidget* parent_;
    std::string title_;
};

} // namespace parvane
