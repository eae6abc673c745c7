// The libmpv player, loaded as a plugin once the window has been painted.

#include "mpv_player.h"
#include "plugins.h"

#include <QObject>

namespace parvane {

class MpvPlayerPlugin : public QObject, public PlayerPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID PARVANE_PLAYER_PLUGIN_IID)
    Q_INTERFACES(parvane::PlayerPlugin)
public:
    PluginPlayer createPlayer(QWidget* parent) override {
        auto* player = new MpvPlayer(parent);
        return {player, player};
    }
};

} // namespace parvane

#include "player_plugin.moc"
