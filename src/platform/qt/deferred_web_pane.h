#pragma once

#include "platform/web_pane.h"
#include "plugin_host.h"

namespace parvane {

// The web pane as the window sees it from its start: the web engine's plugin loads after
// the pane's first paint, and the page asked for meanwhile is shown once it has.
class DeferredWebPane : public PluginHost, public WebPane {
    Q_OBJECT
public:
    // The web engine keeps its shared memory in files in `sharedMemoryFolder`.
    explicit DeferredWebPane(QString pluginPath, QWidget* parent = nullptr,
                             QString sharedMemoryFolder = QStringLiteral("/dev/shm"));

    void navigate(const std::string& address) override;

protected:
    QWidget* createContent(QObject* plugin, QWidget* parent) override;
    QString unmetNeed() const override;
    void beforeLoading() override;

private:
    WebPane* pane_ = nullptr;
    std::string pendingAddress_;
    QString sharedMemoryFolder_;
};

} // namespace parvane
