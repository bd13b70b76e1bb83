#include "views/CSpellLanguageMenu.h"

#include "views/CSpelling.h"

#include <QActionGroup>

CSpellLanguageMenu::CSpellLanguageMenu(QWidget* parent) : QMenu(tr("Spelling Lan&guage"), parent)
{
    Fill();
    // Dictionaries installed while the program runs show up the next time the menu opens.
    connect(this, &QMenu::aboutToShow, this, &CSpellLanguageMenu::Fill);
}

void CSpellLanguageMenu::Fill()
{
    clear();
    CSpelling& spelling = CSpelling::Instance();
    auto* group = new QActionGroup(this);
    const QStringList languages = CSpelling::Languages();
    for (const QString& language : languages) {
        QAction* item = group->addAction(language);
        item->setCheckable(true);
        item->setChecked(language == spelling.Language());
        connect(item, &QAction::triggered, this, [language] { CSpelling::Instance().SetLanguage(language); });
        addAction(item);
    }
    if (languages.isEmpty())
        addAction(tr("(No Dictionaries Installed)"))->setEnabled(false);
}
