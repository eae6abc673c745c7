#pragma once

#include "core/base/views.h"
#include "core/marks/clip_state.h"
#include "core/marks/mark_controller.h"
#include "core/marks/source_opener.h"
#include "core/save/clip_saver.h"
#include "platform/qt/qt_event_pump.h"
#include "platform/qt/qt_progress_bar.h"
#include "ui/tip_window.h"

#include <QPointer>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

class QGroupBox;
class QLabel;
class QMimeData;
class QAction;
class QMenu;
class QProgressBar;
class QPushButton;

namespace parvane {

class DiscReader;
class FileDialog;
class FileSystem;
class LinkLabel;
class MediaPlayer;
class MessageBox;
class NavPackReader;
class LinkOpener;
class WebPane;
class PictureCodec;

// The platform parts the main window works with. The player and the web pane are widgets
// that the window places and owns; the others must outlive it. A null dialog or message
// box makes the window use the desktop's own, a null navigation pack or disc reader
// libdvdread.
struct MainWindowParts {
    QWidget* playerWidget = nullptr;
    MediaPlayer* player = nullptr;
    QWidget* webWidget = nullptr;
    WebPane* web = nullptr;
    FileSystem* files = nullptr;
    LinkOpener* links = nullptr;
    FileDialog* dialog = nullptr;
    MessageBox* messages = nullptr;
    SavePacing savePacing;
    const NavPackReader* navPacks = nullptr;
    const DiscReader* discs = nullptr;
    // Encodes the edge pictures of frame-exact clips; without it they cannot be made.
    PictureCodec* codec = nullptr;
};

// The maker's web site: scheme and host, no trailing slash.
std::string siteAddress();

// The compact-disc icon of every window, from the program's resources.
inline constexpr const char* kIconResource = ":/parvane.png";

// The one window the user works in.
class MainWindow : public QWidget, private Readouts, private SaveView {
    Q_OBJECT
public:
    explicit MainWindow(const MainWindowParts& parts);
    ~MainWindow() override;

    // Open, Select Start, Select End, Save, Play Selected, in the order the save uses.
    std::array<QPushButton*, 5> workflowButtons() const {
        return {openButton_, selectStartButton_, selectEndButton_, saveButton_,
                playSelectedButton_};
    }
    const ClipState& state() const { return state_; }
    ClipState& state() { return state_; }
    TipWindow* tipWindow() const { return tip_; }

    // Opens `path` as if it had been chosen with Open: a file named on the command line.
    void openFile(const std::string& path);
    // The open disc's titles, to choose another from; hidden while a plain file is open.
    QPushButton* titleButton() const { return titleButton_; }

Q_SIGNALS:
    // The window was closed: the program ends now.
    void programEnding();

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void buildControls();
    void wireHandlers();
    void installShortcuts();
    // Moves the player to `seconds`, kept within the media.
    void movePlayerTo(double seconds);
    // After every open: the title menu for what is open now.
    void showTitles();
    // The playing title's angles, to choose one, when it has several.
    void showAngles(int angles);
    // The audio and subtitle streams of the title playing, in the title menu.
    void showStreams();
    void tellTitleProblems();
    // Goes to the next (+1) or previous (-1) chapter of the title playing.
    void moveByChapter(int step);
    // The begin mark at the start of the chapter playing, the end mark at its end.
    void markChapterBegin();
    void markChapterEnd();
    // After a mark was set or a source opened: the marks and where a clip cut at stream
    // times would really begin and end, on the slider and in the save menu.
    void marksChanged();
    // The marks on the player's position display, once each has been set.
    void showMarksOnPlayer();
    // The file a drop would open; nullopt when the drop is refused.
    std::optional<std::string> droppedFile(const QMimeData* data) const;
    // Right click and Ctrl+Shift+S on Save: "Save at Stream Times..." and "Save...".
    void attachSaveMenu();
    void load();
    void showTipWindow();
    void openPage(const std::string& path);
    // Runs one handler; an error it does not handle ends it and is shown, and the
    // program goes on.
    void guarded(const std::function<void()>& handler);

    // Readouts
    void setBeginText(const std::string& text) override;
    void setEndText(const std::string& text) override;
    void setLengthText(const std::string& text) override;
    void setPlayingTimeText(const std::string& text) override;
    // SaveView
    void setWorkflowButtonsEnabled(bool enabled) override;
    void setCaption(const std::string& caption) override;

    MainWindowParts parts_;
    // The source and title whose problems were last told, so each is told once.
    std::string problemsToldFor_;
    std::unique_ptr<MessageBox> ownMessages_;
    std::unique_ptr<NavPackReader> ownNavPacks_;
    std::unique_ptr<DiscReader> ownDiscs_;
    // A plain file whose clocks start again opens as the title of its cells.
    std::unique_ptr<DiscReader> surveyingDiscs_;

    ClipState state_;
    QTimer* previewTimer_ = nullptr;
    QTimer* playingTimeTimer_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    QLabel* beginReadout_ = nullptr;
    QLabel* endReadout_ = nullptr;
    QLabel* lengthReadout_ = nullptr;
    QLabel* playingTimeReadout_ = nullptr;
    LinkLabel* defragLink_ = nullptr;
    LinkLabel* tipLink_ = nullptr;
    QPushButton* homePageButton_ = nullptr;
    QPushButton* openButton_ = nullptr;
    QPushButton* selectStartButton_ = nullptr;
    QPushButton* selectEndButton_ = nullptr;
    QPushButton* saveButton_ = nullptr;
    QPushButton* playSelectedButton_ = nullptr;
    QMenu* saveMenu_ = nullptr;
    QAction* streamSave_ = nullptr;
    QAction* exactSave_ = nullptr;
    QPushButton* titleButton_ = nullptr;
    QMenu* titleMenu_ = nullptr;
    QPointer<TipWindow> tip_;
    // The streams chosen for the title playing (source and number); nullopt for its first
    // audio and no subtitles, as it starts.
    std::pair<std::string, int> streamsOf_;
    std::optional<int> chosenAudio_;
    std::optional<int> chosenSubtitles_;
    bool beginMarked_ = false;
    bool endMarked_ = false;

    std::unique_ptr<QtProgressBar> progress_;
    QtEventPump events_;
    std::unique_ptr<MarkController> marks_;
    std::unique_ptr<SourceOpener> opener_;
    std::unique_ptr<ClipSaver> saver_;
};

} // namespace parvane
