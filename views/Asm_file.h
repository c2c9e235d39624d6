// TAsmFile: one assembler source file of a project, read whole once and
// shown read-only by the source viewer, with a caret that moves through it.
//
// Text rules. Only LF (byte 10) ends a line, and it belongs to the line it
// ends; every other byte, a carriage return included, is a character of its
// line. Bytes after the last LF form no line and are never shown. A tab
// moves the column to the next multiple of 8; every other byte takes one
// column. The caret offset is always the offset of a character of a line,
// possibly the line's LF.
//
// The file's bytes are never trusted: offsets are checked against the text,
// columns are counted in 64 bits and saturate at MaxColumn, so no line is
// too long or too tab-heavy for the arithmetic of the viewer.
#pragma once

#include "core/Types.h"

#include <memory>
#include <string>
#include <vector>

class TFile;
class TProject;

// A caret place: display column (tabs expanded) and line, both from 0.
struct TCaret {
    i32 Column = 0;
    i32 Line = 0;

    bool operator==(const TCaret&) const = default;
};

class TAsmFile {
public:
    // The keys MoveCaret knows, by their virtual key codes.
    enum TCaretKey : int {
        KeyPageUp = 33,
        KeyPageDown = 34,
        KeyEnd = 35,
        KeyHome = 36,
        KeyLeft = 37,
        KeyUp = 38,
        KeyRight = 39,
        KeyDown = 40,
    };
    static constexpr i32 TabSize = 8;
    // Columns saturate here, so that 8 pixels a column still fits an i32.
    static constexpr i32 MaxColumn = 0x0FFFFFF0;

    // A new file of the project: "File<number>.asm" in the project's folder.
    // It names no file on disk (nothing of a project is ever written), so
    // its text is empty and no file is read for it.
    TAsmFile(TProject* project, i32 number);
    // An existing file, read whole now.
    TAsmFile(TProject* project, const std::string& path);
    ~TAsmFile();
    TAsmFile(const TAsmFile&) = delete;
    TAsmFile& operator=(const TAsmFile&) = delete;

    // Reads the file again from its path and counts its lines; the caret
    // goes back to the start. A file that cannot be read gives no lines.
    void Load();
    // Drops the text and its lines.
    void Unload();

    const std::string& GetName() const { return Name; }
    const std::string& GetPath() const { return Path; }
    TProject* GetProject() const { return Project; }
    i32 GetLineCount() const { return LineCount; }
    // Columns of the longest line plus 1 (0 without lines).
    i32 GetWidth() const { return Width; }

    // Line i with tabs expanded to spaces and without its LF; empty when
    // there is no such line.
    std::string GetLine(i32 line) const;
    // The part of line i from column first on, at most count columns, tabs
    // expanded (a tab cut by the window leaves its visible spaces): what a
    // viewer draws of a line far wider than its window.
    std::string GetLineSpan(i32 line, i32 first, i32 count) const;
    // Columns of the line up to its LF.
    i32 GetLineWidth(i32 line) const;
    // The column at which the byte at offset starts, counted from the
    // line's start (offsets outside the line are clamped to it).
    i32 GetColumn(i32 line, i32 offset) const;
    // The byte offset within the line nearest to the column: inside a
    // character the nearer of its two edges, a tie to the later one.
    i32 GetOffset(i32 line, i32 column) const;

    // Moves the caret by a navigation key (TCaretKey; other keys leave it).
    // ctrl: End and Home go to the last or the first line. pageLines: the
    // distance of Page Up and Page Down. Returns the new caret.
    TCaret MoveCaret(int key, bool ctrl, i32 pageLines);
    // Places the caret on the line (clamped to the lines there are) at the
    // character boundary nearest to the column. Returns the caret placed.
    TCaret SetCaret(i32 column, i32 line);
    TCaret GetCaret() const { return {CaretColumn, CaretLine}; }
    i32 GetCaretOffset() const { return CaretOffset; }

    // Expires when the file object is deleted, so that a viewer holding a
    // page of it can tell without touching it.
    std::weak_ptr<const void> GetLifetime() const { return Lifetime; }

private:
    // The byte at offset, or -1 outside the text.
    int ByteAt(i64 offset) const;
    i32 LineStart(i32 line) const;
    // The offset of the line's LF.
    i32 LineEnd(i32 line) const;
    // The line count is never 0 here.
    i32 LastLine() const { return LineCount - 1; }
    // Clamps the column to the line, then to the nearest boundary.
    void Snap(i32 column);
    static i64 NextColumn(i64 column, int byte);

    std::string Path;
    std::string Name;
    TProject* Project;
    std::unique_ptr<TFile> Text;
    i32 LineCount = 0;
    i32 Width = 0;
    i32 CaretColumn = 0;
    i32 CaretLine = 0;
    std::vector<i32> LineStarts;
    i32 CaretOffset = 0;
    // The offset of the text's last LF: the end of the last line.
    i32 LastLineFeed = -1;
    // A made-up path of a new file: nothing to read.
    bool MadeUp = false;
    std::shared_ptr<const char> Lifetime;
};
