#include "views/Editor_frame.h"

#include "platform/Application.h"
#include "platform/Component_registry.h"
#include "platform/System_metrics.h"

#include <QAbstractScrollArea>
#include <QAction>
#include <QActionGroup>
#include <QFontMetricsF>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTabBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <limits>

namespace {

constexpr int IntMax = std::numeric_limits<int>::max();

int ClampToInt(i64 value)
{
    return static_cast<int>(std::clamp<i64>(value, std::numeric_limits<int>::min(), IntMax));
}

// The text of a line as it is drawn: one character a byte (the column rule
// counts bytes), control bytes as blanks.
QString DisplayText(const std::string& bytes)
{
    QString text(static_cast<qsizetype>(bytes.size()), QLatin1Char(' '));
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte >= 0x20 && byte != 0x7F)
            text[static_cast<qsizetype>(i)] = QChar(byte);
    }
    return text;
}

QString FromBytes(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// "Courier New" at 10 points (13 pixels on the classic 96-dpi desktop),
// spaced so that every character advances exactly one 8-pixel cell.
QFont CellFont()
{
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPixelSize(13);
    const qreal advance = QFontMetricsF(font).horizontalAdvance(QLatin1Char('M'));
    if (advance > 0)
        font.setLetterSpacing(QFont::AbsoluteSpacing, TEditorF::CellWidth - advance);
    return font;
}

} // namespace

// The scroll box and its paint box (the viewport): the document's pixels
// scrolled by the scroll bars, painted from the view's back bitmap. Keys
// pass it by (it takes no focus); wheel turns go to the view's own wheel
// operations.
class TEditorScrollBox : public QAbstractScrollArea {
public:
    explicit TEditorScrollBox(TEditorF* view) : QAbstractScrollArea(view), View(view)
    {
        setFocusPolicy(Qt::NoFocus);
        setFrameShape(QFrame::StyledPanel);
        setFrameShadow(QFrame::Sunken);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        viewport()->setFocusPolicy(Qt::NoFocus);
        viewport()->setCursor(Qt::IBeamCursor);
        viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
        viewport()->setAutoFillBackground(false);
        horizontalScrollBar()->setTracking(true);
        verticalScrollBar()->setTracking(true);
    }

protected:
    // The viewport's events come here.
    void paintEvent(QPaintEvent*) override { View->EditorPBPaint(); }
    void resizeEvent(QResizeEvent*) override
    {
        View->EditorSBxCanResize();
        View->EditorSBxResize();
    }
    void scrollContentsBy(int, int) override { viewport()->update(); }
    void mousePressEvent(QMouseEvent* event) override
    {
        event->accept();
        View->SetActive();
        View->setFocus(Qt::MouseFocusReason);
        RunGuarded([&] { View->EditorPBMouseDown(event->button(), event->position().toPoint()); });
    }
    void wheelEvent(QWheelEvent* event) override
    {
        event->accept();
        const int delta = event->angleDelta().y();
        if (delta == 0)
            return;
        bool handled = false;
        const QPoint position = event->globalPosition().toPoint();
        RunGuarded([&] {
            if (delta < 0)
                View->MouseWheelDown(event->modifiers(), position, handled);
            else
                View->MouseWheelUp(event->modifiers(), position, handled);
        });
    }

private:
    TEditorF* View;
};

// ---------------------------------------------------------------------------
// Construction

TEditorF::TEditorF(QWidget* owner)
    : TViewF(owner)
    , TextFont(CellFont())
{
    PreferredWidth = 640;
    PreferredHeight = 480;

    EditorTS = new QTabBar(this);
    EditorTS->setObjectName(QStringLiteral("EditorTS"));
    EditorTS->setFixedHeight(TabSetHeight);
    EditorTS->setFont(QFont(QStringLiteral("Tahoma"), 8));
    EditorTS->setDrawBase(false);
    EditorTS->setExpanding(false);
    EditorTS->setFocusPolicy(Qt::NoFocus);
    EditorTS->setStyleSheet(QStringLiteral("QTabBar::tab { background: %1; padding: 2px 8px; }"
                                           "QTabBar::tab:selected { background: %2; }")
                                .arg(SystemColors::ButtonFace().name(), SystemColors::Window().name()));
    EditorTS->setContextMenuPolicy(Qt::CustomContextMenu);

    EditorSBx = new TEditorScrollBox(this);
    EditorSBx->setObjectName(QStringLiteral("EditorSBx"));
    EditorSBx->viewport()->setObjectName(QStringLiteral("EditorPB"));

    EditorSB = new QStatusBar(this);
    EditorSB->setObjectName(QStringLiteral("EditorSB"));
    EditorSB->setSizeGripEnabled(false);
    const int widths[3] = {50, 60, 50};
    for (int i = 0; i < 3; ++i) {
        EditorSBPanels[i] = new QLabel(EditorSB);
        EditorSBPanels[i]->setFixedWidth(widths[i]);
        EditorSBPanels[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        EditorSB->addWidget(EditorSBPanels[i]);
    }
    EditorSBPanels[0]->setText(QStringLiteral(" 0 : 0"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(EditorTS);
    layout->addWidget(EditorSBx, 1);
    layout->addWidget(EditorSB);

    // The tab set's popup.
    TabSetPM = new QMenu(this);
    TabSetPM->setObjectName(QStringLiteral("TabSetPM"));
    ClosePageA = new QAction(QStringLiteral("&Close Page"), this);
    ClosePageA->setObjectName(QStringLiteral("ClosePageA"));
    ClosePageA->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F4));
    ClosePageA->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(ClosePageA);
    PagesMI = new QMenu(QStringLiteral("&Pages"), TabSetPM);
    PagesMI->setObjectName(QStringLiteral("PagesMI"));
    PagesAG = new QActionGroup(this);
    PagesAG->setExclusive(true);
    CloseAllOtherPagesA = new QAction(QStringLiteral("Close All &Other Pages"), this);
    CloseAllOtherPagesA->setObjectName(QStringLiteral("CloseAllOtherPagesA"));
    ReadOnlyA = new QAction(QStringLiteral("&Read Only"), this);
    ReadOnlyA->setObjectName(QStringLiteral("ReadOnlyA"));
    TabSetPM->addAction(ClosePageA);
    TabSetPM->addMenu(PagesMI);
    TabSetPM->addSeparator();
    TabSetPM->addAction(CloseAllOtherPagesA);
    TabSetPM->addSeparator();
    TabSetPM->addAction(ReadOnlyA);

    EditTimer = new QTimer(this);
    EditTimer->setInterval(BlinkIntervalMs);

    connect(EditorTS, &QTabBar::currentChanged, this, Guard([this](int index) { EditorTSChange(index); }));
    connect(EditorTS, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& point) { TabSetPM->popup(EditorTS->mapToGlobal(point)); });
    connect(PagesAG, &QActionGroup::triggered, this, Guard([this](QAction* item) { PageMIClick(item); }));
    connect(ClosePageA, &QAction::triggered, this, Guard([this] { ClosePageAExecute(); }));
    connect(CloseAllOtherPagesA, &QAction::triggered, this, Guard([this] { CloseAllOtherPagesAExecute(); }));
    connect(ReadOnlyA, &QAction::triggered, this, Guard([this] { ReadOnlyAExecute(); }));
    connect(EditTimer, &QTimer::timeout, this, Guard([this] { EditTimerTimer(); }));

    ShowInsertMode();
    BackBitmap = QImage(ClientSize(), QImage::Format_RGB32);
    BackBitmap.fill(SystemColors::Window());
    PlaceCaret(0, 0);
    ShowCaret();
    EditTimer->start();
}

TEditorF::~TEditorF() = default;

// ---------------------------------------------------------------------------
// Geometry

int TEditorF::ScrollX() const
{
    return EditorSBx->horizontalScrollBar()->value();
}

int TEditorF::ScrollY() const
{
    return EditorSBx->verticalScrollBar()->value();
}

QSize TEditorF::ClientSize() const
{
    return EditorSBx->viewport()->size();
}

QWidget* TEditorF::GetPaintBox() const
{
    return EditorSBx->viewport();
}

QPoint TEditorF::GetScrollPosition() const
{
    return {ScrollX(), ScrollY()};
}

QPoint TEditorF::GetScrollMaximum() const
{
    return {EditorSBx->horizontalScrollBar()->maximum(), EditorSBx->verticalScrollBar()->maximum()};
}

void TEditorF::UpdateScrollRanges()
{
    TAsmFile* document = GetDocument();
    const QSize client = ClientSize();
    // Ranges in 64 bits: a file of many short lines is taller than an int
    // of pixels; what lies beyond cannot be scrolled to.
    const i64 height = document ? i64(CellHeight) * document->GetLineCount() : 0;
    const i64 width = document ? i64(CellWidth) * document->GetWidth() : 0;
    QScrollBar* vertical = EditorSBx->verticalScrollBar();
    QScrollBar* horizontal = EditorSBx->horizontalScrollBar();
    vertical->setRange(0, ClampToInt(std::max<i64>(height - client.height(), 0)));
    vertical->setSingleStep(CellHeight);
    vertical->setPageStep(std::max(client.height(), 1));
    horizontal->setRange(0, ClampToInt(std::max<i64>(width - client.width(), 0)));
    horizontal->setSingleStep(CellWidth);
    horizontal->setPageStep(std::max(client.width(), 1));
}

// ---------------------------------------------------------------------------
// Pages

TAsmFile* TEditorF::GetDocument() const
{
    return DocumentLife.expired() ? nullptr : Document;
}

TAsmFile* TEditorF::GetPageFile(int index) const
{
    if (index < 0 || index >= GetPageCount())
        return nullptr;
    const TPage& page = Pages[std::size_t(index)];
    return page.Life.expired() ? nullptr : page.File;
}

int TEditorF::GetCurrentPage() const
{
    return EditorTS->currentIndex();
}

QStringList TEditorF::GetPageItemCaptions() const
{
    QStringList captions;
    for (const QAction* item : PagesMI->actions())
        if (const int page = PageOfItem(item); page >= 0)
            captions << FromBytes(Pages[std::size_t(page)].Caption);
    return captions;
}

QString TEditorF::GetCheckedPageItem() const
{
    const QAction* item = PagesAG->checkedAction();
    const int page = PageOfItem(item);
    return page >= 0 ? FromBytes(Pages[std::size_t(page)].Caption) : QString();
}

QString TEditorF::GetStatusText(int panel) const
{
    return panel >= 0 && panel < 3 ? EditorSBPanels[panel]->text() : QString();
}

int TEditorF::PageOfItem(const QAction* item) const
{
    if (!item)
        return -1;
    for (std::size_t i = 0; i < Pages.size(); ++i)
        if (Pages[i].Item == item)
            return int(i);
    return -1;
}

void TEditorF::SelectTab(int index)
{
    {
        const QSignalBlocker block(EditorTS);
        EditorTS->setCurrentIndex(index);
    }
    EditorTSChange(EditorTS->currentIndex());
}

void TEditorF::OpenFile(TAsmFile* file)
{
    DropClosedPages();
    if (!file)
        return;
    int index = -1;
    for (std::size_t i = 0; i < Pages.size(); ++i)
        if (Pages[i].File == file)
            index = int(i);
    if (index < 0) {
        TPage page{file, file->GetLifetime(), nullptr, file->GetName() + " (" + file->GetPath() + ")"};
        // The submenu stays sorted by caption, compared byte by byte.
        QAction* before = nullptr;
        for (QAction* item : PagesMI->actions()) {
            const int other = PageOfItem(item);
            if (other >= 0 && Pages[std::size_t(other)].Caption > page.Caption) {
                before = item;
                break;
            }
        }
        QString caption = FromBytes(page.Caption);
        caption.replace(QLatin1Char('&'), QStringLiteral("&&"));
        page.Item = new QAction(caption, PagesMI);
        page.Item->setCheckable(true);
        PagesAG->addAction(page.Item);
        PagesMI->insertAction(before, page.Item);
        page.Item->setChecked(true);
        Pages.push_back(std::move(page));
        {
            const QSignalBlocker block(EditorTS);
            EditorTS->addTab(FromBytes(file->GetName()));
        }
        index = GetPageCount() - 1;
    }
    SelectTab(index);
    EditorSBx->viewport()->update();
}

void TEditorF::EditorTSChange(int index)
{
    if (index < 0 || index >= GetPageCount()) {
        // The last page closed: an empty view, not the document that went.
        SetDocument(nullptr);
        return;
    }
    TPage& page = Pages[std::size_t(index)];
    if (page.Life.expired()) {
        DropClosedPages();
        return;
    }
    if (!page.Item->isChecked())
        page.Item->setChecked(true);
    SetDocument(page.File);
    // Each page keeps its own caret: the one shown is the document's.
    SetCaret(page.File->GetCaret());
}

void TEditorF::PageMIClick(QAction* item)
{
    DropClosedPages();
    const int page = PageOfItem(item);
    if (page < 0)
        return;
    if (!item->isChecked())
        item->setChecked(true);
    SelectTab(page);
}

void TEditorF::RemovePage(int index)
{
    delete Pages[std::size_t(index)].Item;
    Pages.erase(Pages.begin() + index);
    const QSignalBlocker block(EditorTS);
    EditorTS->removeTab(index);
}

void TEditorF::ClosePage(int index)
{
    if (index < 0 || index >= GetPageCount())
        return;
    RemovePage(index);
    SelectTab(EditorTS->currentIndex());
}

void TEditorF::DropClosedPages()
{
    bool dropped = false;
    for (int i = GetPageCount() - 1; i >= 0; --i)
        if (Pages[std::size_t(i)].Life.expired()) {
            RemovePage(i);
            dropped = true;
        }
    if (dropped)
        SelectTab(EditorTS->currentIndex());
    else if (Document && DocumentLife.expired())
        SetDocument(nullptr);
}

void TEditorF::DropClosedPagesOf(QObject* owner)
{
    for (QObject* component : TComponentRegistry::Of(owner).OfClass("TEditorF"))
        static_cast<TEditorF*>(component)->DropClosedPages();
}

void TEditorF::ClosePageAExecute()
{
    DropClosedPages();
    if (EditorTS->currentIndex() >= 0)
        ClosePage(EditorTS->currentIndex());
}

void TEditorF::CloseAllOtherPagesAExecute()
{
    DropClosedPages();
    const int current = EditorTS->currentIndex();
    if (current < 0)
        return;
    for (int i = GetPageCount() - 1; i > current; --i)
        ClosePage(i);
    for (int i = current - 1; i >= 0; --i)
        ClosePage(i);
}

void TEditorF::ReadOnlyAExecute()
{
    // The viewer never edits: read-only is all it is.
}

void TEditorF::UpdateView()
{
    DropClosedPages();
}

// ---------------------------------------------------------------------------
// Document, caret and drawing

void TEditorF::SetDocument(TAsmFile* file)
{
    Document = file;
    DocumentLife = file ? file->GetLifetime() : std::weak_ptr<const void>();
    UpdateScrollRanges();
    Render(true);
}

void TEditorF::SetCaret(TCaret caret)
{
    CaretColumn = caret.Column;
    CaretLine = caret.Line;
    const QSize client = ClientSize();
    const i64 width = client.width();
    const i64 height = client.height();
    i64 h = ScrollX();
    i64 v = ScrollY();
    const i64 column = caret.Column;
    const i64 line = caret.Line;
    if (column < (h + 7) / CellWidth)
        h = CellWidth * column;
    if (column > (width + h - 1) / CellWidth - 1)
        h = CellWidth * (column + 1) - width;
    if (line < (v + 16) / CellHeight)
        v = CellHeight * line;
    if (line > (height + v - 1) / CellHeight - 1)
        v = CellHeight * (line + 1) - height;
    // The scroll bars keep the positions within their ranges.
    EditorSBx->horizontalScrollBar()->setValue(ClampToInt(h));
    EditorSBx->verticalScrollBar()->setValue(ClampToInt(v));
    EditorSBPanels[0]->setText(QStringLiteral(" %1 : %2").arg(caret.Line).arg(caret.Column));
    PlaceCaret(caret.Column, caret.Line);
    Render(true);
}

void TEditorF::ShowInsertMode()
{
    EditorSBPanels[1]->setText(InsertMode ? QStringLiteral(" Insert") : QStringLiteral(" Overwrite"));
}

void TEditorF::Render(bool repaint)
{
    const int h = ScrollX();
    const int v = ScrollY();
    RenderedScrollX = h;
    RenderedScrollY = v;
    const QSize client = ClientSize();
    if (BackBitmap.size() != client)
        BackBitmap = QImage(client, QImage::Format_RGB32);
    BackBitmap.fill(SystemColors::Window());
    // A fresh picture holds no caret.
    CaretShown = false;

    if (TAsmFile* document = GetDocument(); document && !client.isEmpty()) {
        QPainter painter(&BackBitmap);
        painter.setFont(TextFont);
        painter.setPen(QColor(0, 0, 0));
        const int first = v / CellHeight;
        const int y0 = CellHeight * first - v;
        const int last = static_cast<int>((i64(client.height()) + v - 1) / CellHeight);
        // Only the columns in sight are asked for: a line may be far wider
        // than the window.
        const int firstColumn = std::max(0, (h - TextLeft) / CellWidth);
        const int columns = client.width() / CellWidth + 2;
        const int x = TextLeft + CellWidth * firstColumn - h;
        const QFontMetrics metrics(TextFont);
        const int baseline = (CellHeight - metrics.height()) / 2 + metrics.ascent();
        for (int n = first; n <= last && n >= 0; ++n) {
            const int y = CellHeight * (n - first) + y0;
            if (n == CaretLine)
                painter.fillRect(0, y, client.width(), CellHeight, QColor::fromRgb(CaretLineColor));
            if (n < document->GetLineCount()) {
                const QString text = DisplayText(document->GetLineSpan(n, firstColumn, columns));
                if (!text.isEmpty())
                    painter.drawText(x, y + baseline, text);
            }
        }
    }

    RedrawCaret();
    if (repaint)
        EditorSBx->viewport()->update();
}

void TEditorF::EditorPBPaint()
{
    if (ScrollX() != RenderedScrollX || ScrollY() != RenderedScrollY || BackBitmap.size() != ClientSize())
        Render(false);
    QPainter painter(EditorSBx->viewport());
    painter.drawImage(0, 0, BackBitmap);
}

void TEditorF::InvertCaret()
{
    for (i64 y = DrawnTop; y <= DrawnBottom; ++y) {
        if (y < 0 || y >= BackBitmap.height())
            continue;
        auto* row = reinterpret_cast<QRgb*>(BackBitmap.scanLine(int(y)));
        for (i64 x = DrawnX - 1; x <= DrawnX; ++x)
            if (x >= 0 && x < BackBitmap.width())
                row[x] ^= 0x00FFFFFF;
    }
}

void TEditorF::ToggleCaret()
{
    if (!CaretShown) {
        DrawnX = CaretX + 1;
        DrawnTop = CaretY + 1;
        DrawnBottom = CaretY + 15;
    }
    InvertCaret();
    CaretShown = !CaretShown;
}

void TEditorF::HideCaret()
{
    CaretEnabled = false;
    if (CaretShown)
        ToggleCaret();
}

void TEditorF::ShowCaret()
{
    if (!CaretShown)
        ToggleCaret();
    CaretEnabled = true;
}

void TEditorF::RedrawCaret()
{
    CaretShown = false;
    ToggleCaret();
    CaretEnabled = true;
}

void TEditorF::PlaceCaret(i32 column, i32 line)
{
    HideCaret();
    CaretX = i64(CellWidth) * column + 3 - ScrollX();
    CaretY = i64(CellHeight) * line - ScrollY();
    ShowCaret();
}

void TEditorF::EditTimerTimer()
{
    DropClosedPages();
    if (!CaretEnabled)
        return;
    if (BlinkHold < 1) {
        ToggleCaret();
        EditorSBx->viewport()->update();
    } else {
        --BlinkHold;
    }
}

void TEditorF::EditorSBxCanResize()
{
    ShowCaret();
    BlinkHold = 1;
}

void TEditorF::EditorSBxResize()
{
    BackBitmap = QImage(ClientSize(), QImage::Format_RGB32);
    UpdateScrollRanges();
    Render(true);
}

// ---------------------------------------------------------------------------
// Keys, wheel and mouse

void TEditorF::KeyDown(int& key, Qt::KeyboardModifiers shift)
{
    DropClosedPages();
    const bool ctrl = shift.testFlag(Qt::ControlModifier);
    int caretKey = 0;
    switch (key) {
    case Qt::Key_PageUp: caretKey = TAsmFile::KeyPageUp; break;
    case Qt::Key_PageDown: caretKey = TAsmFile::KeyPageDown; break;
    case Qt::Key_End: caretKey = TAsmFile::KeyEnd; break;
    case Qt::Key_Home: caretKey = TAsmFile::KeyHome; break;
    case Qt::Key_Left: caretKey = TAsmFile::KeyLeft; break;
    case Qt::Key_Up: caretKey = TAsmFile::KeyUp; break;
    case Qt::Key_Right: caretKey = TAsmFile::KeyRight; break;
    case Qt::Key_Down: caretKey = TAsmFile::KeyDown; break;
    case Qt::Key_Insert:
        InsertMode = !InsertMode;
        ShowInsertMode();
        key = 0;
        return;
    default:
        return;
    }
    key = 0;
    TAsmFile* document = GetDocument();
    if (caretKey == TAsmFile::KeyPageUp || caretKey == TAsmFile::KeyPageDown) {
        HideCaret();
        const int page = height() / CellHeight;
        QScrollBar* vertical = EditorSBx->verticalScrollBar();
        const i64 move = i64(CellHeight) * page * (caretKey == TAsmFile::KeyPageUp ? -1 : 1);
        vertical->setValue(ClampToInt(vertical->value() + move));
        if (document)
            SetCaret(document->MoveCaret(caretKey, ctrl, page));
        else
            Render(true);
        ShowCaret();
        return;
    }
    if (document)
        SetCaret(document->MoveCaret(caretKey, ctrl, 0));
}

void TEditorF::MouseWheelDown(Qt::KeyboardModifiers, const QPoint&, bool& handled)
{
    QScrollBar* vertical = EditorSBx->verticalScrollBar();
    vertical->setValue(ClampToInt(i64(vertical->value()) + WheelStep));
    PlaceCaret(CaretColumn, CaretLine);
    Render(true);
    handled = true;
}

void TEditorF::MouseWheelUp(Qt::KeyboardModifiers, const QPoint&, bool& handled)
{
    QScrollBar* vertical = EditorSBx->verticalScrollBar();
    vertical->setValue(ClampToInt(i64(vertical->value()) - WheelStep));
    PlaceCaret(CaretColumn, CaretLine);
    Render(true);
    handled = true;
}

void TEditorF::EditorPBMouseDown(Qt::MouseButton button, const QPoint& point)
{
    DropClosedPages();
    if (button != Qt::LeftButton)
        return;
    TAsmFile* document = GetDocument();
    if (!document)
        return;
    // In document pixels. A click below the last line lands on the last.
    const i64 x = i64(point.x()) + ScrollX();
    const i64 y = i64(point.y()) + ScrollY();
    SetCaret(document->SetCaret(ClampToInt(std::max<i64>(x, 0) / CellWidth),
                                ClampToInt(std::max<i64>(y, 0) / CellHeight)));
}
