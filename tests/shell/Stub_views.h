// Stand-ins for the tool views and the drag outline, for the docking tests.
#pragma once

#include "shell/Helper.h"
#include "shell/Ide.h"
#include "shell/View_frame.h"

#include <QString>

#include <vector>

// A view that records what the docking code calls on it. Its class name is
// whatever the test says (the view manager searches by class name).
class TStubView : public TViewF {
public:
    TStubView(QWidget* owner, const QString& className, int width = 290, int height = 390)
        : TViewF(owner)
        , Class(className)
    {
        PreferredWidth = width;
        PreferredHeight = height;
    }

    QString ClassName() const override { return Class; }
    void UpdateView() override { ++Updates; }
    void KeyDown(int& key, Qt::KeyboardModifiers) override { Keys.push_back(key); }
    void MouseWheelDown(Qt::KeyboardModifiers, const QPoint&, bool& handled) override
    {
        ++WheelDowns;
        handled = true;
    }
    void MouseWheelUp(Qt::KeyboardModifiers, const QPoint&, bool& handled) override
    {
        ++WheelUps;
        handled = true;
    }
    void Activate() override { ++Activations; }
    void Deactivate() override { ++Deactivations; }

    QString Class;
    int Updates = 0;
    int Activations = 0;
    int Deactivations = 0;
    int WheelDowns = 0;
    int WheelUps = 0;
    std::vector<int> Keys;
};

// Registers a stub view for every view kind, with the kind's class name.
inline void RegisterStubViews(TIDE& ide, int width = 290, int height = 390)
{
    for (int kind = 0; kind < TIDE::ViewKindCount; ++kind)
        ide.RegisterView(kind, [kind, width, height](QWidget* owner, TComputer*, TIDE&) {
            return new TStubView(owner, TIDE::ViewClassName(kind), width, height);
        });
}

// Records the drag outline instead of drawing it.
class TRecordingOutline : public TOutlinePainter {
public:
    TRecordingOutline() { SetDragOutlinePainter(this); }
    ~TRecordingOutline() override { SetDragOutlinePainter(nullptr); }
    TRecordingOutline(const TRecordingOutline&) = delete;
    TRecordingOutline& operator=(const TRecordingOutline&) = delete;

    void Show(const TScreenRect& rect) override
    {
        Visible = true;
        Current = rect;
        ++Shows;
    }
    void Hide() override
    {
        Visible = false;
        ++Hides;
    }

    bool Visible = false;
    TScreenRect Current;
    int Shows = 0;
    int Hides = 0;
};
