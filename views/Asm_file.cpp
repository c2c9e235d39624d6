#include "views/Asm_file.h"

#include "media/File.h"
#include "views/Project.h"
#include "views/Project_group.h"

#include <algorithm>

namespace {

constexpr int LF = 10;
constexpr int Tab = 9;

// The name of a path: what follows the last "/" of a Linux path, or, in a
// path of the Windows form ("C:\ZXProjects\File1.asm"), the last "\" or ":".
std::string NameOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    const std::size_t cut = slash != std::string::npos ? slash : path.find_last_of("\\:");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

} // namespace

TAsmFile::TAsmFile(TProject* project, i32 number)
    : Name("File" + std::to_string(number) + ".asm")
    , Project(project)
    , MadeUp(true)
    , Lifetime(std::make_shared<const char>(0))
{
    Path = (project ? project->GetFolder() : TProjectGroup::DefaultFolder()) + "/" + Name;
    Load();
}

TAsmFile::TAsmFile(TProject* project, const std::string& path)
    : Path(path)
    , Name(NameOf(path))
    , Project(project)
    , Lifetime(std::make_shared<const char>(0))
{
    Load();
}

TAsmFile::~TAsmFile() = default;

void TAsmFile::Unload()
{
    Text.reset();
    LineStarts.clear();
    LastLineFeed = -1;
    LineCount = 0;
    Width = 0;
}

void TAsmFile::Load()
{
    Unload();
    CaretColumn = 0;
    CaretLine = 0;
    CaretOffset = 0;
    Text = std::make_unique<TFile>(MadeUp ? std::string() : Path);

    const std::span<const u8> bytes = Text->GetBytes();
    i64 column = 0;
    i64 width = 0;
    std::size_t lineStart = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == LF) {
            LineStarts.push_back(static_cast<i32>(lineStart));
            LastLineFeed = static_cast<i32>(i);
            lineStart = i + 1;
            width = std::max(width, column + 1);
            column = 0;
        } else {
            column = NextColumn(column, bytes[i]);
        }
    }
    LineCount = static_cast<i32>(LineStarts.size());
    Width = static_cast<i32>(width);
}

i64 TAsmFile::NextColumn(i64 column, int byte)
{
    const i64 next = byte == Tab ? (column / TabSize + 1) * TabSize : column + 1;
    return std::min<i64>(next, MaxColumn);
}

int TAsmFile::ByteAt(i64 offset) const
{
    if (!Text || offset < 0 || offset >= Text->GetSize())
        return -1;
    return Text->GetBytes()[static_cast<std::size_t>(offset)];
}

i32 TAsmFile::LineStart(i32 line) const
{
    return LineStarts[static_cast<std::size_t>(line)];
}

i32 TAsmFile::LineEnd(i32 line) const
{
    if (line + 1 < LineCount)
        return LineStart(line + 1) - 1;
    // The last line ends at the text's last LF; bytes after it are no line.
    return LastLineFeed;
}

std::string TAsmFile::GetLine(i32 line) const
{
    return GetLineSpan(line, 0, MaxColumn);
}

std::string TAsmFile::GetLineSpan(i32 line, i32 first, i32 count) const
{
    std::string text;
    if (line < 0 || line >= LineCount || count <= 0)
        return text;
    first = std::max(first, 0);
    const i64 last = i64(first) + count;  // exclusive
    i64 column = 0;
    for (i64 offset = LineStart(line);; ++offset) {
        const int byte = ByteAt(offset);
        if (byte < 0 || byte == LF || column >= last)
            break;
        const i64 next = NextColumn(column, byte);
        if (byte == Tab) {
            const i64 from = std::max<i64>(column, first);
            const i64 to = std::min(next, last);
            if (to > from)
                text.append(static_cast<std::size_t>(to - from), ' ');
        } else if (column >= first) {
            text.push_back(static_cast<char>(byte));
        }
        if (next == column)  // saturated: nothing further can be shown
            break;
        column = next;
    }
    return text;
}

i32 TAsmFile::GetLineWidth(i32 line) const
{
    if (line < 0 || line >= LineCount)
        return 0;
    return GetColumn(line, LineEnd(line));
}

i32 TAsmFile::GetColumn(i32 line, i32 offset) const
{
    if (line < 0 || line >= LineCount)
        return 0;
    const i32 end = std::clamp(offset, LineStart(line), LineEnd(line));
    i64 column = 0;
    for (i32 at = LineStart(line); at < end; ++at)
        column = NextColumn(column, ByteAt(at));
    return static_cast<i32>(column);
}

i32 TAsmFile::GetOffset(i32 line, i32 column) const
{
    if (line < 0 || line >= LineCount)
        return 0;
    const i32 start = LineStart(line);
    if (column <= 0)
        return start;
    const i32 end = LineEnd(line);
    i32 offset = start;
    i64 reached = 0;
    i64 from = 0;  // the span of the last character passed
    while (reached < column && offset < end) {
        from = reached;
        reached = NextColumn(reached, ByteAt(offset));
        ++offset;
        if (reached == from)  // saturated
            break;
    }
    if (offset == start)
        return start;
    // Standing after a character from column `from` to `reached`: back to
    // its start when that is strictly nearer.
    return column - from < reached - column ? offset - 1 : offset;
}

void TAsmFile::Snap(i32 column)
{
    column = std::min(column, GetLineWidth(CaretLine));
    CaretOffset = GetOffset(CaretLine, column);
    CaretColumn = GetColumn(CaretLine, CaretOffset);
}

TCaret TAsmFile::MoveCaret(int key, bool ctrl, i32 pageLines)
{
    // A text without lines has nowhere to move to.
    if (LineCount == 0)
        return GetCaret();
    const i64 page = std::max<i64>(pageLines, 0);
    switch (key) {
    case KeyPageUp:
        CaretLine = static_cast<i32>(std::max<i64>(i64(CaretLine) - page, 0));
        Snap(CaretColumn);
        break;
    case KeyPageDown:
        CaretLine = static_cast<i32>(std::min<i64>(i64(CaretLine) + page, LastLine()));
        Snap(CaretColumn);
        break;
    case KeyEnd:
        if (ctrl)
            CaretLine = LastLine();
        CaretColumn = GetLineWidth(CaretLine);
        CaretOffset = LineEnd(CaretLine);
        break;
    case KeyHome:
        if (ctrl)
            CaretLine = 0;
        CaretColumn = 0;
        CaretOffset = LineStart(CaretLine);
        break;
    case KeyLeft: {
        if (CaretOffset == 0)
            break;
        --CaretOffset;
        const int byte = ByteAt(CaretOffset);
        if (byte == Tab) {
            CaretColumn = GetColumn(CaretLine, CaretOffset);
        } else if (byte == LF) {
            --CaretLine;
            CaretColumn = GetLineWidth(CaretLine);
        } else {
            --CaretColumn;
        }
        break;
    }
    case KeyUp:
        if (CaretLine == 0)
            break;
        --CaretLine;
        Snap(CaretColumn);
        break;
    case KeyRight: {
        // The last line's LF is the last place of the text: bytes after it
        // belong to no line.
        if (CaretOffset >= LineEnd(LastLine()))
            break;
        const int byte = ByteAt(CaretOffset);
        if (byte == Tab) {
            CaretColumn = static_cast<i32>(NextColumn(CaretColumn, Tab));
        } else if (byte == LF) {
            ++CaretLine;
            CaretColumn = 0;
        } else {
            CaretColumn = static_cast<i32>(NextColumn(CaretColumn, byte));
        }
        ++CaretOffset;
        break;
    }
    case KeyDown:
        if (CaretLine >= LastLine())
            break;
        ++CaretLine;
        Snap(CaretColumn);
        break;
    default:
        break;
    }
    return GetCaret();
}

TCaret TAsmFile::SetCaret(i32 column, i32 line)
{
    if (LineCount == 0)
        return GetCaret();
    CaretLine = std::clamp(line, 0, LastLine());
    Snap(column);
    return GetCaret();
}
