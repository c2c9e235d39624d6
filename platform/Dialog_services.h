// The file dialogs and message boxes the program asks the user through.
// They are services the code calls by interface, so tests answer them from
// a script instead of a user (a modal Qt dialog would stop the test):
//
//     TScriptedFileDialogs files;                 // installed until it goes
//     files.Answer("/tmp/game.sna");              // the next dialog picks it
//     TScriptedMessageBoxes boxes;
//     mainWindow.OpenMIClick();
//     EXPECT_EQ(boxes.Shown().at(0).Caption, "File open error");
#pragma once

#include <QString>

#include <deque>
#include <vector>

class QMessageBox;
class QWidget;

enum class TMessageIcon { None, Information, Warning, Error, Question };
enum class TMessageButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class TMessageResult { Ok, Cancel, Yes, No };

// How a file dialog behaves beyond its caption, folder and filter.
struct TFileDialogOptions {
    // Added to a typed name that has no extension ("bin", without the dot);
    // empty adds nothing.
    QString DefaultSuffix;
    // Hidden files are listed too.
    bool ShowHidden = false;
    // A save dialog asks before a chosen file that exists is replaced. Off
    // where the caller asks for itself or writes without replacing.
    bool ConfirmOverwrite = true;

    bool operator==(const TFileDialogOptions&) const = default;
};

class TFileDialogs {
public:
    virtual ~TFileDialogs() = default;

    // The filter is in the "Name|*.a; *.b|Other|*.c" form the dialogs are
    // described in. The result is the chosen path, empty when cancelled.
    virtual QString GetOpenFileName(QWidget* parent, const QString& caption, const QString& directory,
                                    const QString& filter, const TFileDialogOptions& options = {}) = 0;
    virtual QString GetSaveFileName(QWidget* parent, const QString& caption, const QString& directory,
                                    const QString& filter, const TFileDialogOptions& options = {}) = 0;
};

class TMessageBoxes {
public:
    virtual ~TMessageBoxes() = default;

    // A modal box; the result names the button the user chose (Cancel, or
    // No for a Yes/No box, when the box was closed without a choice).
    virtual TMessageResult MessageBox(QWidget* parent, const QString& caption, const QString& text, TMessageIcon icon,
                                      TMessageButtons buttons) = 0;
};

// The services in use: the Qt ones unless something else is installed.
// Installing null brings the Qt ones back. User-interface thread only.
TFileDialogs& FileDialogs();
void SetFileDialogs(TFileDialogs* dialogs);
TMessageBoxes& MessageBoxes();
void SetMessageBoxes(TMessageBoxes* boxes);

// When a file of that name exists, asks whether to replace it (a warning
// box with Yes and No); true when there is no such file or the answer is Yes.
bool MayReplaceFile(QWidget* parent, const QString& path);

// "Name|*.a; *.b|Other|*.c" as Qt writes it: "Name (*.a *.b);;Other (*.c)".
QString QtFileFilter(const QString& filter);

class TQtFileDialogs : public TFileDialogs {
public:
    QString GetOpenFileName(QWidget* parent, const QString& caption, const QString& directory,
                            const QString& filter, const TFileDialogOptions& options = {}) override;
    QString GetSaveFileName(QWidget* parent, const QString& caption, const QString& directory,
                            const QString& filter, const TFileDialogOptions& options = {}) override;
};

// A message box is sized by its text; a short text leaves the window
// manager too little title bar for the caption, which it then cuts. This
// widens the box to the caption in a bold title font, with room for a title
// bar's icon and buttons.
void WidenForCaption(QMessageBox& box);

class TQtMessageBoxes : public TMessageBoxes {
public:
    TMessageResult MessageBox(QWidget* parent, const QString& caption, const QString& text, TMessageIcon icon,
                              TMessageButtons buttons) override;
};

// Answers file dialogs from a queue (cancel when it is empty) and records
// every request. Installed while it lives.
class TScriptedFileDialogs : public TFileDialogs {
public:
    struct TRequest {
        bool Save;
        QString Caption;
        QString Directory;
        QString Filter;
        TFileDialogOptions Options;
    };

    TScriptedFileDialogs();
    ~TScriptedFileDialogs() override;
    TScriptedFileDialogs(const TScriptedFileDialogs&) = delete;
    TScriptedFileDialogs& operator=(const TScriptedFileDialogs&) = delete;

    // The next dialog returns this path (an empty path: the user cancels).
    void Answer(const QString& path) { Answers.push_back(path); }
    const std::vector<TRequest>& Requests() const { return Asked; }

    QString GetOpenFileName(QWidget* parent, const QString& caption, const QString& directory,
                            const QString& filter, const TFileDialogOptions& options = {}) override;
    QString GetSaveFileName(QWidget* parent, const QString& caption, const QString& directory,
                            const QString& filter, const TFileDialogOptions& options = {}) override;

private:
    QString Next(bool save, const QString& caption, const QString& directory, const QString& filter,
                 const TFileDialogOptions& options);

    std::deque<QString> Answers;
    std::vector<TRequest> Asked;
    TFileDialogs* Previous;
};

// Answers message boxes from a queue (the first button of the box when it
// is empty) and records every box. Installed while it lives.
class TScriptedMessageBoxes : public TMessageBoxes {
public:
    struct TBox {
        QString Caption;
        QString Text;
        TMessageIcon Icon;
        TMessageButtons Buttons;
    };

    TScriptedMessageBoxes();
    ~TScriptedMessageBoxes() override;
    TScriptedMessageBoxes(const TScriptedMessageBoxes&) = delete;
    TScriptedMessageBoxes& operator=(const TScriptedMessageBoxes&) = delete;

    void Answer(TMessageResult result) { Answers.push_back(result); }
    const std::vector<TBox>& Shown() const { return Boxes; }

    TMessageResult MessageBox(QWidget* parent, const QString& caption, const QString& text, TMessageIcon icon,
                              TMessageButtons buttons) override;

private:
    std::deque<TMessageResult> Answers;
    std::vector<TBox> Boxes;
    TMessageBoxes* Previous;
};
