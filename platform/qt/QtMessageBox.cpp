#include "platform/qt/QtMessageBox.h"

#include "platform/MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace {

QMessageBox::Icon IconOf(unsigned style)
{
    switch (style & MB_ICONMASK) {
    case MB_ICONQUESTION:
        return QMessageBox::Question;
    case MB_ICONEXCLAMATION:
        return QMessageBox::Warning;
    case MB_ICONINFORMATION:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

struct Button
{
    QMessageBox::StandardButton button;
    int answer;
};

QList<Button> ButtonsOf(unsigned style)
{
    switch (style & MB_TYPEMASK) {
    case MB_OKCANCEL:
        return {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}};
    case MB_YESNOCANCEL:
        return {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}, {QMessageBox::Cancel, IDCANCEL}};
    case MB_YESNO:
        return {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}};
    default:
        return {{QMessageBox::Ok, IDOK}};
    }
}

int ShowBox(const std::string& text, unsigned style, const std::string& caption)
{
    QWidget* owner = QApplication::activeModalWidget();
    if (!owner)
        owner = QApplication::activeWindow();
    QMessageBox box(IconOf(style),
                    caption.empty() ? QStringLiteral("Pelmora") : QString::fromStdString(caption),
                    QString::fromStdString(text), QMessageBox::NoButton, owner);
    const QList<Button> buttons = ButtonsOf(style);
    for (const Button& b : buttons)
        box.addButton(b.button);
    const auto defaultIndex = static_cast<qsizetype>((style & MB_DEFMASK) >> 8);
    if (defaultIndex < buttons.size())
        box.setDefaultButton(buttons.at(defaultIndex).button);
    QPushButton* merge = nullptr;
    if (style & MB_MERGE)
        merge = box.addButton(QApplication::translate("MessageBox", "&Merge"), QMessageBox::ActionRole);
    const auto pressed = static_cast<QMessageBox::StandardButton>(box.exec());
    if (merge && box.clickedButton() == merge)
        return IDMERGE;
    for (const Button& b : buttons)
        if (b.button == pressed)
            return b.answer;
    // Closed with Escape or the close box.
    return buttons.size() > 1 ? IDCANCEL : IDOK;
}

} // namespace

void InstallQtMessageBox()
{
    SetMessageBoxHandler(ShowBox);
}
