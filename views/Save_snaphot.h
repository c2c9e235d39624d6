// TSaveSnapshotF (SaveSnapshotF): the modal dialog of the Save snapshot
// command. It collects a snapshot form (SNA 48K or 128K) and a file name;
// Execute then has the SNA writer save the machine there, inside the
// computer's pause guard, and shows a failure in a message box. The writer
// replaces an old file only once the new one is complete.
//
// An existing file is never replaced without a question: browsing asks in
// the file dialog, and Save asks for a name that was typed (or changed
// after browsing); No keeps the dialog open. The dialog lives from start-up
// to exit; its form and name persist between openings.
#pragma once

#include "core/Types.h"

#include <QDialog>
#include <QString>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TComputer;

class TSaveSnapshotF : public QDialog {
    Q_OBJECT

public:
    static constexpr const char* SaveFailedCaption = " Error!";
    static constexpr const char* SaveDialogFilter = "SNA Snapshot|*.sna";
    static constexpr const char* DefaultFileName = "filename.sna";

    explicit TSaveSnapshotF(QWidget* owner = nullptr);
    ~TSaveSnapshotF() override;

    // Shows the dialog modally; with OK the computer is saved to the file
    // named in the dialog in the chosen form (a failure is shown in a box).
    // Returns the modal result.
    int Execute(TComputer* computer);
    // The save of Execute's OK: true when the file was written.
    bool SaveSnapshot(TComputer* computer);

    // The chosen form: 0 the 48K SNA, 1 the 128K SNA.
    i32 GetKind() const;
    QString GetFileName() const;

    // --- Handlers ---
    void FormShow();
    void FileNameLEChange();
    void SelectBClick();
    void SaveBBClick();

    // --- Components ---
    QLabel* FormatL;
    QComboBox* FormatCB;
    QLabel* FileNameL;
    QLineEdit* FileNameLE;
    QPushButton* SelectB;
    QCheckBox* GeneratorCB;
    QCheckBox* OverwriteCB;
    QPushButton* SaveBB;
    QPushButton* CancelBB;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // The name the file dialog last gave, whose replacement the user has
    // already confirmed there for the next save.
    QString BrowsedName;
};

extern TSaveSnapshotF* SaveSnapshotF;
