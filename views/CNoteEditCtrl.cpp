#include "views/CNoteEditCtrl.h"

#include "model/CNoteBook.h"
#include "platform/qt/CCmdUI.h"
#include "platform/qt/DisplayScale.h"
#include "views/CNoteListCtrl.h"
#include "views/CNotePanel.h"
#include "views/CRichEditCtrlEx.h"
#include "views/CSpelling.h"
#include "views/INotePanelOwner.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFocusEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>

#include <algorithm>

CNoteEditCtrl::CNoteEditCtrl(CNotePanel& panel) : m_panel(panel) {}

// Closing the notebook discards what the title box holds.
CNoteEditCtrl::~CNoteEditCtrl()
{
    if (m_titleBox)
        m_titleBox->removeEventFilter(this);
}

void CNoteEditCtrl::OpenNote(const CNote* note)
{
    if (!note)
        return;
    DestroyControls();
    const bool focusHere = hasFocus();
    m_bLoading = true;
    CreateTitleBox(QString::fromStdString(note->GetTitle()));
    CreateTextCtrl();
    RecalcLayout();
    ApplyFonts();
    m_textCtrl->SetLimitText(kTextLimit);
    SetControlText(note->GetText());
    m_bCrLf = note->GetText().find("\r\n") != std::string::npos;
    m_bLoading = false;
    m_titleBox->show();
    m_textCtrl->show();
    // A rebuild of the open note (Word Wrap) keeps typing in the text.
    if (focusHere)
        m_textCtrl->setFocus(Qt::OtherFocusReason);
}

void CNoteEditCtrl::CreateTitleBox(const QString& title)
{
    m_titleBox = std::make_unique<QLineEdit>(this);
    m_titleBox->setFrame(false);
    m_titleBox->setAccessibleName(tr("Note title"));
    // The box must hold any stored title whole, or leaving it would cut the title short.
    m_titleBox->setMaxLength(std::max(32767, static_cast<int>(title.size())));
    QPalette colours = m_titleBox->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        colours.setColor(group, QPalette::Base, QColor(88, 88, 88));
        colours.setColor(group, QPalette::Text, Qt::white);
    }
    m_titleBox->setPalette(colours);
    m_titleBox->setText(title);
    m_titleBox->setCursorPosition(0);
    m_titleBox->installEventFilter(this);
}

void CNoteEditCtrl::CreateTextCtrl()
{
    m_textCtrl = std::make_unique<CRichEditCtrlEx>(this);
    m_textCtrl->setAccessibleName(tr("Note text"));
    m_textCtrl->SetSpellChecking(true);
    const bool wrap = m_panel.GetOwner().GetWordWrap();
    m_textCtrl->setLineWrapMode(wrap ? CRichEditCtrlEx::WidgetWidth : CRichEditCtrlEx::NoWrap);
    connect(m_textCtrl.get(), &CRichEditCtrlEx::textChanged, this, &CNoteEditCtrl::OnTextChanged);
    connect(m_textCtrl.get(), &CRichEditCtrlEx::selectionChanged, this,
            [this] { m_panel.GetOwner().UpdateCommandStates(); });
    connect(m_textCtrl.get(), &CRichEditCtrlEx::limitReached, this, [this] {
        m_panel.GetOwner().SetMessageText(
            tr("This note has reached its length limit of 1,048,576 characters."));
    });
    connect(m_textCtrl.get(), &CRichEditCtrlEx::contextMenuRequested, this, &CNoteEditCtrl::OnContextMenu);
}

// Sets the text box's text as the program's own change: it marks nothing and leaves the box
// unchanged in its own eyes. The typing limit does not apply.
void CNoteEditCtrl::SetControlText(const std::string& text)
{
    const bool loading = m_bLoading;
    m_bLoading = true;
    m_textCtrl->SetText(text);
    m_bLoading = loading;
}

void CNoteEditCtrl::CloseNote()
{
    // The title box goes away as if the user had left it.
    if (m_titleBox) {
        m_titleBox->removeEventFilter(this);
        if (m_titleBox->hasFocus())
            CommitTitle();
    }
    DestroyControls();
}

void CNoteEditCtrl::DestroyControls()
{
    if (m_titleBox)
        m_titleBox->removeEventFilter(this);
    // A control that goes away with the focus hands it to the pane, so that keys still reach
    // the window.
    if (isAncestorOf(QApplication::focusWidget()))
        setFocus(Qt::OtherFocusReason);
    m_textCtrl.reset();
    m_titleBox.reset();
    m_bCrLf = false;
}

std::string CNoteEditCtrl::GetText() const
{
    return m_textCtrl ? m_textCtrl->GetText(LineEnd()) : std::string();
}

void CNoteEditCtrl::ForEachTextPiece(const std::function<void(std::string_view)>& put) const
{
    if (m_textCtrl)
        m_textCtrl->ForEachTextPiece(LineEnd(), put);
}

bool CNoteEditCtrl::HasPendingText() const
{
    return m_textCtrl && m_textCtrl->IsModified();
}

void CNoteEditCtrl::SaveText()
{
    CNote* note = m_panel.GetActiveNote();
    if (!m_textCtrl || !note)
        return;
    // An unchanged box holds the note's text; leaving the note alone keeps what the box cannot
    // show exactly (line ends, bytes that are not UTF-8) and spares copying a large text.
    if (!m_textCtrl->IsModified())
        return;
    // Typing undone leaves the note as it was, in the code page it came in. Otherwise the old text
    // goes first, so that a large note is held twice at the most, not three times.
    if (!m_textCtrl->Holds(note->GetText(), LineEnd())) {
        note->SetText({});
        note->SetText(GetText());
    }
    m_textCtrl->SetModified(false);
}

void CNoteEditCtrl::SetTitleText(const std::string& title)
{
    if (!m_titleBox)
        return;
    const QString text = QString::fromStdString(title);
    m_titleBox->setMaxLength(std::max(m_titleBox->maxLength(), static_cast<int>(text.size())));
    m_titleBox->setText(text);
    m_titleBox->setCursorPosition(0);
    update();
}

void CNoteEditCtrl::RestoreText(const std::string& text)
{
    if (!m_textCtrl)
        return;
    SetControlText(text);
    m_bCrLf = text.find("\r\n") != std::string::npos;
    emit TextChanged();
}

void CNoteEditCtrl::ApplyFonts()
{
    if (!m_titleBox)
        return;
    m_titleBox->setFont(m_panel.GetOwner().GetTitleFont());
    m_textCtrl->setFont(m_panel.GetOwner().GetTextFont());
    update();
}

void CNoteEditCtrl::RecalcLayout()
{
    if (!m_titleBox || !m_textCtrl)
        return;
    const QRect client = contentsRect();
    const int left = client.left();
    const int top = client.top();
    const int width = client.width() - 8;
    // Sizes from the scale factor are truncated toward zero.
    const int titleBottom = static_cast<int>(top + 4 + 20 * g_scaleY);
    const int textTop = static_cast<int>(top + 4 + 20 * g_scaleY + 4);
    m_titleBox->setGeometry(left + 4, top + 4, width, titleBottom - (top + 4));
    m_textCtrl->setGeometry(left + 4, textTop, width, client.top() + client.height() - 4 - textTop);
}

void CNoteEditCtrl::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    if (m_textCtrl)
        RecalcLayout();
}

// The first change the user makes marks the notebook at once; filling the box does not.
void CNoteEditCtrl::OnTextChanged()
{
    if (m_bLoading || !m_textCtrl->IsModified())
        return;
    emit TextChanged();
    CNoteBook& book = m_panel.GetNoteBook();
    if (book.IsModified())
        return;
    book.SetModified();
    m_panel.GetOwner().UpdateCommandStates();
}

bool CNoteEditCtrl::eventFilter(QObject* watched, QEvent* event)
{
    // A pop-up such as the box's own context menu takes the focus only for a moment.
    if (watched == m_titleBox.get() && event->type() == QEvent::FocusOut &&
        static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason)
        CommitTitle();
    return QFrame::eventFilter(watched, event);
}

// Leaving the title box stores its text as the note's title, exactly as typed, and marks the
// notebook even when the title did not change. An empty box stores nothing.
void CNoteEditCtrl::CommitTitle()
{
    CNote* note = m_panel.GetActiveNote();
    const QString title = m_titleBox->text();
    if (title.isEmpty() || !note)
        return;
    note->SetTitle(title.toStdString());
    m_panel.GetNoteBook().SetModified();
    m_panel.GetListPane()->UpdateNoteTitle(note->GetSerial());
    m_panel.GetOwner().UpdateCommandStates();
}

void CNoteEditCtrl::OnContextMenu(const QPoint& globalPos)
{
    QMenu* menu = m_panel.GetOwner().GetContextSubMenu(1);
    if (!menu)
        return;
    // Cut and Copy want a selection and Paste text to paste, as the Note menu's do.
    const QMimeData* clipboard = QApplication::clipboard()->mimeData();
    for (QAction* action : menu->actions()) {
        const auto command = static_cast<ContextCommand>(action->data().toInt());
        if (command == ContextCommand::Cut || command == ContextCommand::Copy)
            action->setEnabled(m_textCtrl->HasSelection());
        else if (command == ContextCommand::Paste)
            action->setEnabled(clipboard && clipboard->hasText());
    }
    // Over a misspelt word the spelling entries come first.
    int wordStart = 0;
    int wordEnd = 0;
    const int pos = m_textCtrl->PositionAt(m_textCtrl->viewport()->mapFromGlobal(globalPos));
    if (m_textCtrl->MisspeltWordAt(pos, wordStart, wordEnd)) {
        OnSpellingMenu(*menu, globalPos, wordStart, wordEnd);
        return;
    }
    RunContextCommand(menu->exec(globalPos));
}

void CNoteEditCtrl::OnSpellingMenu(QMenu& editMenu, const QPoint& globalPos, int wordStart, int wordEnd)
{
    CSpelling& spelling = CSpelling::Instance();
    const QString word = m_textCtrl->Text(wordStart, wordEnd);
    QMenu menu;
    const QStringList suggestions = spelling.Suggest(word);
    for (const QString& suggestion : suggestions)
        menu.addAction(suggestion)->setData(suggestion);
    if (suggestions.isEmpty())
        menu.addAction(tr("(No Suggestions)"))->setEnabled(false);
    menu.addSeparator();
    QAction* add = menu.addAction(tr("&Add to Dictionary"));
    QAction* ignore = menu.addAction(tr("&Ignore All"));
    menu.addSeparator();
    menu.addActions(editMenu.actions());
    const QAction* chosen = menu.exec(globalPos);
    if (!chosen)
        return;
    if (chosen == add)
        spelling.AddToDictionary(word);
    else if (chosen == ignore)
        spelling.IgnoreAll(word);
    else if (chosen->data().typeId() == QMetaType::QString)
        m_textCtrl->ReplaceRange(wordStart, wordEnd, chosen->data().toString());
    else
        RunContextCommand(chosen);
}

void CNoteEditCtrl::RunContextCommand(const QAction* chosen)
{
    if (!chosen)
        return;
    switch (static_cast<ContextCommand>(chosen->data().toInt())) {
    case ContextCommand::Cut:
        Cut();
        break;
    case ContextCommand::Copy:
        Copy();
        break;
    case ContextCommand::Paste:
        Paste();
        break;
    default:
        break;
    }
}

void CNoteEditCtrl::Cut()
{
    if (m_textCtrl)
        m_textCtrl->cut();
}

void CNoteEditCtrl::Copy()
{
    if (m_textCtrl)
        m_textCtrl->copy();
}

void CNoteEditCtrl::Paste()
{
    if (m_textCtrl)
        m_textCtrl->paste();
}

bool CNoteEditCtrl::HasSelection() const
{
    return m_textCtrl && m_textCtrl->HasSelection();
}

void CNoteEditCtrl::OnUpdateCutCopy(CCmdUI* cmdUI) const
{
    cmdUI->Enable(HasSelection());
}

void CNoteEditCtrl::OnUpdatePaste(CCmdUI* cmdUI) const
{
    const QMimeData* data = QApplication::clipboard()->mimeData();
    cmdUI->Enable(data && data->hasText());
}
