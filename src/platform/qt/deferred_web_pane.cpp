#include "deferred_web_pane.h"

#include "plugins.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace parvane {

namespace {

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

QWidget* DeferredWebPane::createContent(QObject* plugin) {
    auto* factory = qobject_cast<WebViewPlugin*>(plugin);
    if (!factory)
        return nullptr;
    const PluginWebView made = factory->createWebView(this);
    pane_ = made.pane;
    if (!pendingAddress_.empty())
        pane_->navigate(pendingAddress_);
    return made.widget;
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
