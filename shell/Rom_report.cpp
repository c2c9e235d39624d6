#include "shell/Rom_report.h"

#include "core/Memory.h"
#include "platform/Dialog_services.h"

#include <QString>

void ReportRomProblems(QWidget* parent, const TMemory& memory)
{
    const std::string& report = memory.GetRomReport();
    if (report.empty())
        return;
    const QString text = QString::fromStdString(report) +
                         QStringLiteral("The machine runs with random bytes in place of what could not be loaded.");
    MessageBoxes().MessageBox(parent, QStringLiteral(" Warning!"), text, TMessageIcon::Warning, TMessageButtons::Ok);
}
