#pragma once

#include "platform/posix/posix_file_system.h"
#include "support/fakes.h"
#include "ui/main_window.h"

#include <QTest>
#include <QWidget>

#include <memory>

namespace parvane::testing {

// A main window on fakes of the player, the web pane, the dialogs and the link opener, with
// real file access that a test can hook into; or on a real player given in place of the fake.
struct WindowWithFakes {
    explicit WindowWithFakes(QWidget* playerWidget = nullptr, MediaPlayer* realPlayer = nullptr) {
        MainWindowParts parts;
        parts.playerWidget = playerWidget ? playerWidget : new QWidget;
        parts.playerWidget->setFocusPolicy(Qt::StrongFocus); // as the real player's
        parts.player = realPlayer ? realPlayer : &player;
        parts.webWidget = new QWidget;
        parts.web = &web;
        parts.files = &files;
        parts.links = &links;
        parts.dialog = &dialog;
        parts.messages = &messages;
        parts.discs = &discs;
        // Small blocks with events after each, so a test can act at a known point of a save.
        parts.savePacing = {{20480, 20480}, std::chrono::milliseconds(0)};
        window = std::make_unique<MainWindow>(parts);
    }

    // Shows the window with marks set on `source`, whose playing time is `duration`, and
    // the save dialog ready to answer `destination`.
    bool readyToSave(const std::string& source, std::int32_t begin, std::int32_t end,
                     double duration, const std::string& destination) {
        window->show();
        window->state().sourcePath = source;
        window->state().clipBegin = begin;
        window->state().clipEnd = end;
        window->state().beginSeconds = begin;
        window->state().endSeconds = end;
        player.mediaDuration = duration;
        dialog.answers.push_back(destination);
        return QTest::qWaitForWindowExposed(window.get());
    }

    template <typename T> T* control(const char* name) const {
        return window->findChild<T*>(QString::fromLatin1(name));
    }

    FakePlayer player;
    FakeWebPane web;
    FakeDialog dialog;
    FakeMessages messages;
    FakeLinks links;
    FakeDiscReader discs;
    PosixFileSystem realFiles;
    HookedFileSystem files{realFiles};
    std::unique_ptr<MainWindow> window;
};

} // namespace parvane::testing
