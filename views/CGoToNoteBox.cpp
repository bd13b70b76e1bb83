#include "views/CGoToNoteBox.h"

#include "model/CNoteBook.h"

#include <QApplication>
#include <QBoxLayout>
#include <QKeyEvent>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>

#include <algorithm>

namespace {

constexpr int kMinimumWidth = 280;

} // namespace

CGoToNoteBox::CGoToNoteBox(const CNoteBook& book, QWidget* parent)
    : QFrame(parent), m_book(book), m_edit(new QLineEdit(this)), m_results(new QListWidget(this))
{
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setAutoFillBackground(true);
    m_edit->setPlaceholderText(tr("Note title"));
    m_edit->setAccessibleName(tr("Go to Note"));
    m_results->setAccessibleName(tr("Matching notes"));
    m_results->setUniformItemSizes(true);
    m_results->setFocusPolicy(Qt::NoFocus);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(m_edit);
    layout->addWidget(m_results);
    m_edit->installEventFilter(this);
    connect(m_edit, &QLineEdit::textEdited, this, &CGoToNoteBox::Narrow);
    connect(m_results, &QListWidget::itemActivated, this, [this] { Choose(); });
    hide();
}

void CGoToNoteBox::Open(const QRect& over)
{
    QWidget* focus = QApplication::focusWidget();
    if (focus != m_edit)
        m_returnFocus = focus;
    setGeometry(over.x(), over.y(), std::max(over.width(), kMinimumWidth), over.height());
    m_edit->clear();
    m_finder.Load(m_book);
    m_loadedAt = m_book.GetChangeCount();
    show();
    raise();
    // The rows the box shows are the matches it keeps: its list takes its height first.
    layout()->activate();
    Narrow(QString());
    m_edit->setFocus(Qt::ShortcutFocusReason);
}

// As many matches as the box shows: a key never keeps more, whatever the notebook holds.
std::size_t CGoToNoteBox::VisibleRows() const
{
    const int row = std::max(1, m_results->fontMetrics().height());
    return static_cast<std::size_t>(std::max(1, m_results->viewport()->height() / row + 1));
}

void CGoToNoteBox::Narrow(const QString& text)
{
    // A command run by its key while the box is open may have changed the notes.
    if (m_book.GetChangeCount() != m_loadedAt) {
        m_finder.Load(m_book);
        m_loadedAt = m_book.GetChangeCount();
    }
    const std::vector<TitleMatch> matches = m_finder.Find(text.toStdString(), VisibleRows());
    m_results->clear();
    for (const TitleMatch& match : matches) {
        const CNote* note = m_book.GetNoteAtIndex(match.index);
        auto* item = new QListWidgetItem(QString::fromStdString(note->GetTitle()), m_results);
        item->setData(Qt::UserRole, note->GetSerial());
    }
    if (m_results->count() > 0)
        m_results->setCurrentRow(0);
}

void CGoToNoteBox::Step(int rows)
{
    const int count = m_results->count();
    if (count > 0)
        m_results->setCurrentRow(std::clamp(m_results->currentRow() + rows, 0, count - 1));
}

void CGoToNoteBox::Choose()
{
    const QListWidgetItem* item = m_results->currentItem();
    if (!item)
        return;
    const int serial = item->data(Qt::UserRole).toInt();
    m_returnFocus = nullptr;
    HideAndRelease();
    emit NoteChosen(serial);
}

void CGoToNoteBox::HideAndRelease()
{
    hide();
    m_results->clear();
    m_finder.Release();
}

void CGoToNoteBox::Close()
{
    HideAndRelease();
    if (m_returnFocus)
        m_returnFocus->setFocus(Qt::OtherFocusReason);
}

bool CGoToNoteBox::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_edit && event->type() == QEvent::FocusOut && isVisible() &&
        static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason)
        HideAndRelease();
    if (watched != m_edit || event->type() != QEvent::KeyPress)
        return QFrame::eventFilter(watched, event);
    const int page = std::max(1, m_results->count() - 1);
    switch (static_cast<QKeyEvent*>(event)->key()) {
    case Qt::Key_Up:
        Step(-1);
        return true;
    case Qt::Key_Down:
        Step(1);
        return true;
    case Qt::Key_PageUp:
        Step(-page);
        return true;
    case Qt::Key_PageDown:
        Step(page);
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        Choose();
        return true;
    case Qt::Key_Escape:
        Close();
        return true;
    default:
        return QFrame::eventFilter(watched, event);
    }
}
