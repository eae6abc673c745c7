#include "main_window.h"

#include "controls.h"
#include "core/stream/cell_survey.h"
#include "tip_window.h"

#include "core/base/texts.h"
#include "core/base/time_text.h"
#include "core/build_facts.h"
#include "core/title/chapters.h"
#include "core/title/stream_clip.h"
#include "platform/dvdread/dvdread_disc_reader.h"
#include "platform/dvdread/dvdread_nav_reader.h"
#include "platform/link_opener.h"
#include "platform/media_player.h"
#include "platform/qt/qt_file_dialog.h"
#include "platform/qt/qt_message_box.h"
#include "platform/web_pane.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDropEvent>
#include <QGroupBox>
#include <QIcon>
#include <QLocale>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QUrl>

#include <algorithm>

namespace parvane {

std::string siteAddress() {
    return build::kSite;
}

namespace {

const QColor kWhite(255, 255, 255);
const QColor kBlack(0, 0, 0);
const QColor kReadoutGrey(224, 224, 224);

void paint(QWidget* widget, const QColor& background, const QColor& text) {
    QPalette colors = widget->palette();
    colors.setColor(QPalette::Window, background);
    colors.setColor(QPalette::WindowText, text);
    widget->setPalette(colors);
    widget->setAutoFillBackground(true);
}

template <typename Widget> Widget* place(Widget* widget, const char* name, const QRect& twipsRect) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(twipsRect);
    return widget;
}

QGroupBox* frame(QWidget* parent, const char* name, const QString& caption, const QRect& at) {
    auto* box = place(new QGroupBox(caption, parent), name, at);
    paint(box, kWhite, kBlack);
    return box;
}

QLabel* caption(QWidget* parent, const char* name, const QString& text, const QRect& at) {
    auto* label = place(new QLabel(text, parent), name, at);
    paint(label, kWhite, kBlack);
    return label;
}

QLabel* readout(QWidget* parent, const char* name, const QRect& at) {
    auto* label = place(new QLabel(parent), name, at);
    paint(label, kReadoutGrey, kBlack);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

// A file manager offered a move would delete the file after the drop: take a copy.
bool acceptAsCopy(QDropEvent* event) {
    if (!(event->possibleActions() & Qt::CopyAction))
        return false;
    event->setDropAction(Qt::CopyAction);
    event->accept();
    return true;
}

// A language the disc names, in English as the window's other words are; `otherwise` when
// it names none, its code when Qt does not know it.
QString languageName(const std::string& code, const QString& otherwise) {
    if (code.empty())
        return otherwise;
    const QString text = QString::fromStdString(code);
    const QLocale::Language language = QLocale(text).language();
    return language == QLocale::C ? text : QLocale::languageToString(language);
}

QPushButton* pushButton(QWidget* parent, const char* name, const QString& face, const QRect& at) {
    return place(new QPushButton(face, parent), name, at);
}

} // namespace

MainWindow::MainWindow(const MainWindowParts& parts)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint),
      parts_(parts) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QString::fromLatin1(texts::kWindowTitle));
    setWindowIcon(QIcon(QString::fromLatin1(kIconResource)));
    setFont(windowFont());
    setFixedSize(fromTwips(0, 0, 5070, 8415).size());
    paint(this, kWhite, QColor(0, 0, 128));

    if (!parts_.dialog)
        parts_.dialog = new QtFileDialog(this); // a child object, deleted with the window
    if (!parts_.messages) {
        ownMessages_ = std::make_unique<QtMessageBox>(this, texts::kWindowTitle);
        parts_.messages = ownMessages_.get();
    }
    if (!parts_.navPacks) {
        ownNavPacks_ = std::make_unique<DvdreadNavReader>();
        parts_.navPacks = ownNavPacks_.get();
    }
    if (!parts_.discs) {
        ownDiscs_ = std::make_unique<DvdreadDiscReader>();
        parts_.discs = ownDiscs_.get();
    }
    surveyingDiscs_ =
        std::make_unique<CellSurveyingDiscReader>(*parts_.discs, *parts_.files, parts_.navPacks);

    buildControls();
    progress_ = std::make_unique<QtProgressBar>(*progressBar_);
    Readouts& readouts = *this;
    SaveView& saveView = *this;
    const auto switchPreviewWatch = [this](bool on) {
        if (on)
            previewTimer_->start();
        else
            previewTimer_->stop();
    };
    marks_ = std::make_unique<MarkController>(state_, *parts_.player, readouts, *parts_.messages,
                                              switchPreviewWatch);
    opener_ = std::make_unique<SourceOpener>(state_, *parts_.player, *parts_.dialog,
                                             *surveyingDiscs_, readouts, switchPreviewWatch);
    saver_ = std::make_unique<ClipSaver>(
        state_,
        ClipSaver::Parts{*parts_.player, *parts_.dialog, *parts_.messages, *progress_, events_,
                         *parts_.files, saveView, parts_.navPacks, parts_.codec},
        parts_.savePacing);
    wireHandlers();
    installShortcuts();
    setAcceptDrops(true);
    attachSaveMenu();
    load();
}

MainWindow::~MainWindow() {
    // The tip window has no owner: it goes with the program, without its own unload.
    delete tip_.data();
}

void MainWindow::buildControls() {
    QGroupBox* frame3 = frame(this, "Frame3", QString(), fromTwips(705, 45, 3045, 390));
    auto* plate = place(new QLabel(QStringLiteral("  Orlendt Presentation"), frame3), "plate",
                        fromTwips(165, 135, 2730, 210));
    paint(plate, palette().color(QPalette::Base), palette().color(QPalette::Text));

    tipLink_ = place(new LinkLabel(QStringLiteral("Important Tip"), QColor(0, 0, 192), this),
                     "Label2", fromTwips(3960, 330, 945, 210));
    paint(tipLink_, kWhite, QColor(0, 0, 192));

    parts_.playerWidget->setParent(this);
    place(parts_.playerWidget, "wmp", fromTwips(90, 540, 4845, 3645));

    openButton_ =
        pushButton(this, "Command4", QStringLiteral("Open"), fromTwips(1500, 4395, 900, 375));
    saveButton_ =
        pushButton(this, "Command7", QStringLiteral("Save"), fromTwips(2370, 4425, 900, 375));
    selectStartButton_ = pushButton(this, "Command5", QStringLiteral("Select Start"),
                                    fromTwips(960, 4860, 1395, 375));
    selectEndButton_ = pushButton(this, "Command6", QStringLiteral("Select End"),
                                  fromTwips(2340, 4845, 1365, 375));
    titleButton_ =
        pushButton(this, "titleButton", QStringLiteral("Title"), fromTwips(330, 4425, 1050, 375));
    titleMenu_ = new QMenu(titleButton_);
    titleMenu_->setObjectName(QStringLiteral("titleMenu"));
    titleButton_->setMenu(titleMenu_);
    titleButton_->setToolTip(QStringLiteral("The DVD's titles, and marks at chapters (Ctrl+T)"));
    titleButton_->hide();

    QGroupBox* frame1 =
        frame(this, "Frame1", QStringLiteral("Clip Information"), fromTwips(285, 5295, 2160, 1290));
    caption(frame1, "bp", QStringLiteral("Begin Position :"), fromTwips(60, 330, 1125, 240));
    beginReadout_ = readout(frame1, "Label7", fromTwips(1185, 360, 885, 180));
    caption(frame1, "ep1", QStringLiteral("End Position :"), fromTwips(60, 615, 1005, 240));
    endReadout_ = readout(frame1, "Label9", fromTwips(1080, 630, 990, 180));
    caption(frame1, "ln", QStringLiteral("Length :"), fromTwips(60, 870, 585, 195));
    lengthReadout_ = readout(frame1, "Label3", fromTwips(690, 900, 1380, 180));

    QGroupBox* frame2 =
        frame(this, "Frame2", QStringLiteral("Current Time"), fromTwips(2610, 5295, 2070, 525));
    playingTimeReadout_ = readout(frame2, "Label4", fromTwips(90, 240, 1860, 180));

    playSelectedButton_ = pushButton(this, "Command9", QStringLiteral("Play Selected"),
                                     fromTwips(2775, 5850, 1650, 375));
    homePageButton_ =
        pushButton(this, "Command8", QStringLiteral("Home Page"), fromTwips(2850, 6225, 1485, 375));

    progressBar_ = place(new QProgressBar(this), "pb", fromTwips(60, 6810, 4965, 345));
    progressBar_->setRange(0, 100);
    progressBar_->setValue(0);
    progressBar_->setTextVisible(false);

    parts_.webWidget->setParent(this);
    place(parts_.webWidget, "WebBrowser1", fromTwips(0, 7215, 5055, 1215));

    defragLink_ =
        place(new LinkLabel(
                  QStringLiteral("Download software that automatically defrags your disk drives"),
                  QColor(0, 0, 255), this),
              "Label1", fromTwips(195, 8475, 4410, 255));
    paint(defragLink_, kWhite, QColor(0, 0, 255));

    previewTimer_ = new QTimer(this);
    previewTimer_->setObjectName(QStringLiteral("Timer1"));
    previewTimer_->setInterval(100);
    playingTimeTimer_ = new QTimer(this);
    playingTimeTimer_->setObjectName(QStringLiteral("Timer2"));
    playingTimeTimer_->setInterval(1000);
    playingTimeTimer_->start();

    const std::array<QWidget*, 23> tabOrder = {titleButton_,
                                               openButton_,
                                               saveButton_,
                                               frame1,
                                               findChild<QLabel*>("bp"),
                                               findChild<QLabel*>("ep1"),
                                               findChild<QLabel*>("ln"),
                                               playSelectedButton_,
                                               progressBar_,
                                               homePageButton_,
                                               beginReadout_,
                                               endReadout_,
                                               lengthReadout_,
                                               selectStartButton_,
                                               selectEndButton_,
                                               defragLink_,
                                               parts_.playerWidget,
                                               frame2,
                                               playingTimeReadout_,
                                               tipLink_,
                                               parts_.webWidget,
                                               frame3,
                                               plate};
    // Qt chains only the controls that take focus; they follow the layout's order.
    QWidget* previous = nullptr;
    for (QWidget* widget : tabOrder) {
        if (widget->focusPolicy() == Qt::NoFocus)
            continue;
        if (previous)
            QWidget::setTabOrder(previous, widget);
        previous = widget;
    }
}

void MainWindow::wireHandlers() {
    auto onClick = [this](QPushButton* button, const std::function<void()>& handler) {
        connect(button, &QPushButton::clicked, this, [this, handler] { guarded(handler); });
    };
    onClick(openButton_, [this] {
        opener_->open();
        showTitles();
        marksChanged();
        tellTitleProblems();
    });
    onClick(selectStartButton_, [this] {
        marks_->setBegin();
        beginMarked_ = true;
        marksChanged();
    });
    onClick(selectEndButton_, [this] {
        marks_->setEnd();
        endMarked_ = true;
        marksChanged();
    });
    onClick(saveButton_, [this] { saver_->save(); });
    onClick(playSelectedButton_, [this] { marks_->preview(); });
    onClick(homePageButton_, [this] { openPage(""); });
    connect(defragLink_, &LinkLabel::clicked, this,
            [this] { guarded([this] { openPage("/redirect.html"); }); });
    connect(tipLink_, &LinkLabel::clicked, this, [this] { guarded([this] { showTipWindow(); }); });
    connect(previewTimer_, &QTimer::timeout, this,
            [this] { guarded([this] { marks_->watchTick(); }); });
    connect(playingTimeTimer_, &QTimer::timeout, this,
            [this] { guarded([this] { opener_->showPlayingTime(); }); });
}

void MainWindow::installShortcuts() {
    // The workflow keys press the buttons themselves, so a disabled button's key does nothing.
    // Shortcuts of the window work whichever control has the focus, and not while a dialog
    // is up, as that dialog is then the active window.
    const std::array<std::pair<QKeySequence, QString>, 5> workflowKeys = {{
        {QKeySequence(Qt::CTRL | Qt::Key_O), tr("Open a VOB file or a DVD")},
        {QKeySequence(Qt::Key_I), tr("Set the begin mark here")},
        {QKeySequence(Qt::Key_O), tr("Set the end mark here")},
        {QKeySequence(Qt::CTRL | Qt::Key_S), tr("Save the marked clip")},
        {QKeySequence(Qt::Key_P), tr("Play the marked clip")},
    }};
    const auto buttons = workflowButtons();
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        const auto& [key, tip] = workflowKeys[i];
        auto* shortcut = new QShortcut(key, this);
        shortcut->setAutoRepeat(false);
        connect(shortcut, &QShortcut::activated, buttons[i], &QAbstractButton::click);
        buttons[i]->setToolTip(
            QStringLiteral("%1 (%2)").arg(tip, key.toString(QKeySequence::NativeText)));
    }

    const auto playerKey = [this](const QKeySequence& key, bool repeats,
                                  const std::function<void()>& action) {
        auto* shortcut = new QShortcut(key, this);
        shortcut->setAutoRepeat(repeats);
        connect(shortcut, &QShortcut::activated, this, [this, action] { guarded(action); });
    };
    const auto by = [this](double seconds) { movePlayerTo(parts_.player->position() + seconds); };
    playerKey(Qt::Key_Space, false, [this] { parts_.player->togglePause(); });
    playerKey(Qt::Key_Left, true, [by] { by(-5); });
    playerKey(Qt::Key_Right, true, [by] { by(5); });
    playerKey(Qt::SHIFT | Qt::Key_Left, true, [by] { by(-1); });
    playerKey(Qt::SHIFT | Qt::Key_Right, true, [by] { by(1); });
    playerKey(Qt::Key_Home, false, [this] { movePlayerTo(0.0); });
    playerKey(Qt::Key_End, false, [this] { movePlayerTo(parts_.player->duration()); });
    playerKey(Qt::Key_Comma, true, [this] { parts_.player->stepFrame(-1); });
    playerKey(Qt::Key_Period, true, [this] { parts_.player->stepFrame(+1); });
    playerKey(Qt::Key_PageDown, true, [this] { moveByChapter(+1); });
    playerKey(Qt::Key_PageUp, true, [this] { moveByChapter(-1); });
    // Like I and O, nothing while the marks' buttons are disabled.
    playerKey(Qt::SHIFT | Qt::Key_I, false, [this] { markChapterBegin(); });
    playerKey(Qt::SHIFT | Qt::Key_O, false, [this] { markChapterEnd(); });
    playerKey(Qt::CTRL | Qt::Key_T, false, [this] {
        if (titleButton_->isVisible() && titleButton_->isEnabled())
            titleButton_->showMenu();
    });
}

void MainWindow::moveByChapter(int step) {
    if (!state_.title)
        return;
    if (const auto start = chapterStart(state_.title->chapters, parts_.player->position(), step))
        movePlayerTo(*start);
}

void MainWindow::markChapterBegin() {
    if (!state_.title || !selectStartButton_->isEnabled())
        return;
    const auto start = chapterStart(state_.title->chapters, parts_.player->position(), 0);
    marks_->setBeginAt(start.value_or(0.0));
    beginMarked_ = true;
    marksChanged();
}

void MainWindow::markChapterEnd() {
    if (!state_.title || !selectEndButton_->isEnabled())
        return;
    marks_->setEndAt(chapterEnd(*state_.title, parts_.player->position()));
    endMarked_ = true;
    marksChanged();
}

void MainWindow::marksChanged() {
    showMarksOnPlayer();
    std::optional<std::pair<double, double>> clip;
    if (beginMarked_ && endMarked_ && state_.selectionValid() && !state_.sourcePath.empty())
        clip = streamClipTimes(*parts_.files, parts_.navPacks, state_.sourcePath, state_.title,
                               state_.beginSeconds, state_.endSeconds);
    parts_.player->showStreamClip(clip);
    streamSave_->setText(clip ? QStringLiteral("Save at Stream Times (%1 \u2013 %2)...")
                                    .arg(QString::fromStdString(tenthsClockText(clip->first)),
                                         QString::fromStdString(tenthsClockText(clip->second)))
                              : QStringLiteral("Save at Stream Times..."));
    // A frame-exact clip shows the marked pictures themselves.
    const bool marked = beginMarked_ && endMarked_ && state_.selectionValid();
    exactSave_->setText(
        marked ? QStringLiteral("Save Frame-Exact (%1 \u2013 %2)...")
                     .arg(QString::fromStdString(hundredthsClockText(state_.beginSeconds)),
                          QString::fromStdString(hundredthsClockText(state_.endSeconds)))
               : QStringLiteral("Save Frame-Exact..."));
}

void MainWindow::showTitles() {
    titleMenu_->clear();
    // clear() leaves the submenus of streams, the menu's children: they go with their title.
    qDeleteAll(titleMenu_->findChildren<QMenu*>(Qt::FindDirectChildrenOnly));
    const std::vector<Title>& titles = opener_->titles();
    titleButton_->setVisible(!titles.empty());
    if (titles.empty())
        return;
    auto* group = new QActionGroup(titleMenu_);
    for (std::size_t i = 0; i < titles.size(); ++i) {
        QAction* action = titleMenu_->addAction(
            QStringLiteral("Title %1 (%2)")
                .arg(titles[i].number)
                .arg(QString::fromStdString(clockText(titles[i].duration()))));
        action->setCheckable(true);
        action->setChecked(opener_->playingTitle() == i);
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, i] {
            guarded([this, i] {
                // Like Open: not while a save runs.
                if (!openButton_->isEnabled())
                    return;
                opener_->openTitle(i);
                showTitles();
                marksChanged();
                tellTitleProblems();
            });
        });
    }
    showAngles(titles[opener_->playingTitle().value_or(0)].angles);
    showStreams();
    titleMenu_->addSeparator();
    connect(titleMenu_->addAction(QStringLiteral("Begin Mark at Chapter Start\tShift+I")),
            &QAction::triggered, this, [this] { guarded([this] { markChapterBegin(); }); });
    connect(titleMenu_->addAction(QStringLiteral("End Mark at Chapter End\tShift+O")),
            &QAction::triggered, this, [this] { guarded([this] { markChapterEnd(); }); });
}

void MainWindow::showAngles(int angles) {
    if (angles < 2)
        return;
    titleMenu_->addSeparator();
    auto* group = new QActionGroup(titleMenu_);
    for (int angle = 1; angle <= angles; ++angle) {
        QAction* action = titleMenu_->addAction(QStringLiteral("Angle %1").arg(angle));
        action->setCheckable(true);
        action->setChecked(opener_->playingAngle() == angle);
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, angle] {
            guarded([this, angle] {
                if (!openButton_->isEnabled())
                    return;
                opener_->openAngle(angle);
                showTitles();
            });
        });
    }
}

void MainWindow::showStreams() {
    const std::vector<Title>& titles = opener_->titles();
    const std::optional<std::size_t> playing = opener_->playingTitle();
    if (!playing || *playing >= titles.size())
        return;
    const Title& title = titles[*playing];
    // Every open starts a title with its first audio and no subtitles. The same title opened
    // again keeps what was chosen; another starts afresh.
    const std::pair<std::string, int> playingNow(state_.sourcePath, title.number);
    if (playingNow != streamsOf_) {
        streamsOf_ = playingNow;
        chosenAudio_.reset();
        chosenSubtitles_.reset();
    } else {
        if (chosenAudio_)
            parts_.player->selectAudio(*chosenAudio_);
        if (chosenSubtitles_)
            parts_.player->selectSubtitles(chosenSubtitles_);
    }

    const auto choice = [this](QMenu* menu, QActionGroup* group, const QString& text, bool checked,
                               const std::function<void()>& choose) {
        QAction* action = menu->addAction(text);
        action->setCheckable(true);
        action->setChecked(checked);
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, choose] { guarded(choose); });
    };
    if (title.audio.size() > 1) {
        QMenu* menu = titleMenu_->addMenu(QStringLiteral("Audio"));
        menu->setObjectName(QStringLiteral("audioMenu"));
        auto* group = new QActionGroup(menu);
        for (std::size_t i = 0; i < title.audio.size(); ++i) {
            const AudioStream& stream = title.audio[i];
            QString format = QString::fromStdString(stream.format);
            if (stream.channels > 0)
                format += QStringLiteral(", %1 channel%2")
                              .arg(stream.channels)
                              .arg(stream.channels == 1 ? "" : "s");
            const QString text = QStringLiteral("%1 (%2)").arg(
                languageName(stream.language, QStringLiteral("Audio %1").arg(i + 1)), format);
            const bool checked = chosenAudio_ ? *chosenAudio_ == stream.id : i == 0;
            choice(menu, group, text, checked, [this, id = stream.id] {
                parts_.player->selectAudio(id);
                chosenAudio_ = id;
            });
        }
    }
    if (!title.subpictures.empty()) {
        QMenu* menu = titleMenu_->addMenu(QStringLiteral("Subtitles"));
        menu->setObjectName(QStringLiteral("subtitlesMenu"));
        auto* group = new QActionGroup(menu);
        choice(menu, group, QStringLiteral("Off"), !chosenSubtitles_, [this] {
            parts_.player->selectSubtitles(std::nullopt);
            chosenSubtitles_.reset();
        });
        for (std::size_t i = 0; i < title.subpictures.size(); ++i) {
            const SubpictureStream& stream = title.subpictures[i];
            const QString text =
                languageName(stream.language, QStringLiteral("Subtitles %1").arg(i + 1));
            choice(menu, group, text, chosenSubtitles_ == stream.id, [this, id = stream.id] {
                parts_.player->selectSubtitles(id);
                chosenSubtitles_ = id;
            });
        }
    }
}

// A title opened with parts that could not be read says which, once: a dialog cancelled
// or the same title chosen again says nothing new.
void MainWindow::tellTitleProblems() {
    const std::string opened =
        state_.title ? state_.sourcePath + "\n" + std::to_string(state_.title->number) : "";
    if (opened == problemsToldFor_)
        return;
    problemsToldFor_ = opened;
    if (!state_.title || state_.title->problems.empty())
        return;
    std::string text = "Parts of this title cannot be read and are left out:";
    for (const std::string& problem : state_.title->problems)
        text += "\n" + problem;
    parts_.messages->inform(text);
}

void MainWindow::movePlayerTo(double seconds) {
    const double length = parts_.player->duration();
    // Nothing loaded: a position set now would wait for the next file.
    if (length <= 0.0)
        return;
    parts_.player->setPosition(std::clamp(seconds, 0.0, length));
}

void MainWindow::showMarksOnPlayer() {
    parts_.player->showMarks(beginMarked_ ? std::optional<double>(state_.clipBegin) : std::nullopt,
                             endMarked_ ? std::optional<double>(state_.clipEnd) : std::nullopt);
}

void MainWindow::openFile(const std::string& path) {
    guarded([this, &path] {
        opener_->open(path);
        showTitles();
        marksChanged();
        tellTitleProblems();
    });
}

std::optional<std::string> MainWindow::droppedFile(const QMimeData* data) const {
    // Like the Open button: not while a save runs, nor while a dialog is up.
    if (!openButton_->isEnabled() || QApplication::activeModalWidget())
        return std::nullopt;
    const QList<QUrl> urls = data->urls();
    // The window holds one source: several files are refused rather than one picked.
    if (urls.size() != 1 || !urls.front().isLocalFile())
        return std::nullopt;
    return urls.front().toLocalFile().toStdString();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (droppedFile(event->mimeData()))
        acceptAsCopy(event);
}

void MainWindow::dropEvent(QDropEvent* event) {
    const std::optional<std::string> path = droppedFile(event->mimeData());
    if (path && acceptAsCopy(event))
        openFile(*path);
}

void MainWindow::attachSaveMenu() {
    QPushButton* save = saveButton_;
    save->setToolTip(save->toolTip() +
                     QStringLiteral(". Right-click, or Ctrl+Shift+S, for Save at Stream Times: "
                                    "whole picture groups, found from the stream's own times."));
    saveMenu_ = new QMenu(this);
    saveMenu_->setObjectName(QStringLiteral("saveMenu"));
    streamSave_ = saveMenu_->addAction(QStringLiteral("Save at Stream Times..."));
    connect(streamSave_, &QAction::triggered, this,
            [this] { guarded([this] { saver_->saveAtStreamTimes(); }); });
    exactSave_ = saveMenu_->addAction(QStringLiteral("Save Frame-Exact..."));
    exactSave_->setObjectName(QStringLiteral("exactSave"));
    connect(exactSave_, &QAction::triggered, this,
            [this] { guarded([this] { saver_->saveFrameExact(); }); });
    connect(saveMenu_->addAction(QStringLiteral("Save...")), &QAction::triggered, this,
            [this] { guarded([this] { saver_->save(); }); });
    // Like the button, the menu is not there while the workflow is locked.
    const auto showAt = [this, save](QPoint at) {
        if (save->isEnabled())
            saveMenu_->popup(save->mapToGlobal(at));
    };
    save->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(save, &QWidget::customContextMenuRequested, this, showAt);
    auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), this);
    connect(shortcut, &QShortcut::activated, this,
            [save, showAt] { showAt(QPoint(0, save->height())); });
}

void MainWindow::load() {
    defragLink_->setUnderlined(true);
    tipLink_->setUnderlined(true);
    parts_.web->navigate(siteAddress() + "/info.php?n=parvane");
}

void MainWindow::openPage(const std::string& path) {
    parts_.links->open(siteAddress() + path);
}

void MainWindow::showTipWindow() {
    hide();
    if (!tip_) {
        tip_ = new TipWindow(windowIcon(), [this](const std::string& path) {
            guarded([this, &path] { openPage(path); });
        });
        connect(tip_, &TipWindow::unloaded, this, [this] { show(); });
    }
    tip_->show();
}

void MainWindow::guarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        parts_.messages->inform(error.what());
    } catch (...) {
        parts_.messages->inform("An unexpected error occurred.");
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    guarded([this] { parts_.player->endPlayback(); });
    // A save in progress stops at its next step and cleans up after itself.
    events_.endProgram();
    previewTimer_->stop();
    playingTimeTimer_->stop();
    if (tip_) {
        tip_->disconnect(this);
        delete tip_.data();
    }
    event->accept();
    Q_EMIT programEnding();
}

void MainWindow::setBeginText(const std::string& text) {
    beginReadout_->setText(QString::fromStdString(text));
}
void MainWindow::setEndText(const std::string& text) {
    endReadout_->setText(QString::fromStdString(text));
}
void MainWindow::setLengthText(const std::string& text) {
    lengthReadout_->setText(QString::fromStdString(text));
}
void MainWindow::setPlayingTimeText(const std::string& text) {
    playingTimeReadout_->setText(QString::fromStdString(text));
}

void MainWindow::setWorkflowButtonsEnabled(bool enabled) {
    for (QPushButton* button : workflowButtons())
        button->setEnabled(enabled);
    titleButton_->setEnabled(enabled);
}

void MainWindow::setCaption(const std::string& caption) {
    setWindowTitle(QString::fromStdString(caption));
}

} // namespace parvane
