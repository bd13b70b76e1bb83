#pragma once

#include <QMenu>

// The dictionaries installed, one radio item each; choosing one checks in that language from
// then on, for this user.
class CSpellLanguageMenu : public QMenu
{
    Q_OBJECT

public:
    explicit CSpellLanguageMenu(QWidget* parent = nullptr);

private:
    void Fill();
};
