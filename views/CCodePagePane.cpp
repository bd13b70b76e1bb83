#include "views/CCodePagePane.h"

#include "model/CNoteBook.h"

CCodePagePane::CCodePagePane(QWidget* parent) : QLabel(parent)
{
    setObjectName("codePage");
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setToolTip(tr("The code page of the open notebook"));
}

void CCodePagePane::Show(const CNoteBook* book)
{
    if (book)
        setText(book->GetEncoding() == TextEncoding::windows1252 ? tr("Windows-1252") : tr("UTF-8"));
    setVisible(book != nullptr);
}
