#include "views/CRichEditCtrlEx.h"

#include <QContextMenuEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QScrollBar>
#include <QTextDocumentFragment>

namespace {

// The text as the control will hold it: every line end one character.
QString WithSingleLineEnds(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

// At most room characters of text, never half of a surrogate pair.
QString Clipped(const QString& text, int room)
{
    if (room <= 0)
        return {};
    if (text.size() <= room)
        return text;
    const bool splitsPair = text.at(room - 1).isHighSurrogate() && text.at(room).isLowSurrogate();
    return text.left(splitsPair ? room - 1 : room);
}

} // namespace

CRichEditCtrlEx::CRichEditCtrlEx(QWidget* parent) : QPlainTextEdit(parent) {}

int CRichEditCtrlEx::GetTextLength() const
{
    return document()->characterCount() - 1;
}

int CRichEditCtrlEx::Room() const
{
    const QTextCursor cursor = textCursor();
    const int selected = cursor.selectionEnd() - cursor.selectionStart();
    return m_limit - (GetTextLength() - selected);
}

void CRichEditCtrlEx::SelectAndScroll(int startChar, int endChar)
{
    setFocus(Qt::OtherFocusReason);
    const int last = GetTextLength();
    QTextCursor cursor(document());
    cursor.setPosition(qBound(0, startChar, last));
    // From the bottom, making the start visible puts its line at the top.
    setTextCursor(cursor);
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    ensureCursorVisible();
    const int top = verticalScrollBar()->value();
    cursor.setPosition(qBound(0, endChar, last), QTextCursor::KeepAnchor);
    setTextCursor(cursor);
    verticalScrollBar()->setValue(top);
}

QMimeData* CRichEditCtrlEx::createMimeDataFromSelection() const
{
    auto* data = new QMimeData;
    QString text = textCursor().selection().toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    data->setText(text);
    return data;
}

bool CRichEditCtrlEx::canInsertFromMimeData(const QMimeData* source) const
{
    return source->hasText();
}

void CRichEditCtrlEx::insertFromMimeData(const QMimeData* source)
{
    if (!source->hasText())
        return;
    const QString text = Clipped(WithSingleLineEnds(source->text()), Room());
    if (!text.isEmpty())
        insertPlainText(text);
}

void CRichEditCtrlEx::keyPressEvent(QKeyEvent* event)
{
    // The keys that put characters in, as the text control itself tells them apart.
    const QString text = event->text();
    const bool lineBreak = event->matches(QKeySequence::InsertParagraphSeparator) ||
                           event->matches(QKeySequence::InsertLineSeparator);
    const bool printable = !text.isEmpty() && (text.at(0).isPrint() || text.at(0) == QLatin1Char('\t'));
    if ((lineBreak || printable) && !isReadOnly() && Room() < (lineBreak ? 1 : text.size())) {
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void CRichEditCtrlEx::inputMethodEvent(QInputMethodEvent* event)
{
    const QString commit = event->commitString();
    if (!commit.isEmpty() && Room() < commit.size()) {
        QInputMethodEvent clipped(event->preeditString(), event->attributes());
        clipped.setCommitString(Clipped(commit, Room()), event->replacementStart(),
                                event->replacementLength());
        QPlainTextEdit::inputMethodEvent(&clipped);
        return;
    }
    QPlainTextEdit::inputMethodEvent(event);
}

void CRichEditCtrlEx::contextMenuEvent(QContextMenuEvent* event)
{
    emit contextMenuRequested(event->globalPos());
    event->accept();
}
