#include "deferred_web_pane.h"

#include "plugins.h"

#include <QCoreApplication>
#include <QFile>
#include <QOpenGLContext>

#include <cerrno>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

// Qt's own setter of the GL context that all others share with; the web engine declares and
// calls it the same way when it is loaded before the application is made.
QT_BEGIN_NAMESPACE
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext* context);
QT_END_NAMESPACE

namespace parvane {

namespace {

QOpenGLContext* sharedContext = nullptr;
QtMessageHandler previousHandler = nullptr;

// The web engine draws its pages with GL contexts that share with the application's, which
// Qt makes only when asked before the application is (Qt::AA_ShareOpenGLContexts), and
// then before the first paint. Made here instead, once, before the engine is loaded; where
// it cannot be made, the engine is left to start without it.
void shareGlWithTheWebEngine() {
    if (QOpenGLContext::globalShareContext())
        return;
    auto* context = new QOpenGLContext;
    context->setFormat(QSurfaceFormat::defaultFormat());
    if (!context->create()) {
        delete context;
        return;
    }
    sharedContext = context;
    qt_gl_set_global_share_context(context);
    // Before the application's platform integration goes.
    qAddPostRoutine([] {
        qt_gl_set_global_share_context(nullptr);
        delete sharedContext;
        sharedContext = nullptr;
    });
    // The engine also looks for the attribute, without which its GPU process fails to start
    // ("Failed to send GpuControl.CreateCommandBuffer"). Qt sets it, and warns that it
    // should have been set before the application was made: made then, the context is made
    // before the first paint, which is what this avoids. That warning alone is kept quiet.
    previousHandler = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& where, const QString& text) {
            if (!text.contains(QLatin1String("AA_ShareOpenGLContexts")))
                previousHandler(type, where, text);
        });
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    qInstallMessageHandler(previousHandler);
}

// The web engine makes its shared memory as files in the folder and maps them; when it
// cannot create one and the folder is not writable and searchable, it ends the whole
// program, player and all ("incorrect permissions on /dev/shm"). Returns the system's
// reason why the folder will not do, or nothing when a file can be made and mapped there.
QString sharedMemoryProblem(const QString& folder) {
    const std::string path = QFile::encodeName(folder).toStdString();
    const auto reason = [](int error) { return QString::fromLocal8Bit(std::strerror(error)); };
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return reason(errno);
    if (!S_ISDIR(info.st_mode))
        return reason(ENOTDIR);
    if (::access(path.c_str(), W_OK | X_OK) != 0)
        return reason(errno);
    std::string name = path + "/.parvane-XXXXXX";
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0)
        return reason(errno);
    ::unlink(name.c_str());
    int error = 0;
    const long page = ::sysconf(_SC_PAGESIZE);
    if (::ftruncate(fd, page) != 0) {
        error = errno;
    } else if (void* mapped = ::mmap(nullptr, static_cast<std::size_t>(page),
                                     PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
               mapped == MAP_FAILED) {
        error = errno;
    } else {
        ::munmap(mapped, static_cast<std::size_t>(page));
    }
    ::close(fd);
    return error != 0 ? reason(error) : QString();
}

} // namespace

DeferredWebPane::DeferredWebPane(QString pluginPath, QWidget* parent, QString sharedMemoryFolder)
    : PluginHost(std::move(pluginPath), tr("The page cannot be shown."), parent),
      sharedMemoryFolder_(std::move(sharedMemoryFolder)) {}

void DeferredWebPane::navigate(const std::string& address) {
    pendingAddress_ = address;
    if (pane_)
        pane_->navigate(address);
}

QWidget* DeferredWebPane::createContent(QObject* plugin, QWidget* parent) {
    auto* factory = qobject_cast<WebViewPlugin*>(plugin);
    if (!factory)
        return nullptr;
    const PluginWebView made = factory->createWebView(parent);
    pane_ = made.pane;
    if (!pendingAddress_.empty())
        pane_->navigate(pendingAddress_);
    return made.widget;
}

void DeferredWebPane::beforeLoading() {
    shareGlWithTheWebEngine();
}

QString DeferredWebPane::unmetNeed() const {
    const QString problem = sharedMemoryProblem(sharedMemoryFolder_);
    if (problem.isEmpty())
        return {};
    const QString why =
        tr("%1 cannot hold the web engine's shared memory: %2.").arg(sharedMemoryFolder_, problem);
    // Said on the terminal too: the pane is too small to be sure of showing all of it.
    qWarning("The page cannot be shown. %s", qUtf8Printable(why));
    return why;
}

} // namespace parvane
