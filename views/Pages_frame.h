// TPagesF: the memory pages view. Its grid lists the four 16 KB slots of the
// address space with the page each one shows (a ROM, a RAM bank) and
// whether it can be written; it is refreshed whenever the views are.
#pragma once

#include "shell/View_frame.h"

class QTableWidget;
class TComputer;

class TPagesF : public TViewF {
    Q_OBJECT

public:
    static constexpr int SlotCount = 4;

    TPagesF(QWidget* owner, TComputer* computer);
    ~TPagesF() override;

    void UpdateView() override;

    // The text of the page shown in address slot 0-3 ("ROM 48 BASIC",
    // "RAM bank 5", "none").
    QString PageText(int slot) const;

    QTableWidget* DrawGrid1;

private:
    TComputer* Computer;
};
