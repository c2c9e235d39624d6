// The views without content yet: each has its place in the View menu and
// the docking tree, opens at the tool window's smallest size and shows
// nothing. The oscilloscope keeps the computer it will show.
#pragma once

#include "shell/View_frame.h"

class TComputer;

class TBreakpointsF : public TViewF {
    Q_OBJECT

public:
    explicit TBreakpointsF(QWidget* owner) : TViewF(owner) {}
    void UpdateView() override {}
};

class TDiskF : public TViewF {
    Q_OBJECT

public:
    explicit TDiskF(QWidget* owner) : TViewF(owner) {}
    void UpdateView() override {}
};

class TTapeF : public TViewF {
    Q_OBJECT

public:
    explicit TTapeF(QWidget* owner) : TViewF(owner) {}
    void UpdateView() override {}
};

class TKeyboardF : public TViewF {
    Q_OBJECT

public:
    explicit TKeyboardF(QWidget* owner) : TViewF(owner) {}
    void UpdateView() override {}
};

class TBetaDiskF : public TViewF {
    Q_OBJECT

public:
    explicit TBetaDiskF(QWidget* owner) : TViewF(owner) {}
    void UpdateView() override {}
};

class TOscilloscopeF : public TViewF {
    Q_OBJECT

public:
    TOscilloscopeF(QWidget* owner, TComputer* computer) : TViewF(owner), Computer(computer) {}
    void UpdateView() override {}
    TComputer* GetComputer() const { return Computer; }

private:
    TComputer* Computer;
};
