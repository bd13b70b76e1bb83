#include "platform/qt/CPrintDlg.h"

#include <QPrintDialog>
#include <QPrinter>

#include <deque>
#include <optional>

namespace {

// An answer: empty for Cancel, otherwise the PDF file to print into (empty for the printer).
std::deque<std::optional<QString>>& Queue()
{
    static std::deque<std::optional<QString>> queue;
    return queue;
}

} // namespace

bool CPrintDlg::Ask(QPrinter& printer, QWidget* parent)
{
    if (!Queue().empty()) {
        const std::optional<QString> answer = Queue().front();
        Queue().pop_front();
        if (answer && !answer->isEmpty()) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(*answer);
        }
        return answer.has_value();
    }
    QPrintDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
}

void CPrintDlg::QueuePrint(const QString& pdfFile)
{
    Queue().emplace_back(pdfFile);
}

void CPrintDlg::QueueCancel()
{
    Queue().emplace_back(std::nullopt);
}

bool CPrintDlg::HasQueuedAnswers()
{
    return !Queue().empty();
}

void CPrintDlg::ClearQueuedAnswers()
{
    Queue().clear();
}
