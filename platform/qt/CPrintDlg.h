#pragma once

#include <QString>

class QPrinter;
class QWidget;

// The system's print dialog for a printer. Tests queue the answers the next dialogs give, as a
// user would: cancelled, or printed, optionally into a PDF file instead of on paper.
class CPrintDlg
{
public:
    // True when the user chose to print; the printer then carries the choices.
    static bool Ask(QPrinter& printer, QWidget* parent);

    static void QueuePrint(const QString& pdfFile = {});
    static void QueueCancel();
    static bool HasQueuedAnswers();
    static void ClearQueuedAnswers();
};
