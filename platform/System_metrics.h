// The fixed colours and sizes the windows are drawn with. The program draws
// its own tool-window frames and captions, so it needs the classic desktop
// look in one place instead of asking the desktop theme: a tool window's
// outer size then follows from its client size by fixed arithmetic.
#pragma once

#include <QColor>

namespace SystemMetrics {

// The sizing border of a tool window on each side, in pixels.
inline constexpr int SizingBorder = 4;
// The small caption bar of a tool window, below the top sizing border.
inline constexpr int SmallCaptionHeight = 18;
// The close button inside the small caption bar.
inline constexpr int CaptionButtonWidth = 16;
inline constexpr int CaptionButtonHeight = 14;
// No tool window gets smaller than this (outer size).
inline constexpr int MinToolWindowWidth = 120;
inline constexpr int MinToolWindowHeight = 60;

} // namespace SystemMetrics

// The system colours the views and frames paint with (classic desktop values).
namespace SystemColors {

inline QColor ButtonFace() { return QColor(0xD4, 0xD0, 0xC8); }
inline QColor ButtonShadow() { return QColor(0x80, 0x80, 0x80); }
inline QColor ButtonHighlight() { return QColor(0xFF, 0xFF, 0xFF); }
inline QColor ButtonDarkShadow() { return QColor(0x40, 0x40, 0x40); }
inline QColor ButtonText() { return QColor(0x00, 0x00, 0x00); }
inline QColor ActiveCaption() { return QColor(0x0A, 0x24, 0x6A); }
inline QColor InactiveCaption() { return QColor(0x80, 0x80, 0x80); }
inline QColor CaptionText() { return QColor(0xFF, 0xFF, 0xFF); }
inline QColor InactiveCaptionText() { return QColor(0xD4, 0xD0, 0xC8); }
inline QColor GrayText() { return QColor(0x80, 0x80, 0x80); }
inline QColor HighlightText() { return QColor(0xFF, 0xFF, 0xFF); }
inline QColor Window() { return QColor(0xFF, 0xFF, 0xFF); }
inline QColor Silver() { return QColor(0xC0, 0xC0, 0xC0); }

} // namespace SystemColors
