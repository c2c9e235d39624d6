// The drag outline on the screen: four thin always-on-top strips, 3 pixels
// wide, drawn dotted, around the rectangle where a dragged tool window would
// go. A desktop cannot be drawn on directly, so the strips are small
// frameless windows that take no input and no focus; a dotted black-and-white
// pattern stays visible on any background, as an inverted line would.
//
//     TOutlineOverlay overlay;
//     SetDragOutlinePainter(&overlay);   // DrawDragRect now draws with it
#pragma once

#include "shell/Helper.h"

#include <QRect>

#include <array>

class QWidget;

class TOutlineOverlay : public TOutlinePainter {
public:
    static constexpr int Thickness = 3;

    TOutlineOverlay();
    ~TOutlineOverlay() override;
    TOutlineOverlay(const TOutlineOverlay&) = delete;
    TOutlineOverlay& operator=(const TOutlineOverlay&) = delete;

    // Right and bottom of the rectangle are exclusive.
    void Show(const TScreenRect& rect) override;
    void Hide() override;

    bool IsShown() const { return Shown; }
    const TScreenRect& Shape() const { return Current; }
    // The strips: top, bottom, left, right (null before the first Show).
    QWidget* Strip(int index) const { return Strips[std::size_t(index)]; }

private:
    void CreateStrips();

    std::array<QWidget*, 4> Strips{};
    bool Shown = false;
    TScreenRect Current;
};
