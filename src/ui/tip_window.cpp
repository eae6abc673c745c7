#include "tip_window.h"

#include "controls.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTextLayout>

namespace parvane {

namespace {
// The first sentence ends with this word; the link continues it.
constexpr qsizetype kFirstPartLength = 128;
} // namespace

QString TipWindow::tipText() {
    return QStringLiteral("If you are not able to play DVD or DVD is not playing properly then "
                          "you are missing DVD codecs. You may get the necessary codecs") +
           QString(158, QLatin1Char(' ')) + QStringLiteral("The codecs are completely free.");
}

TipWindow::TipWindow(const QIcon& icon, PageOpener openPage)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint),
      openPage_(std::move(openPage)) {
    setObjectName(QStringLiteral("Form2"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Parvane"));
    setFont(windowFont());
    setFixedSize(fromTwips(0, 0, 5325, 1185).size());

    tipText_ = new QLabel(tipText(), this);
    tipText_->setObjectName(QStringLiteral("Label1"));
    tipText_->setGeometry(fromTwips(210, 195, 5040, 810));
    tipText_->setWordWrap(true);
    tipText_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    hereLink_ = new LinkLabel(QStringLiteral("here"), palette().color(QPalette::Highlight), this);
    hereLink_->setObjectName(QStringLiteral("Label2"));
    hereLink_->setGeometry(fromTwips(4575, 405, 465, 225));
    hereLink_->raise();
    connect(hereLink_, &LinkLabel::clicked, this, [this] { openPage_("/codecdownload.html"); });

    // Once built: the icon, the link underlined and set in the text where it belongs.
    setWindowIcon(icon);
    hereLink_->setUnderlined(true);
    placeLinkAfterCodecs();

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TipWindow::placeLinkAfterCodecs() {
    // Lay the text out as the label does and put "here" where "codecs" ends, whatever
    // the font's line breaks are.
    QTextLayout layout(tipText_->text(), tipText_->font());
    QTextOption option(Qt::AlignLeft | Qt::AlignTop);
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    qreal y = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(tipText_->contentsRect().width());
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    layout.endLayout();
    const QTextLine line = layout.lineForTextPosition(kFirstPartLength - 1);
    if (!line.isValid())
        return;
    const QFontMetrics metrics(hereLink_->font());
    const int x = tipText_->x() + qRound(line.cursorToX(kFirstPartLength)) +
                  metrics.horizontalAdvance(QLatin1Char(' '));
    const int top = tipText_->y() + qRound(line.y());
    hereLink_->setGeometry(x, top, metrics.horizontalAdvance(hereLink_->text()) + 1,
                           qRound(line.height()));
}

void TipWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    Q_EMIT unloaded();
}

} // namespace parvane
