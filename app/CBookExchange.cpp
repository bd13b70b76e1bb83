#include "app/CBookExchange.h"

#include "app/CMainFrame.h"
#include "model/CFileOrder.h"
#include "model/CNoteBook.h"
#include "model/CNoteFiles.h"
#include "platform/MessageBox.h"
#include "platform/qt/CFileDialog.h"
#include "platform/qt/CPrintDlg.h"
#include "platform/qt/CSliceProgress.h"
#include "platform/qt/CountText.h"
#include "views/CListCtrlEx.h"
#include "views/CNoteListCtrl.h"
#include "views/CNotePanel.h"
#include "views/CNotePrinter.h"

#include <QFile>
#include <QPdfWriter>
#include <QPrinter>
#include <QProgressDialog>

#include <stdexcept>

namespace {

bool IsMarkdownName(const std::string& path)
{
    const QString name = QFile::decodeName(QByteArray::fromStdString(path)).toLower();
    return name.endsWith(QLatin1String(".md")) || name.endsWith(QLatin1String(".markdown"));
}

} // namespace

CBookExchange::CBookExchange(CMainFrame& frame) : m_frame(frame) {}

std::vector<const CNote*> CBookExchange::NotesToPrint() const
{
    CNotePanel* panel = m_frame.GetNotePanel();
    if (!m_frame.IsBookOpen())
        return {};
    if (const CNote* active = panel->GetActiveNote())
        return {active};
    const int row = panel->GetListPane()->GetSelectionMark();
    if (row < 0)
        return {};
    const QModelIndex index = panel->GetListPane()->GetListCtrl()->model()->index(row, 0);
    const CNote* note = m_frame.GetNoteBook()->FindNote(index.data(Qt::UserRole).toInt());
    return note ? std::vector<const CNote*>{note} : std::vector<const CNote*>{};
}

bool CBookExchange::PrintOn(QPagedPaintDevice& device, const std::vector<const CNote*>& notes,
                            const std::string& failure)
{
    CNotePrinter printer(m_frame.GetTextFont(), m_frame.GetWordWrap());
    QProgressDialog progress(QObject::tr("Printing..."), QObject::tr("Cancel"), 0, 1000, &m_frame);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    QObject::connect(&printer, &CNotePrinter::Progress, &progress,
                     [&progress](std::int64_t done, std::int64_t total) {
                         progress.setValue(total > 0 ? static_cast<int>(done * 1000 / total) : 1000);
                     });
    QObject::connect(&progress, &QProgressDialog::canceled, &printer, &CNotePrinter::Cancel);
    m_frame.ShowBusyMessage(QObject::tr("Printing..."));
    const bool printed = printer.Print(device, notes);
    progress.reset();
    m_frame.SetMessageText(printer.WasCancelled() ? QObject::tr("Printing cancelled.")
                                                  : QObject::tr("Ready"));
    if (!printed && !printer.WasCancelled())
        AfxMessageBox(failure, MB_ICONEXCLAMATION);
    return printed;
}

void CBookExchange::Print()
{
    const std::vector<const CNote*> notes = NotesToPrint();
    if (notes.empty())
        return;
    // The open note is printed with its typing.
    m_frame.GetNotePanel()->StoreActiveText();
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(QString::fromStdString(notes.front()->GetTitle()));
    if (CPrintDlg::Ask(printer, &m_frame))
        PrintOn(printer, notes, "ERROR: Could not print the note.");
}

void CBookExchange::ExportPdf()
{
    const std::vector<const CNote*> notes = NotesToPrint();
    if (notes.empty())
        return;
    const std::string path = CFileDialog(CFileDialog::Save, &m_frame, QObject::tr("Export as PDF"),
                                         QObject::tr("PDF (*.pdf)"), QStringLiteral("pdf"))
                                 .DoModal();
    if (path.empty())
        return;
    m_frame.GetNotePanel()->StoreActiveText();
    const QString file = QFile::decodeName(QByteArray::fromStdString(path));
    QPdfWriter writer(file);
    writer.setTitle(QString::fromStdString(notes.front()->GetTitle()));
    writer.setCreator(QStringLiteral("Pelmora"));
    // A cancelled PDF is no PDF: nothing half written stays behind.
    if (!PrintOn(writer, notes, "ERROR: Could not write " + path + "."))
        QFile::remove(file);
}

void CBookExchange::Export()
{
    if (!m_frame.IsBookOpen())
        return;
    const std::string path =
        CFileDialog(CFileDialog::SaveFileOrFolder, &m_frame, QObject::tr("Export NoteBook"),
                    QObject::tr("Folder of text files (*);;Markdown file (*.md)"), QString())
            .DoModal();
    if (path.empty())
        return;
    m_frame.GetNotePanel()->StoreActiveText();
    const std::vector<const CNote*> notes = CNoteFiles::AllNotes(*m_frame.GetNoteBook());
    const bool markdown = IsMarkdownName(path);
    CSliceProgress progress(&m_frame, QObject::tr("Exporting..."));
    std::size_t done = 0;
    std::string error;
    bool written = false;
    {
        const CWholeMapping whole = CFileOrder::MappedForPass(*m_frame.GetNoteBook());
        // A file's flush to the disk may take longer than a slice: the files are written aside.
        written = progress.RunAside([&](const CSliceProgress::Report& report) {
            const auto step = [&](std::size_t notesDone, std::size_t total) {
                done = notesDone;
                return report(notesDone, total);
            };
            return markdown ? CNoteFiles::WriteMarkdown(notes, path, error, step)
                            : CNoteFiles::WriteFolder(notes, path, error, step);
        });
    }
    progress.GetDialog().reset();
    if (!written && error.empty()) {
        m_frame.SetMessageText(
            markdown ? QObject::tr("Export cancelled; nothing was written.")
                     : QObject::tr("Export cancelled: the files of the first %1 of %2 notes were written.")
                           .arg(done)
                           .arg(notes.size()));
        return;
    }
    if (!written) {
        AfxMessageBox("ERROR: " + error, MB_ICONEXCLAMATION);
        return;
    }
    m_frame.SetMessageText(
        CountText(notes.size(), QObject::tr("Exported 1 note."), QObject::tr("Exported %1 notes.")));
}

void CBookExchange::ImportFiles()
{
    if (!m_frame.IsBookOpen())
        return;
    CFileDialog dialog(CFileDialog::OpenMany, &m_frame, QObject::tr("Import Files"),
                       QObject::tr("Text and Markdown files (*.txt *.md *.markdown *.text);;All files (*)"),
                       QString());
    // The names ICU knows; the first reads each file in the encoding found for it.
    dialog.SetChoice(QObject::tr("Encoding:"),
                     {QObject::tr("Found from each file"), "UTF-8", "UTF-16LE", "UTF-16BE", "windows-1250",
                      "windows-1251", "windows-1252", "windows-1253", "ISO-8859-2", "KOI8-R", "Shift_JIS",
                      "EUC-JP", "GB18030", "Big5"});
    const std::vector<std::string> paths = dialog.DoModalMany();
    if (paths.empty())
        return;
    const std::string encoding = dialog.GetChoice() == QObject::tr("Found from each file")
                                     ? std::string()
                                     : dialog.GetChoice().toStdString();
    CNoteFiles::ReadOutcome read;
    try {
        CSliceProgress progress(&m_frame, QObject::tr("Importing..."));
        read = CNoteFiles::ReadFiles(paths, encoding, [&progress](std::size_t done, std::size_t total) {
            return progress.Step(done, total);
        });
    } catch (const std::exception& e) {
        // The tool's own words; nothing was added.
        AfxMessageBox(std::string("ERROR: ") + e.what(), MB_ICONEXCLAMATION);
        return;
    }
    if (read.stopped) {
        m_frame.SetMessageText(QObject::tr("Import cancelled; no note was added."));
        return;
    }
    // The tool's words again, for files whose encoding was guessed or that were refused.
    std::string notices;
    for (const std::string& notice : read.notices)
        notices += (notices.empty() ? "" : "\n") + notice;
    if (!notices.empty())
        AfxMessageBox(read.refused ? "ERROR: " + notices : notices,
                      read.refused ? MB_ICONEXCLAMATION : MB_ICONINFORMATION);
    if (read.notes.empty())
        return;
    const std::size_t count = read.notes.size();
    CNoteFiles::AddTo(*m_frame.GetNoteBook(), std::move(read.notes));
    m_frame.GetNotePanel()->ReloadNoteList();
    m_frame.SetMessageText(
        CountText(count, QObject::tr("Imported 1 note."), QObject::tr("Imported %1 notes.")));
}
