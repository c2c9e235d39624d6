#include "shell/Helper.h"

#include <cstdlib>
#include <limits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

TOutlinePainter* OutlinePainter = nullptr;

// The one outline on the screen. Kept apart from the rectangle, so that an
// outline of an empty rectangle at the origin is still erased later.
bool OutlineVisible = false;
TScreenRect OutlineRect;

const char* const CannotOpen = "Can not open selected file!";
const char* const CannotMeasure = "Can not determine lenght of selected file!";

} // namespace

void SetDragOutlinePainter(TOutlinePainter* painter)
{
    if (OutlinePainter == painter)
        return;
    // The old painter's outline would otherwise stay on the screen for good.
    if (OutlinePainter && OutlineVisible)
        OutlinePainter->Hide();
    OutlineVisible = false;
    OutlineRect = {};
    OutlinePainter = painter;
}

i32 DragDistance(i32 x1, i32 y1, i32 x2, i32 y2)
{
    const i64 dx = std::llabs(i64(x1) - i64(x2));
    const i64 dy = std::llabs(i64(y1) - i64(y2));
    const i64 distance = dx > dy ? dx : dy;
    return distance > std::numeric_limits<i32>::max() ? std::numeric_limits<i32>::max() : i32(distance);
}

void DrawDragRect(bool show, const TScreenRect& rect)
{
    if (show && OutlineVisible && rect == OutlineRect)
        return;
    if (OutlineVisible) {
        if (OutlinePainter)
            OutlinePainter->Hide();
        OutlineVisible = false;
        OutlineRect = {};
    }
    if (show) {
        if (OutlinePainter)
            OutlinePainter->Show(rect);
        OutlineVisible = true;
        OutlineRect = rect;
    }
}

i32 GetFileLength(const std::string& path)
{
    // Non-blocking, so that a named pipe cannot stall the dialog.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw TTextError(CannotOpen);
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        throw TTextError(CannotOpen);
    }
    const off_t length = ::lseek(fd, 0, SEEK_END);
    ::close(fd);
    if (length < 0)
        throw TTextError(CannotMeasure);
    if (length > std::numeric_limits<i32>::max())
        throw TTextError(CannotOpen);
    return i32(length);
}
