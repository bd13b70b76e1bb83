#include "views/CTextBoxAccessible.h"

#include "views/CRichEditCtrlEx.h"

CTextBoxAccessible::CTextBoxAccessible(CRichEditCtrlEx* box)
    : QAccessibleWidget(box, QAccessible::EditableText)
{
}

QAccessibleInterface* CTextBoxAccessible::Create(const QString&, QObject* object)
{
    auto* box = qobject_cast<CRichEditCtrlEx*>(object);
    return box ? new CTextBoxAccessible(box) : nullptr;
}

CRichEditCtrlEx* CTextBoxAccessible::Box() const
{
    return static_cast<CRichEditCtrlEx*>(widget());
}

void* CTextBoxAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface*>(this);
    if (type == QAccessible::EditableTextInterface)
        return static_cast<QAccessibleEditableTextInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

QString CTextBoxAccessible::text(QAccessible::Text kind) const
{
    if (kind == QAccessible::Value)
        return Box()->toPlainText();
    return QAccessibleWidget::text(kind);
}

QAccessible::State CTextBoxAccessible::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    state.editable = true;
    state.multiLine = true;
    state.selectableText = true;
    return state;
}

void CTextBoxAccessible::selection(int selectionIndex, int* startOffset, int* endOffset) const
{
    const bool has = selectionIndex == 0 && Box()->HasSelection();
    *startOffset = has ? Box()->SelectionStart() : 0;
    *endOffset = has ? Box()->SelectionEnd() : 0;
}

int CTextBoxAccessible::selectionCount() const
{
    return Box()->HasSelection() ? 1 : 0;
}

void CTextBoxAccessible::addSelection(int startOffset, int endOffset)
{
    Box()->SetSelection(startOffset, endOffset);
}

void CTextBoxAccessible::removeSelection(int)
{
    Box()->SetSelection(Box()->CursorPosition(), Box()->CursorPosition());
}

void CTextBoxAccessible::setSelection(int, int startOffset, int endOffset)
{
    Box()->SetSelection(startOffset, endOffset);
}

int CTextBoxAccessible::cursorPosition() const
{
    return Box()->CursorPosition();
}

void CTextBoxAccessible::setCursorPosition(int position)
{
    Box()->SetSelection(position, position);
}

QString CTextBoxAccessible::text(int startOffset, int endOffset) const
{
    return Box()->Text(startOffset, endOffset);
}

int CTextBoxAccessible::characterCount() const
{
    return Box()->GetTextLength();
}

QRect CTextBoxAccessible::characterRect(int offset) const
{
    const QRect local = Box()->CharacterRect(offset);
    return QRect(Box()->viewport()->mapToGlobal(local.topLeft()), local.size());
}

int CTextBoxAccessible::offsetAtPoint(const QPoint& point) const
{
    return Box()->PositionAt(Box()->viewport()->mapFromGlobal(point));
}

void CTextBoxAccessible::scrollToSubstring(int startIndex, int endIndex)
{
    Box()->SetSelection(endIndex, startIndex);
}

QString CTextBoxAccessible::attributes(int offset, int* startOffset, int* endOffset) const
{
    // Plain text: one run of no attributes.
    *startOffset = 0;
    *endOffset = offset < 0 ? 0 : characterCount();
    return {};
}

void CTextBoxAccessible::deleteText(int startOffset, int endOffset)
{
    replaceText(startOffset, endOffset, {});
}

void CTextBoxAccessible::insertText(int offset, const QString& text)
{
    replaceText(offset, offset, text);
}

void CTextBoxAccessible::replaceText(int startOffset, int endOffset, const QString& text)
{
    Box()->SetSelection(startOffset, endOffset);
    Box()->InsertText(text);
}
