// Helpers the shell, the views and the dialogs share: the hexadecimal text
// forms (from core), the drag distance and drag outline of the docking
// windows, and the length of a file. Free of Qt, so it is tested headless.
#pragma once

#include "core/Hex_text.h"
#include "core/Types.h"

#include <string>

// A rectangle in global screen coordinates; right and bottom are exclusive.
struct TScreenRect {
    i32 Left = 0;
    i32 Top = 0;
    i32 Right = 0;
    i32 Bottom = 0;

    bool operator==(const TScreenRect&) const = default;
};

// Puts the drag outline on the screen and takes it away. The windows
// implement it (an overlay that draws a dotted 3-pixel frame); DrawDragRect
// makes sure at most one outline is visible and that an unchanged rectangle
// is not drawn again.
class TOutlinePainter {
public:
    virtual ~TOutlinePainter() = default;

    virtual void Show(const TScreenRect& rect) = 0;
    virtual void Hide() = 0;
};

// Installs the painter DrawDragRect draws with (null: outline logic only).
// The caller keeps it alive while it is installed.
void SetDragOutlinePainter(TOutlinePainter* painter);

// The larger of the horizontal and vertical distances between two points:
// the callers start a drag only when it is above 4.
i32 DragDistance(i32 x1, i32 y1, i32 x2, i32 y2);

// With show set: puts the outline on rect, erasing the previous one first
// (nothing happens when rect is the outline already shown). With show clear:
// erases the outline, whatever rect is. User-interface thread only.
void DrawDragRect(bool show, const TScreenRect& rect);

// The length of a regular file. Throws TTextError "Can not open selected
// file!" when it cannot be opened, is not a regular file or is 2 GB or
// larger, and "Can not determine lenght of selected file!" when its end
// cannot be found.
i32 GetFileLength(const std::string& path);
