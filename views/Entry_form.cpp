#include "views/Entry_form.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>

QFont EntryFont()
{
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    return font;
}

QComboBox* NewEntryBox(QWidget* dialog, const QRect& geometry)
{
    auto* box = new QComboBox(dialog);
    box->setObjectName(QStringLiteral("ExprCB"));
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setGeometry(geometry);
    return box;
}

void RememberEntry(QComboBox* box, int historyLimit)
{
    const QString text = box->currentText().trimmed();
    if (text.isEmpty())
        return;
    box->blockSignals(true);
    const int old = box->findText(text);
    if (old >= 0)
        box->removeItem(old);
    while (box->count() >= historyLimit)
        box->removeItem(box->count() - 1);
    box->insertItem(0, text);
    box->setCurrentIndex(0);
    box->setEditText(text);
    box->blockSignals(false);
}

void ShowEntryState(QComboBox* box, QLabel* result, QPushButton* ok, bool good)
{
    QPalette edit = box->palette();
    QPalette panel = result->palette();
    ok->setEnabled(good);
    edit.setColor(QPalette::Base, good ? QColor(Qt::white) : QColor(Qt::yellow));
    panel.setColor(QPalette::WindowText, good ? QColor(Qt::black) : QColor(Qt::red));
    // The line edit keeps a palette of its own.
    box->setPalette(edit);
    box->lineEdit()->setPalette(edit);
    result->setPalette(panel);
}
