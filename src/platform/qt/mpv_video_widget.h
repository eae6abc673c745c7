#pragma once

#include <QOpenGLWidget>

struct mpv_handle;
struct mpv_render_context;

namespace parvane {

// Draws mpv's video through its render API. The render context belongs to this
// widget's GL context and is freed with it, always before the mpv handle goes.
class MpvVideoWidget : public QOpenGLWidget {
    Q_OBJECT
public:
    MpvVideoWidget(mpv_handle* mpv, QWidget* parent);
    ~MpvVideoWidget() override;

protected:
    void initializeGL() override;
    void paintGL() override;

private:
    void onFrameReady();
    void releaseContext();
    void freeRenderContext();

    mpv_handle* mpv_;
    mpv_render_context* render_ = nullptr;
    bool frameWaiting_ = false;  // mpv has a new frame for the next paint
    bool pictureTraced_ = false; // the start-up trace has had its first picture
};

} // namespace parvane
