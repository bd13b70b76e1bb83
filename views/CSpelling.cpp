#include "views/CSpelling.h"

#include <QLocale>
#include <QTimer>

#include <algorithm>

namespace {

// The user's choice when it is installed, then the language of the desktop, then English.
std::string PickLanguage(const std::string& chosen)
{
    const QStringList installed = CSpelling::Languages();
    for (const QString& wanted :
         {QString::fromStdString(chosen), QLocale::system().name(), QStringLiteral("en_US")})
        if (!wanted.isEmpty() && installed.contains(wanted))
            return wanted.toStdString();
    return installed.isEmpty() ? std::string() : installed.first().toStdString();
}

} // namespace

CSpelling& CSpelling::Instance()
{
    static CSpelling spelling;
    return spelling;
}

CSpelling::CSpelling()
{
    ReadChoices();
    // The dictionary loads once the program first waits for the user: a notebook opened at start-up
    // has both cores to itself.
    QTimer::singleShot(0, this, &CSpelling::StartLoading);
}

CSpelling::~CSpelling()
{
    WaitUntilLoaded();
}

void CSpelling::ReadChoices()
{
    m_settings = CSpellSettings::Read();
    m_language = PickLanguage(m_settings.m_language);
}

QStringList CSpelling::Languages()
{
    QStringList languages;
    for (const std::string& language : CSpellChecker::InstalledLanguages())
        languages << QString::fromStdString(language);
    return languages;
}

void CSpelling::StartLoading()
{
    WaitUntilLoaded();
    if (!m_settings.m_bCheck || m_language.empty() || m_checker.Language() == m_language)
        return;
    m_loader = std::thread([this, language = m_language] {
        m_checker.Load(language);
        QMetaObject::invokeMethod(this, &CSpelling::Changed, Qt::QueuedConnection);
    });
}

void CSpelling::WaitUntilLoaded()
{
    if (m_loader.joinable())
        m_loader.join();
}

void CSpelling::SetOn(bool on)
{
    m_settings.m_bCheck = on;
    m_settings.Write();
    StartLoading();
    emit Changed();
}

void CSpelling::SetLanguage(const QString& language)
{
    if (!Languages().contains(language))
        return;
    m_language = m_settings.m_language = language.toStdString();
    m_settings.Write();
    StartLoading();
    emit Changed();
}

bool CSpelling::IsMisspelt(const QString& word)
{
    return IsOn() && !m_checker.IsCorrect(word.toStdString());
}

QStringList CSpelling::Suggest(const QString& word)
{
    QStringList suggestions;
    for (const std::string& suggestion : m_checker.Suggest(word.toStdString()))
        suggestions << QString::fromStdString(suggestion);
    return suggestions;
}

void CSpelling::AddToDictionary(const QString& word)
{
    m_checker.AddToPersonal(word.toStdString());
    emit Changed();
}

void CSpelling::IgnoreAll(const QString& word)
{
    m_checker.IgnoreAll(word.toStdString());
    emit Changed();
}
