#pragma once

#include <string>
#include <vector>

class CMainFrame;
class CNote;
class QPagedPaintDevice;

// The Book menu's ways out of and into the open notebook: print, PDF, export as text files or
// Markdown, and import of text files. Made for one command on the frame's open notebook.
class CBookExchange
{
public:
    explicit CBookExchange(CMainFrame& frame);

    // The note open in the editor, or else the one selected in the list; none without either.
    std::vector<const CNote*> NotesToPrint() const;

    void Print();
    void ExportPdf();
    // The whole notebook into a folder of text files, one to a note, or into one Markdown file
    // when the chosen name ends in .md.
    void Export();
    void ImportFiles();

private:
    // Paints with progress and Cancel; false when cancelled or failed (the failure is told).
    bool PrintOn(QPagedPaintDevice& device, const std::vector<const CNote*>& notes,
                 const std::string& failure);

    CMainFrame& m_frame;
};
