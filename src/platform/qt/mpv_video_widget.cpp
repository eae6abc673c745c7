#include "mpv_video_widget.h"

#include <QOpenGLContext>

#include <mpv/client.h>
#include <mpv/render_gl.h>

#include <chrono>
#include <cstdio>
#include <stdexcept>

namespace parvane {

namespace {

void* getProcAddress(void*, const char* name) {
    QOpenGLContext* context = QOpenGLContext::currentContext();
    return context ? reinterpret_cast<void*>(context->getProcAddress(name)) : nullptr;
}

} // namespace

MpvVideoWidget::MpvVideoWidget(mpv_handle* mpv, QWidget* parent)
    : QOpenGLWidget(parent), mpv_(mpv) {}

MpvVideoWidget::~MpvVideoWidget() {
    // QOpenGLWidget's destructor, which runs after this one, destroys the GL context; its
    // signal must not reach a widget that is already half gone.
    if (context())
        disconnect(context(), nullptr, this, nullptr);
    if (render_) {
        makeCurrent();
        freeRenderContext();
        doneCurrent();
    }
}

void MpvVideoWidget::initializeGL() {
    freeRenderContext();
    mpv_opengl_init_params glInit{&getProcAddress, nullptr};
    int advancedControl = 0; // with 1, rendering and property reads on one thread deadlock
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_API_TYPE, const_cast<char*>(MPV_RENDER_API_TYPE_OPENGL)},
        {MPV_RENDER_PARAM_OPENGL_INIT_PARAMS, &glInit},
        {MPV_RENDER_PARAM_ADVANCED_CONTROL, &advancedControl},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    if (mpv_render_context_create(&render_, mpv_, params) < 0) {
        render_ = nullptr;
        return; // the video stays black; the controls and the rest still work
    }
    // Called from mpv's threads: only post to the GUI thread.
    mpv_render_context_set_update_callback(
        render_,
        [](void* self) {
            QMetaObject::invokeMethod(static_cast<MpvVideoWidget*>(self),
                                      &MpvVideoWidget::onFrameReady, Qt::QueuedConnection);
        },
        this);
    // Reparenting to another window destroys the GL context; mpv must let go of it first.
    connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, &MpvVideoWidget::releaseContext,
            Qt::UniqueConnection);
}

void MpvVideoWidget::releaseContext() {
    makeCurrent();
    freeRenderContext();
    doneCurrent();
}

void MpvVideoWidget::paintGL() {
    if (!render_)
        return;
    const qreal ratio = devicePixelRatioF();
    mpv_opengl_fbo fbo{static_cast<int>(defaultFramebufferObject()),
                       static_cast<int>(width() * ratio), static_cast<int>(height() * ratio), 0};
    int flipY = 1;
    int block = 0; // never hold the GUI thread waiting for a frame's display time
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_OPENGL_FBO, &fbo},
        {MPV_RENDER_PARAM_FLIP_Y, &flipY},
        {MPV_RENDER_PARAM_BLOCK_FOR_TARGET_TIME, &block},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    mpv_render_context_render(render_, params);
    if (frameWaiting_ && !pictureTraced_) {
        // For the start-up benchmark: when the first picture of a file was drawn.
        pictureTraced_ = true;
        if (qEnvironmentVariableIsSet("PARVANE_TRACE_STARTUP")) {
            const auto now = std::chrono::system_clock::now().time_since_epoch();
            std::fprintf(stderr, "parvane: first picture %lld\n",
                         static_cast<long long>(
                             std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()));
        }
    }
    frameWaiting_ = false;
}

void MpvVideoWidget::onFrameReady() {
    if (render_ && (mpv_render_context_update(render_) & MPV_RENDER_UPDATE_FRAME)) {
        frameWaiting_ = true;
        update();
    }
}

void MpvVideoWidget::freeRenderContext() {
    if (render_) {
        mpv_render_context_free(render_);
        render_ = nullptr;
    }
}

} // namespace parvane
