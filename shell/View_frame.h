// TViewF: the base of every tool view (registers, disassembly, memory,
// stack, screen, tape recorder, project manager, source viewer and the
// placeholder views).
//
// A view is made by the view manager with the main window as its owner,
// named and captioned there, and put into a single docking frame inside a
// floating tool window. It stays in that single frame through every docking
// move and dies with it. The base class carries what the docking code needs
// from every view and the helpers through which a view reaches its window.
//
// Keys and wheel turns do not arrive through Qt's own handlers: the tool
// window passes them to its active view's KeyDown and MouseWheelDown/Up.
// A view's own actions (popup menus with shortcuts) are added to the view
// itself with Qt::WidgetWithChildrenShortcut; the tool window fires the
// innermost matching one first.
#pragma once

#include <QColor>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QWidget>

class TFramesF;
class TParentF;
class TSingleFrameF;

class TViewF : public QWidget {
    Q_OBJECT

public:
    // Registered as a component of the owner; no parent until a frame
    // takes it.
    explicit TViewF(QWidget* owner);
    ~TViewF() override;

    QString Caption;         // title bar, tab and window caption text
    int PreferredWidth = 0;  // the tool window's outer size when the view opens
    int PreferredHeight = 0;

    // Refreshes the view from the machine.
    virtual void UpdateView() = 0;
    // key is a Qt::Key; a view that used it may set it to 0.
    virtual void KeyDown(int& key, Qt::KeyboardModifiers shift);
    virtual void MouseWheelDown(Qt::KeyboardModifiers shift, const QPoint& mousePos, bool& handled);
    virtual void MouseWheelUp(Qt::KeyboardModifiers shift, const QPoint& mousePos, bool& handled);
    virtual void Activate();
    virtual void Deactivate();

    // The class name the view manager searches for ("TZ80F"): the most
    // derived class that declares Q_OBJECT.
    virtual QString ClassName() const;

    // A system colour for a highlighted row or title: part 0 the
    // background, 1 the text, anything else black.
    QColor GetFrameColor(int part, bool highlighted) const;
    // The tool window that holds the view (null while it is in none).
    TFramesF* GetRootForm() const;
    // The nearest enclosing split or tabbed frame; null when the view's
    // single frame is its window's root.
    TParentF* GetContainer() const;
    // The single frame that holds the view.
    TSingleFrameF* GetFrame() const;
    // This is its window's active view and the window is the active one.
    bool IsActive() const;
    // Makes this view its window's active view.
    void SetActive();
    // Resizes the window so the view's client area gets this size, while
    // the view's frame is the window's root.
    void SetClientSize(int width, int height);

    QWidget* Owner() const { return OwnerWidget; }

protected:
    // A press anywhere in the view that nothing inside took makes it active.
    void mousePressEvent(QMouseEvent* event) override;

private:
    QPointer<QWidget> OwnerWidget;
};
