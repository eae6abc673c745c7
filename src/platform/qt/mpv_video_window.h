#pragma once

#include <QImage>
#include <QWindow>

class QOpenGLContext;
struct mpv_handle;
struct mpv_render_context;

namespace parvane {

// Draws mpv's video through its render API straight into a native window of its own, which
// the player sets among its widgets with QWidget::createWindowContainer: a GL widget would
// need the whole top-level window to be a GL surface. Its GL context and mpv's render
// context are made with it, so that a file can be loaded before the window is first shown;
// the render context is freed while the window's surface still exists, always before the
// mpv handle goes.
class MpvVideoWindow : public QWindow {
    Q_OBJECT
public:
    explicit MpvVideoWindow(mpv_handle* mpv);
    ~MpvVideoWindow() override;

    // The picture mpv shows now, drawn again off screen; null when there is none.
    QImage grabPicture();

protected:
    bool event(QEvent* event) override;
    void exposeEvent(QExposeEvent* event) override;

private:
    void onFrameReady();
    void paint();
    void releaseContext();
    void render(int framebuffer, QSize size);

    mpv_handle* mpv_;
    QOpenGLContext* context_ = nullptr;
    mpv_render_context* render_ = nullptr;
    bool frameWaiting_ = false;  // mpv has a new frame for the next paint
    bool pictureTraced_ = false; // the start-up trace has had its first picture
};

} // namespace parvane
