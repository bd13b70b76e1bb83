#include "views/CCountsPane.h"

#include "views/CRichEditCtrlEx.h"

#include <algorithm>

namespace {

// About a millisecond of counting a slice; a large text waits for the typing to pause.
constexpr int kSliceChars = 1 << 20;
constexpr int kPauseMs = 150;

} // namespace

CCountsPane::CCountsPane(QWidget* parent) : QLabel(parent)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &CCountsPane::CountSlice);
    hide();
}

void CCountsPane::Watch(CRichEditCtrlEx* textBox)
{
    if (textBox == m_textBox)
        return;
    Forget();
    if (!textBox)
        return;
    m_textBox = textBox;
    m_connections = {
        connect(textBox, &CRichEditCtrlEx::textChanged, this, &CCountsPane::OnTextChanged),
        connect(textBox, &CRichEditCtrlEx::selectionChanged, this, &CCountsPane::OnSelectionChanged),
        connect(textBox, &QObject::destroyed, this, &CCountsPane::Forget)};
    m_textChanged = true;
    Restart();
    show();
}

void CCountsPane::Forget()
{
    for (const QMetaObject::Connection& connection : m_connections)
        disconnect(connection);
    m_connections.clear();
    m_textBox = nullptr;
    m_timer.stop();
    hide();
}

void CCountsPane::OnTextChanged()
{
    m_textChanged = true;
    Restart();
}

// A caret moved without a selection, before or after, leaves the text's count as it is.
void CCountsPane::OnSelectionChanged()
{
    if (m_textBox && !m_selection && !m_textBox->HasSelection() && !m_textChanged)
        return;
    Restart();
}

void CCountsPane::Restart()
{
    if (!m_textBox)
        return;
    m_selection = m_textBox->HasSelection();
    m_from = m_selection ? m_textBox->SelectionStart() : 0;
    m_to = m_selection ? m_textBox->SelectionEnd() : m_textBox->GetTextLength();
    m_next = m_from;
    m_counter = CWordCounter();
    m_textChanged = false;
    m_timer.start(m_to - m_from > kSliceChars ? kPauseMs : 0);
}

void CCountsPane::CountSlice()
{
    if (!m_textBox)
        return;
    const int end = m_to - m_next > kSliceChars ? m_next + kSliceChars : m_to;
    m_textBox->GetDocument().ForEachPieceBetween(m_next, end,
                                                 [this](std::string_view piece) { m_counter.Add(piece); });
    m_next = end;
    if (m_next < m_to)
        m_timer.start(0);
    else
        ShowCounts();
}

void CCountsPane::ShowCounts()
{
    const auto words = static_cast<qulonglong>(m_counter.Words());
    const int characters = m_to - m_from;
    const QString counts = QStringLiteral("%1, %2").arg(
        words == 1 ? tr("1 word") : tr("%L1 words").arg(words),
        characters == 1 ? tr("1 character") : tr("%L1 characters").arg(characters));
    setText(m_selection ? tr("%1 selected").arg(counts) : counts);
}
