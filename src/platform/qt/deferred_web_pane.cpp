#include "deferred_web_pane.h"

#include "plugins.h"

namespace parvane {

DeferredWebPane::DeferredWebPane(QString pluginPath, QWidget* parent)
    : PluginHost(std::move(pluginPath), tr("The page cannot be shown."), parent) {}

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

} // namespace parvane
