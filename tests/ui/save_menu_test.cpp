#include "window_fixture.h"

#include "support/media.h"
#include "support/temp_dir.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QPushButton>
#include <QTest>

using namespace parvane;
using namespace parvane::testing;

// The Save button's second way to save: a menu on right click and Ctrl+Shift+S.
class SaveMenuTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void savesAtStreamTimesAndKeepsToTheLockedWorkflow();
};

void SaveMenuTest::savesAtStreamTimesAndKeepsToTheLockedWorkflow() {
    TempDir dir;
    makeProgramStream(dir.file("title.vob"), 8);
    WindowWithFakes fixture;
    QVERIFY(fixture.readyToSave(dir.file("title.vob"), 2, 5, 8.0, dir.file("clip.vob")));
    auto* save = fixture.control<QPushButton>("Command7");
    auto* menu = fixture.control<QMenu>("saveMenu");
    QVERIFY(save->toolTip().contains(QStringLiteral("Save at Stream Times")));
    const auto rightClick = [save] {
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                                save->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(save, &event);
    };
    const auto pressShortcut = [&fixture] {
        // The offscreen platform leaves a closed menu the active window.
        QApplication::setActiveWindow(fixture.window.get());
        QTest::keyClick(fixture.window.get(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    };

    rightClick();
    QVERIFY(menu->isVisible());
    QStringList entries;
    for (const QAction* action : menu->actions())
        entries << action->text();
    QCOMPARE(entries, (QStringList{"Save at Stream Times...", "Save..."}));
    QTest::mouseClick(menu, Qt::LeftButton, {},
                      menu->actionGeometry(menu->actions().front()).center());
    QCOMPARE(fixture.messages.shown, std::vector<std::string>{"Clip Saved"});
    const auto clip = readFile(dir.file("clip.vob"));
    QVERIFY(clip.size() > 2048 && clip.size() % 2048 == 0);
    QCOMPARE(std::vector<std::uint8_t>(clip.begin(), clip.begin() + 4),
             (std::vector<std::uint8_t>{0x00, 0x00, 0x01, 0xBA}));

    pressShortcut();
    QVERIFY(menu->isVisible());
    menu->hide();

    // While the workflow buttons are off (a save runs), neither way opens the menu.
    for (QPushButton* button : fixture.window->workflowButtons())
        button->setEnabled(false);
    rightClick();
    pressShortcut();
    QVERIFY(!menu->isVisible());
}

QTEST_MAIN(SaveMenuTest)
#include "save_menu_test.moc"
