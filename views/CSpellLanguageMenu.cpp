#include "views/CSpellLanguageMenu.h"

#include "views/CSpelling.h"

#include <QActionGroup>
#include <QLocale>

namespace {

// "German (Belgium)" for de_BE, as the locale names it; the code alone where it names nothing.
QString NameOf(const QString& code)
{
    const QLocale locale(code);
    if (locale.language() == QLocale::C)
        return code;
    QString name = QLocale::languageToString(locale.language());
    if (code.contains(QLatin1Char('_')) && locale.territory() != QLocale::AnyTerritory)
        name += QStringLiteral(" (%1)").arg(QLocale::territoryToString(locale.territory()));
    return name;
}

// 1 to 9, then A to Z: every entry reachable from the keyboard while there are characters.
QString AccessOf(int index)
{
    static const QString characters = QStringLiteral("123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    return index < characters.size() ? QStringLiteral("&") + characters.at(index) + QLatin1Char(' ')
                                     : QString();
}

} // namespace

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
    for (int i = 0; i < languages.size(); ++i) {
        const QString& language = languages.at(i);
        // The code stands beside the name, where a menu shows a command's keys.
        QAction* item = group->addAction(AccessOf(i) + NameOf(language) + QLatin1Char('\t') + language);
        item->setData(language);
        item->setCheckable(true);
        item->setChecked(language == spelling.Language());
        connect(item, &QAction::triggered, this, [language] { CSpelling::Instance().SetLanguage(language); });
        addAction(item);
    }
    if (languages.isEmpty())
        addAction(tr("(No Dictionaries Installed)"))->setEnabled(false);
}
