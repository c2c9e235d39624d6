// TAboutF (AboutF): the static About box of the "Help" menu: the product
// name, its version, a Close button (also Escape) and the release notes.
#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

class TAboutF : public QDialog {
    Q_OBJECT

public:
    static constexpr const char* ProductName = "Quorvane";
    static constexpr const char* Version = "0.1";

    explicit TAboutF(QWidget* owner = nullptr);
    ~TAboutF() override;

    // Shows the box modally.
    int Execute() { return exec(); }

    QLabel* TitleL;
    QLabel* VersionL;
    QPushButton* CloseB;
    QLabel* VersionHistoryL;
    QPlainTextEdit* VersionHistoryM;

protected:
    void showEvent(QShowEvent* event) override;
};

extern TAboutF* AboutF;
