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

    label1_ = new QLabel(tipText(), this);
    label1_->setObjectName(QStringLiteral("Label1"));
    label1_->setGeometry(fromTwips(210, 195, 5040, 810));
    label1_->setWordWrap(true);
    label1_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    label2_ = new LinkLabel(QStringLiteral("here"), palette().color(QPalette::Highlight), this);
    label2_->setObjectName(QStringLiteral("Label2"));
    label2_->setGeometry(fromTwips(4575, 405, 465, 225));
    label2_->raise();
    connect(label2_, &LinkLabel::clicked, this, [this] { openPage_("/codecdownload.html"); });

    // Load
    setWindowIcon(icon);
    label2_->setUnderlined(true);
    placeLinkAfterCodecs();

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TipWindow::placeLinkAfterCodecs() {
    // Lay the text out as the label does and put "here" where "codecs" ends, whatever
    // the font's line breaks are.
    QTextLayout layout(label1_->text(), label1_->font());
    QTextOption option(Qt::AlignLeft | Qt::AlignTop);
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    qreal y = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(label1_->contentsRect().width());
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    layout.endLayout();
    const QTextLine line = layout.lineForTextPosition(kFirstPartLength - 1);
    if (!line.isValid())
        return;
    const QFontMetrics metrics(label2_->font());
    const int x = label1_->x() + qRound(line.cursorToX(kFirstPartLength)) +
                  metrics.horizontalAdvance(QLatin1Char(' '));
    const int top = label1_->y() + qRound(line.y());
    label2_->setGeometry(x, top, metrics.horizontalAdvance(label2_->text()) + 1,
                         qRound(line.height()));
}

void TipWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    Q_EMIT unloaded();
}

} // namespace parvane
