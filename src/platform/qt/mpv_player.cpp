#include "mpv_player.h"

#include "mpv_title_stream.h"
#include "mpv_video_window.h"
#include "platform/posix/heap_arenas.h"
#include "seek_slider.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QStyle>
#include <QToolButton>

#include <mpv/client.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace parvane {

namespace {

constexpr int kControlsHeight = 24;
constexpr int kSliderUnitsPerSecond = 10;

int sliderUnits(double seconds) {
    return static_cast<int>(std::lround(seconds * kSliderUnitsPerSecond));
}

void setOption(mpv_handle* mpv, const char* name, const char* value) {
    const int error = mpv_set_option_string(mpv, name, value);
    if (error < 0)
        throw std::runtime_error(std::string("mpv option ") + name + ": " +
                                 mpv_error_string(error));
}

QString clockText(double seconds) {
    const auto whole = static_cast<long long>(std::max(0.0, seconds));
    const long long hours = whole / 3600;
    const QString minutesAndSeconds =
        QStringLiteral("%1:%2")
            .arg((whole / 60) % 60, hours ? 2 : 1, 10, QLatin1Char('0'))
            .arg(whole % 60, 2, 10, QLatin1Char('0'));
    return hours ? QStringLiteral("%1:%2").arg(hours).arg(minutesAndSeconds) : minutesAndSeconds;
}

// mpv opens playlists, archives, external subtitles and references to other files or
// addresses on a file's behalf, whatever its name. A cutter must play exactly the file it
// cuts: only libavformat's demuxers for single-file media, nothing found beside it.
void playOnlyTheChosenFile(mpv_handle* mpv) {
    setOption(mpv, "demuxer", "lavf");
    setOption(mpv, "access-references", "no");
    setOption(mpv, "ordered-chapters", "no");
    setOption(mpv, "sub-auto", "no");
    setOption(mpv, "audio-file-auto", "no");
    setOption(mpv, "cover-art-auto", "no");
    setOption(mpv, "ytdl", "no");
    setOption(mpv, "load-scripts", "no");

    // libavformat's playlist-like formats (HLS, DASH, concat, image sequences) stay out.
    char key[] = "format_whitelist";
    char formats[] = "mpeg,mpegts,mpegvideo,m4v,h264,hevc,mov,matroska,avi,asf,flv,ogg,wav,"
                     "mp3,ac3,eac3,dts,aac";
    char* keys[] = {key};
    mpv_node value{};
    value.format = MPV_FORMAT_STRING;
    value.u.string = formats;
    mpv_node_list list{1, &value, keys};
    mpv_node map{};
    map.format = MPV_FORMAT_NODE_MAP;
    map.u.list = &list;
    const int error = mpv_set_option(mpv, "demuxer-lavf-o", MPV_FORMAT_NODE, &map);
    if (error < 0)
        throw std::runtime_error(std::string("mpv option demuxer-lavf-o: ") +
                                 mpv_error_string(error));
}

// A track of the file mpv plays, as its track list gives it.
struct Track {
    std::int64_t id = 0; // mpv's own number, for "aid" and "sid"
    std::string type;    // "video", "audio", "sub"
    std::optional<std::int64_t> streamId;
    bool selected = false;
};

std::vector<Track> trackList(mpv_handle* mpv) {
    mpv_node list{};
    if (mpv_get_property(mpv, "track-list", MPV_FORMAT_NODE, &list) < 0)
        return {};
    std::vector<Track> tracks;
    if (list.format == MPV_FORMAT_NODE_ARRAY) {
        for (int i = 0; i < list.u.list->num; ++i) {
            const mpv_node& entry = list.u.list->values[i];
            if (entry.format != MPV_FORMAT_NODE_MAP)
                continue;
            Track track;
            for (int k = 0; k < entry.u.list->num; ++k) {
                const std::string key = entry.u.list->keys[k];
                const mpv_node& value = entry.u.list->values[k];
                if (key == "id" && value.format == MPV_FORMAT_INT64)
                    track.id = value.u.int64;
                else if (key == "type" && value.format == MPV_FORMAT_STRING)
                    track.type = value.u.string;
                else if (key == "src-id" && value.format == MPV_FORMAT_INT64)
                    track.streamId = value.u.int64;
                else if (key == "selected" && value.format == MPV_FORMAT_FLAG)
                    track.selected = value.u.flag != 0;
            }
            tracks.push_back(track);
        }
    }
    mpv_free_node_contents(&list);
    return tracks;
}

// libavformat's MPEG demuxer names a private stream 1 substream (AC-3, DTS, LPCM,
// subpictures) by its substream id, as the disc does, but an MPEG audio stream by its whole
// start code.
std::int64_t demuxerId(int streamId) {
    return (streamId & 0xE0) == 0xC0 ? 0x100 | streamId : streamId;
}

} // namespace

MpvPlayer::MpvPlayer(QWidget* parent, const Options& options) : QWidget(parent) {
    // mpv parses numbers with the C library and refuses to start under other locales.
    std::setlocale(LC_NUMERIC, "C");
    mpv_ = mpv_create();
    if (!mpv_)
        throw std::runtime_error("the media player could not be created");
    try {
        setOption(mpv_, "vo", "libmpv");
        setOption(mpv_, "idle", "yes");
        setOption(mpv_, "keep-open", "yes");
        setOption(mpv_, "hr-seek", "yes");
        // Without it, exact seeks in DVD streams land on the next keyframe.
        setOption(mpv_, "hr-seek-demuxer-offset", "0.7");
        setOption(mpv_, "video-timing-offset", "0");
        // A cutter plays local files and seeks about in them: a few seconds ahead and a few
        // behind are enough, where mpv's defaults keep up to 200 MiB for every file.
        setOption(mpv_, "cache", "no");
        setOption(mpv_, "demuxer-max-bytes", "16MiB");
        setOption(mpv_, "demuxer-max-back-bytes", "8MiB");
        setOption(mpv_, "input-default-bindings", "no");
        playOnlyTheChosenFile(mpv_);
        setOption(mpv_, "osc", "no");
        if (!options.audioOutput.empty())
            setOption(mpv_, "ao", options.audioOutput.c_str());
        const int error = mpv_initialize(mpv_);
        if (error < 0)
            throw std::runtime_error(std::string("mpv: ") + mpv_error_string(error));
        titleStreams_ = std::make_unique<MpvTitleStreams>(mpv_);
    } catch (...) {
        mpv_terminate_destroy(mpv_);
        throw;
    }
    mpv_observe_property(mpv_, 0, "time-pos", MPV_FORMAT_DOUBLE);
    mpv_observe_property(mpv_, 0, "duration", MPV_FORMAT_DOUBLE);
    mpv_observe_property(mpv_, 0, "pause", MPV_FORMAT_FLAG);
    // Tracks appear as the demuxer meets their streams, some only after the file loaded.
    mpv_observe_property(mpv_, 0, "track-list", MPV_FORMAT_NONE);
    // Called from mpv's threads: only post to the GUI thread, which drains the events.
    mpv_set_wakeup_callback(
        mpv_,
        [](void* self) {
            QMetaObject::invokeMethod(static_cast<MpvPlayer*>(self), &MpvPlayer::drainEvents,
                                      Qt::QueuedConnection);
        },
        this);

    setFocusPolicy(Qt::StrongFocus);
    setAutoFillBackground(true);
    QPalette dark = palette();
    dark.setColor(QPalette::Window, Qt::black);
    setPalette(dark);

    videoWindow_ = new MpvVideoWindow(mpv_);
    video_ = QWidget::createWindowContainer(videoWindow_, this);
    video_->setFocusPolicy(Qt::NoFocus);

    message_ = new QLabel(this);
    message_->setAlignment(Qt::AlignCenter);
    message_->setWordWrap(true);
    message_->setStyleSheet(QStringLiteral("color: white; background: black;"));
    message_->hide();

    controls_ = new QWidget(this);
    controls_->setAutoFillBackground(true);
    QPalette light = controls_->palette();
    light.setColor(QPalette::Window, QColor(240, 240, 240));
    light.setColor(QPalette::WindowText, Qt::black);
    controls_->setPalette(light);
    auto* row = new QHBoxLayout(controls_);
    row->setContentsMargins(2, 0, 4, 0);
    row->setSpacing(4);
    playButton_ = new QToolButton(controls_);
    playButton_->setObjectName(QStringLiteral("playPause"));
    playButton_->setFocusPolicy(Qt::NoFocus);
    playButton_->setAutoRaise(true);
    playButton_->setToolTip(tr("Play or pause (Space)"));
    playButton_->setAccessibleDescription(tr("Plays or pauses the video"));
    showPlayState();
    slider_ = new SeekSlider(controls_);
    slider_->setObjectName(QStringLiteral("position"));
    slider_->setFocusPolicy(Qt::NoFocus);
    slider_->setRange(0, 0);
    slider_->setAccessibleName(tr("Position"));
    slider_->setAccessibleDescription(
        tr("Where the video is; ticks show the clip's begin and end marks"));
    slider_->setToolTip(tr("Position: click to go there. Left/Right: 5 s, Shift+Left/Right: "
                           "1 s, comma/period: one frame, Home/End"));
    // Its accessible name stays the text, so screen readers read the time itself.
    time_ = new QLabel(clockText(0), controls_);
    time_->setObjectName(QStringLiteral("time"));
    time_->setAccessibleDescription(tr("Playing time and length of the video"));
    row->addWidget(playButton_);
    row->addWidget(slider_, 1);
    row->addWidget(time_);

    connect(playButton_, &QToolButton::clicked, this, &MpvPlayer::togglePause);
    // Dragging seeks to keyframes for speed; letting go lands on the exact frame. A click
    // on the track is a press and a release at the clicked point.
    connect(slider_, &QSlider::sliderMoved, this,
            [this](int value) { seek(double(value) / kSliderUnitsPerSecond, false); });
    connect(slider_, &QSlider::sliderReleased, this,
            [this] { seek(double(slider_->value()) / kSliderUnitsPerSecond, true); });
}

MpvPlayer::~MpvPlayer() {
    mpv_set_wakeup_callback(mpv_, nullptr, nullptr);
    // The render context must be gone before the handle; the container takes the video
    // window with it.
    delete video_;
    video_ = nullptr;
    videoWindow_ = nullptr;
    mpv_terminate_destroy(mpv_);
}

void MpvPlayer::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int videoHeight = std::max(0, height() - kControlsHeight);
    video_->setGeometry(0, 0, width(), videoHeight);
    message_->setGeometry(0, 0, width(), videoHeight);
    controls_->setGeometry(0, videoHeight, width(), kControlsHeight);
}

void MpvPlayer::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space) {
        togglePause();
        return;
    }
    QWidget::keyPressEvent(event);
}

void MpvPlayer::play() {
    int no = 0;
    mpv_set_property(mpv_, "pause", MPV_FORMAT_FLAG, &no);
}

void MpvPlayer::pause() {
    int yes = 1;
    mpv_set_property(mpv_, "pause", MPV_FORMAT_FLAG, &yes);
}

bool MpvPlayer::isPaused() const {
    int paused = 0;
    mpv_get_property(mpv_, "pause", MPV_FORMAT_FLAG, &paused);
    return paused != 0;
}

void MpvPlayer::togglePause() {
    if (isPaused())
        play();
    else
        pause();
}

void MpvPlayer::stepFrame(int direction) {
    if (!loaded_)
        return;
    const char* command[] = {direction < 0 ? "frame-back-step" : "frame-step", nullptr};
    mpv_command_async(mpv_, 0, command);
}

void MpvPlayer::showMarks(std::optional<double> begin, std::optional<double> end) {
    const auto units = [](std::optional<double> seconds) -> std::optional<int> {
        if (!seconds)
            return std::nullopt;
        return sliderUnits(*seconds);
    };
    slider_->setMarks(units(begin), units(end));
}

void MpvPlayer::showStreamClip(std::optional<std::pair<double, double>> clip) {
    if (clip)
        slider_->setStreamClip(std::pair(sliderUnits(clip->first), sliderUnits(clip->second)));
    else
        slider_->setStreamClip(std::nullopt);
}

void MpvPlayer::showPlayState() {
    // The button offers what a press does, in its picture and to screen readers.
    const bool paused = pauseFlag_ || !loaded_;
    playButton_->setIcon(
        style()->standardIcon(paused ? QStyle::SP_MediaPlay : QStyle::SP_MediaPause));
    playButton_->setAccessibleName(paused ? tr("Play") : tr("Pause"));
}

void MpvPlayer::setMediaFileName(const std::string& path) {
    const QString name = QString::fromStdString(path);
    const QFileInfo info(name);
    QString reason;
    if (path.empty())
        reason = tr("No file was chosen.");
    else if (!info.exists())
        reason = tr("The file does not exist.");
    else if (!info.isFile() || !info.isReadable())
        reason = tr("The file cannot be read.");
    if (!reason.isEmpty()) {
        showMessage(reason);
        throw std::runtime_error("Cannot play this file: " + reason.toStdString());
    }
    slider_->setChapters({});
    // A title's choice of tracks stays in mpv's options: a file gets mpv's own again.
    choosingStreams_ = false;
    mpv_set_property_string(mpv_, "aid", "auto");
    mpv_set_property_string(mpv_, "sid", "auto");
    // An absolute path is always a file to mpv, never an address or a protocol.
    titleDuration_.reset();
    startLoading(info.absoluteFilePath().toUtf8(), "");
}

void MpvPlayer::setTitle(const Title& title) {
    if (title.duration() <= 0.0) {
        const QString reason = tr("The title plays no time.");
        showMessage(reason);
        throw std::runtime_error("Cannot play this file: " + reason.toStdString());
    }
    std::vector<int> chapters;
    for (const double start : title.chapters)
        chapters.push_back(sliderUnits(start));
    slider_->setChapters(chapters);
    // The title's cells as one stream, served by this program and probed as media as every
    // file is; its length is the title's, whatever the stream's last timestamps say.
    titleDuration_ = title.duration();
    // Like a DVD player: the first audio stream the title lists, no subtitles.
    choosingStreams_ = true;
    wantedAudio_ = title.audio.empty() ? std::nullopt : std::optional(title.audio.front().id);
    wantedSubtitles_.reset();
    mpv_set_property_string(mpv_, "aid", "auto");
    mpv_set_property_string(mpv_, "sid", "no");
    startLoading(QByteArray::fromStdString(titleStreams_->load(title)), "");
}

void MpvPlayer::selectAudio(int streamId) {
    wantedAudio_ = streamId;
    applyStreamChoice();
}

void MpvPlayer::selectSubtitles(std::optional<int> streamId) {
    wantedSubtitles_ = streamId;
    applyStreamChoice();
}

void MpvPlayer::applyStreamChoice() {
    if (!choosingStreams_ || !loaded_)
        return;
    const std::vector<Track> tracks = trackList(mpv_);
    const auto choose = [this, &tracks](const char* type, const char* property,
                                        std::optional<int> wanted) {
        const Track* chosen = nullptr;
        bool asChosen = true; // mpv plays the chosen track of this type and no other
        for (const Track& track : tracks) {
            if (track.type != type)
                continue;
            const bool isChosen = wanted && track.streamId == demuxerId(*wanted);
            if (isChosen)
                chosen = &track;
            asChosen = asChosen && track.selected == isChosen;
        }
        // A stream mpv has not met yet is chosen when its track appears.
        if (asChosen || (wanted && !chosen))
            return;
        if (chosen) {
            std::int64_t id = chosen->id;
            mpv_set_property(mpv_, property, MPV_FORMAT_INT64, &id);
        } else {
            mpv_set_property_string(mpv_, property, "no");
        }
    };
    // A title whose disc lists no audio plays what mpv finds.
    if (wantedAudio_)
        choose("audio", "aid", wantedAudio_);
    choose("sub", "sid", wantedSubtitles_);
}

std::optional<int> MpvPlayer::streamPlaying(const char* type) const {
    for (const Track& track : trackList(mpv_))
        if (track.type == type && track.selected && track.streamId)
            return static_cast<int>(*track.streamId & 0xFF);
    return std::nullopt;
}

void MpvPlayer::showCannotPlay(const std::string& reason) {
    showMessage(QString::fromStdString(reason));
}

void MpvPlayer::startLoading(const QByteArray& url, const char* fileOptions) {
    loaded_ = false;
    loading_ = true;
    showPlayState();
    knownDuration_ = 0.0;
    pendingSeek_.reset();
    hideMessage();
    const char* command[] = {"loadfile", url.constData(), "replace", fileOptions, nullptr};
    if (!*fileOptions)
        command[3] = nullptr;
    const int error = mpv_command_async(mpv_, 0, command);
    if (error < 0) {
        loading_ = false;
        showMessage(QString::fromUtf8(mpv_error_string(error)));
        throw std::runtime_error(std::string("Cannot play this file: ") + mpv_error_string(error));
    }
}

double MpvPlayer::doubleProperty(const char* name) const {
    double value = 0.0;
    // Unavailable while nothing is loaded: that reads as 0.
    if (mpv_get_property(mpv_, name, MPV_FORMAT_DOUBLE, &value) < 0 || !std::isfinite(value))
        return 0.0;
    return value;
}

double MpvPlayer::position() const {
    if (!loaded_ && !loading_)
        return 0.0;
    if (pendingSeek_)
        return *pendingSeek_;
    return loaded_ ? doubleProperty("time-pos") : 0.0;
}

void MpvPlayer::setPosition(double seconds) {
    if (!loaded_ && !loading_)
        return; // nothing to seek in: the position stays 0
    pendingSeek_ = seconds;
    if (loaded_)
        seek(seconds, true); // otherwise it is made once the file has loaded
}

double MpvPlayer::duration() const {
    if (!loaded_)
        return 0.0;
    return titleDuration_ ? *titleDuration_ : doubleProperty("duration");
}

void MpvPlayer::seek(double seconds, bool exact) {
    if (!loaded_)
        return;
    const QByteArray target = QByteArray::number(seconds, 'f', 3);
    const char* command[] = {"seek", target.constData(),
                             exact ? "absolute+exact" : "absolute+keyframes", nullptr};
    mpv_command_async(mpv_, 0, command);
}

void MpvPlayer::drainEvents() {
    while (mpv_) {
        const mpv_event* event = mpv_wait_event(mpv_, 0);
        if (event->event_id == MPV_EVENT_NONE)
            break;
        handleEvent(*event);
    }
}

void MpvPlayer::handleEvent(const mpv_event& event) {
    switch (event.event_id) {
    case MPV_EVENT_FILE_LOADED:
        loaded_ = true;
        loading_ = false;
        // Now, not when the property's change is reported: a click on the slider right after
        // the load must already find its range.
        showDuration(doubleProperty("duration"));
        showPlayState();
        hideMessage();
        if (pendingSeek_)
            seek(*pendingSeek_, true);
        applyStreamChoice();
        break;
    case MPV_EVENT_PLAYBACK_RESTART:
        pendingSeek_.reset();
        break;
    case MPV_EVENT_END_FILE: {
        // The player has freed the file's demuxer and decoders by the time it says so.
        releaseFreedHeap();
        const auto* end = static_cast<const mpv_event_end_file*>(event.data);
        if (end->reason == MPV_END_FILE_REASON_ERROR) {
            loaded_ = false;
            loading_ = false;
            showPlayState();
            pendingSeek_.reset();
            showMessage(QString::fromUtf8(mpv_error_string(end->error)));
        }
        break;
    }
    case MPV_EVENT_PROPERTY_CHANGE: {
        const auto* property = static_cast<const mpv_event_property*>(event.data);
        const std::string name = property->name;
        if (name == "time-pos" && property->format == MPV_FORMAT_DOUBLE) {
            showTime(*static_cast<double*>(property->data));
        } else if (name == "duration") {
            showDuration(
                property->format == MPV_FORMAT_DOUBLE ? *static_cast<double*>(property->data) : 0);
        } else if (name == "pause" && property->format == MPV_FORMAT_FLAG) {
            pauseFlag_ = *static_cast<int*>(property->data) != 0;
            showPlayState();
        } else if (name == "track-list") {
            applyStreamChoice();
        }
        break;
    }
    default:
        break;
    }
}

void MpvPlayer::showDuration(double seconds) {
    knownDuration_ = titleDuration_ && seconds > 0 ? *titleDuration_ : seconds;
    slider_->setRange(0, static_cast<int>(knownDuration_ * kSliderUnitsPerSecond));
}

void MpvPlayer::showTime(double position) {
    if (!slider_->isSliderDown())
        slider_->setValue(static_cast<int>(position * kSliderUnitsPerSecond));
    time_->setText(clockText(position) + QStringLiteral(" / ") + clockText(knownDuration_));
}

void MpvPlayer::showMessage(const QString& text) {
    message_->setText(tr("Cannot play this file") + QLatin1Char('\n') + text);
    // The video's native window would cover any widget over it.
    video_->hide();
    message_->show();
}

void MpvPlayer::hideMessage() {
    message_->hide();
    video_->show();
}

QImage MpvPlayer::picture() const {
    return videoWindow_->grabPicture();
}

QString MpvPlayer::message() const {
    return message_->isHidden() ? QString() : message_->text();
}

} // namespace parvane
