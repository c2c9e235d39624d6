// TEditorF: the source viewer. It shows assembler source files (TAsmFile)
// read-only, one page per open file with a tab for each, and paints the text
// itself: only the visible lines, into an off-screen bitmap of the visible
// area, which painting copies to the screen. A blinking caret moves with the
// navigation keys, the wheel and the mouse, and its line is highlighted.
//
// Geometry: a character cell is 8 x 17 pixels whatever the font; line n lies
// at y = 17 n and column c at x = 4 + 8 c of the document, shifted on the
// screen by the scroll position (h, v).
//
// The viewer holds pages of files its projects own. A file can be deleted
// while its page is open (removed from its project in the project manager):
// each page keeps the file's lifetime token and a page whose file went is
// closed before anything else happens, so a deleted file is never touched.
#pragma once

#include "core/Types.h"
#include "shell/View_frame.h"
#include "views/Asm_file.h"

#include <QImage>
#include <QString>
#include <QStringList>

#include <memory>
#include <string>
#include <vector>

class QAction;
class QActionGroup;
class QLabel;
class QMenu;
class QStatusBar;
class QTabBar;
class QTimer;
class TEditorScrollBox;

class TEditorF : public TViewF {
    Q_OBJECT

public:
    static constexpr int CellWidth = 8;
    static constexpr int CellHeight = 17;
    static constexpr int TextLeft = 4;
    // Three lines a wheel notch.
    static constexpr int WheelStep = 3 * CellHeight;
    static constexpr int BlinkIntervalMs = 500;
    static constexpr int TabSetHeight = 21;
    // The caret line's band: a pale blue.
    static constexpr QRgb CaretLineColor = 0xFFE8F2FE;

    explicit TEditorF(QWidget* owner);
    ~TEditorF() override;

    // Shows the file, adding a page for it when it has none.
    void OpenFile(TAsmFile* file);

    // --- TViewF ---
    // The text does not depend on the machine: only pages of files that
    // went are closed.
    void UpdateView() override;
    void KeyDown(int& key, Qt::KeyboardModifiers shift) override;
    void MouseWheelDown(Qt::KeyboardModifiers shift, const QPoint& mousePos, bool& handled) override;
    void MouseWheelUp(Qt::KeyboardModifiers shift, const QPoint& mousePos, bool& handled) override;

    // Closes every page whose file was deleted.
    void DropClosedPages();
    // The same for every source viewer of the owner: for whoever deleted
    // files that may be open.
    static void DropClosedPagesOf(QObject* owner);

    // --- Handlers ---
    void EditorTSChange(int index);
    void PageMIClick(QAction* item);
    void ClosePageAExecute();
    void CloseAllOtherPagesAExecute();
    void ReadOnlyAExecute();
    void EditTimerTimer();
    void EditorPBPaint();
    // A press at a point of the paint box's visible part.
    void EditorPBMouseDown(Qt::MouseButton button, const QPoint& point);
    void EditorSBxCanResize();
    void EditorSBxResize();

    // --- Inspection (tests) ---
    TAsmFile* GetDocument() const;
    int GetPageCount() const { return int(Pages.size()); }
    TAsmFile* GetPageFile(int index) const;
    int GetCurrentPage() const;
    // The Pages submenu's captions, in menu order, and the checked one.
    QStringList GetPageItemCaptions() const;
    QString GetCheckedPageItem() const;
    QString GetStatusText(int panel) const;
    TCaret GetCaret() const { return {CaretColumn, CaretLine}; }
    bool IsInsertMode() const { return InsertMode; }
    bool IsCaretShown() const { return CaretShown; }
    bool IsCaretEnabled() const { return CaretEnabled; }
    QPoint GetScrollPosition() const;
    QPoint GetScrollMaximum() const;
    const QImage& GetBackBitmap() const { return BackBitmap; }
    QWidget* GetPaintBox() const;

    // Components, named as the form names them.
    QTabBar* EditorTS;
    TEditorScrollBox* EditorSBx;
    QStatusBar* EditorSB;
    QLabel* EditorSBPanels[3];
    QMenu* TabSetPM;
    QMenu* PagesMI;
    QActionGroup* PagesAG;
    QAction* ClosePageA;
    QAction* CloseAllOtherPagesA;
    QAction* ReadOnlyA;
    QTimer* EditTimer;

private:
    friend class TEditorScrollBox;

    struct TPage {
        TAsmFile* File;
        std::weak_ptr<const void> Life;
        QAction* Item;         // its entry in the Pages submenu
        std::string Caption;   // name (path), as the submenu sorts it
    };

    void SetDocument(TAsmFile* file);
    void SetCaret(TCaret caret);
    void ShowInsertMode();
    void ClosePage(int index);
    // Takes the page out with its tab and its Pages item, nothing else.
    void RemovePage(int index);
    void Render(bool repaint);
    void ToggleCaret();
    void HideCaret();
    void ShowCaret();
    void RedrawCaret();
    void PlaceCaret(i32 column, i32 line);
    void UpdateScrollRanges();
    // Inverts the caret's 2 x 15 pixels in the back bitmap.
    void InvertCaret();
    void SelectTab(int index);
    int PageOfItem(const QAction* item) const;
    int ScrollX() const;
    int ScrollY() const;
    QSize ClientSize() const;

    TAsmFile* Document = nullptr;
    std::weak_ptr<const void> DocumentLife;
    i32 CaretColumn = 0;
    i32 CaretLine = 0;
    i32 BlinkHold = 0;
    int RenderedScrollX = 0;
    int RenderedScrollY = 0;
    QImage BackBitmap;
    bool InsertMode = true;
    bool CaretEnabled = false;
    bool CaretShown = false;
    i64 CaretX = 0;
    i64 CaretY = 0;
    i64 DrawnX = 0;
    i64 DrawnTop = 0;
    i64 DrawnBottom = 0;
    std::vector<TPage> Pages;
    QFont TextFont;
};
