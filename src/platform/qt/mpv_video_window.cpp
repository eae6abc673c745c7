#include "mpv_video_window.h"

#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QPlatformSurfaceEvent>

#include <mpv/client.h>
#include <mpv/render_gl.h>

#include <chrono>
#include <cstdio>

namespace parvane {

namespace {

void* getProcAddress(void*, const char* name) {
    QOpenGLContext* context = QOpenGLContext::currentContext();
    return context ? reinterpret_cast<void*>(context->getProcAddress(name)) : nullptr;
}

} // namespace

MpvVideoWindow::MpvVideoWindow(mpv_handle* mpv) : mpv_(mpv) {
    setSurfaceType(QSurface::OpenGLSurface);
    // A click on the video must leave the keyboard with the window around it, whose
    // shortcuts drive the player.
    setFlag(Qt::WindowDoesNotAcceptFocus);
    create();
    context_ = new QOpenGLContext(this);
    context_->setFormat(requestedFormat());
    if (!context_->create() || !context_->makeCurrent(this))
        return; // the video stays black; the controls and the rest still work
    mpv_opengl_init_params glInit{&getProcAddress, nullptr};
    int advancedControl = 0; // with 1, rendering and property reads on one thread deadlock
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_API_TYPE, const_cast<char*>(MPV_RENDER_API_TYPE_OPENGL)},
        {MPV_RENDER_PARAM_OPENGL_INIT_PARAMS, &glInit},
        {MPV_RENDER_PARAM_ADVANCED_CONTROL, &advancedControl},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    if (mpv_render_context_create(&render_, mpv_, params) < 0)
        render_ = nullptr;
    context_->doneCurrent();
    if (!render_)
        return;
    // Called from mpv's threads: only post to the GUI thread.
    mpv_render_context_set_update_callback(
        render_,
        [](void* self) {
            QMetaObject::invokeMethod(static_cast<MpvVideoWindow*>(self),
                                      &MpvVideoWindow::onFrameReady, Qt::QueuedConnection);
        },
        this);
}

MpvVideoWindow::~MpvVideoWindow() {
    releaseContext();
}

bool MpvVideoWindow::event(QEvent* event) {
    switch (event->type()) {
    case QEvent::UpdateRequest:
        paint();
        return true;
    case QEvent::PlatformSurface:
        // The context can be made current only on a surface that exists; a window container
        // destroys it before it deletes this window.
        if (static_cast<QPlatformSurfaceEvent*>(event)->surfaceEventType() ==
            QPlatformSurfaceEvent::SurfaceAboutToBeDestroyed)
            releaseContext();
        break;
    default:
        break;
    }
    return QWindow::event(event);
}

void MpvVideoWindow::exposeEvent(QExposeEvent*) {
    if (isExposed())
        paint();
}

void MpvVideoWindow::releaseContext() {
    if (!render_)
        return;
    context_->makeCurrent(this);
    mpv_render_context_free(render_);
    render_ = nullptr;
    context_->doneCurrent();
}

void MpvVideoWindow::render(int framebuffer, QSize size) {
    mpv_opengl_fbo fbo{framebuffer, size.width(), size.height(), 0};
    // GL framebuffers have their origin at the bottom, mpv's pictures at the top.
    int flipY = 1;
    int block = 0; // never hold the GUI thread waiting for a frame's display time
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_OPENGL_FBO, &fbo},
        {MPV_RENDER_PARAM_FLIP_Y, &flipY},
        {MPV_RENDER_PARAM_BLOCK_FOR_TARGET_TIME, &block},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    mpv_render_context_render(render_, params);
}

void MpvVideoWindow::paint() {
    if (!render_ || !isExposed() || !context_->makeCurrent(this))
        return;
    render(static_cast<int>(context_->defaultFramebufferObject()), size() * devicePixelRatio());
    context_->swapBuffers(this);
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

QImage MpvVideoWindow::grabPicture() {
    if (!render_ || size().isEmpty() || !context_->makeCurrent(this))
        return {};
    QOpenGLFramebufferObject target(size() * devicePixelRatio());
    render(static_cast<int>(target.handle()), target.size());
    QImage picture = target.toImage();
    context_->doneCurrent();
    return picture;
}

void MpvVideoWindow::onFrameReady() {
    if (render_ && (mpv_render_context_update(render_) & MPV_RENDER_UPDATE_FRAME)) {
        frameWaiting_ = true;
        requestUpdate();
    }
}

} // namespace parvane
