#pragma once

#include <QSlider>

#include <optional>
#include <utility>
#include <vector>

namespace parvane {

// The player's position slider. A click on the track goes straight to the clicked point
// (Qt's own slider only pages towards it); a drag works as in any slider. The clip marks
// show as two small ticks under the track; where a clip cut at stream times would really
// begin and end, as two ticks of the same colours above it; chapter starts as grey ticks
// above it.
class SeekSlider : public QSlider {
    Q_OBJECT
public:
    explicit SeekSlider(QWidget* parent = nullptr);

    // In slider values; nullopt for a mark not set.
    void setMarks(std::optional<int> begin, std::optional<int> end);
    void setStreamClip(std::optional<std::pair<int, int>> clip);
    void setChapters(std::vector<int> starts);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int centreOf(int value) const;

    std::optional<int> begin_;
    std::optional<int> end_;
    std::optional<std::pair<int, int>> streamClip_;
    std::vector<int> chapters_;
};

} // namespace parvane
