#pragma once

#include <QSlider>

#include <optional>

namespace parvane {

// The player's position slider. A click on the track goes straight to the clicked point
// (Qt's own slider only pages towards it); a drag works as in any slider. The clip marks
// show as two small ticks under the track.
class SeekSlider : public QSlider {
    Q_OBJECT
public:
    explicit SeekSlider(QWidget* parent = nullptr);

    // In slider values; nullopt for a mark not set.
    void setMarks(std::optional<int> begin, std::optional<int> end);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int centreOf(int value) const;

    std::optional<int> begin_;
    std::optional<int> end_;
};

} // namespace parvane
