#pragma once

#include <QWidget>

#include <functional>
#include <string>

class QLabel;

namespace parvane {

class LinkLabel;

// Form2: a short tip about missing DVD codecs, with a link to the codec page.
class TipWindow : public QWidget {
    Q_OBJECT
public:
    using PageOpener = std::function<void(const std::string& path)>;

    // `icon` is the main window's; `openPage` opens a page of the maker's site.
    TipWindow(const QIcon& icon, PageOpener openPage);

    static QString tipText();

Q_SIGNALS:
    // Closed by the user: the window is going away.
    void unloaded();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void placeLinkAfterCodecs();

    PageOpener openPage_;
    QLabel* tipText_ = nullptr;
    LinkLabel* hereLink_ = nullptr;
};

} // namespace parvane
