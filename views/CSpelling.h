#pragma once

#include "platform/desktop/CSpellSettings.h"
#include "text/CSpellChecker.h"

#include <QObject>
#include <QStringList>

#include <thread>

// Spelling as you type, one for the whole program: the user's choices from the registry store and
// a checker whose dictionary loads on a thread of its own, so that nothing waits for it. Until it
// has loaded no word is marked.
class CSpelling : public QObject
{
    Q_OBJECT

public:
    static CSpelling& Instance();
    ~CSpelling() override;

    bool IsOn() const { return m_settings.m_bCheck; }
    void SetOn(bool on);
    // The language checked in, and those installed.
    QString Language() const { return QString::fromStdString(m_language); }
    void SetLanguage(const QString& language);
    static QStringList Languages();
    bool IsAvailable() const { return !m_language.empty(); }

    // A word counts as misspelt only while checking is on and the dictionary is there.
    bool IsMisspelt(const QString& word);
    QStringList Suggest(const QString& word);
    void AddToDictionary(const QString& word);
    void IgnoreAll(const QString& word);
    // Blocks until a dictionary being loaded is there.
    void WaitUntilLoaded();

signals:
    // What counts as misspelt changed: the boxes paint again.
    void Changed();

private:
    CSpelling();
    // The user's choices from the registry store.
    void ReadChoices();
    void StartLoading();

    CSpellSettings m_settings;
    std::string m_language;
    CSpellChecker m_checker;
    std::thread m_loader;
};
