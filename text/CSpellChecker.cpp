#include "text/CSpellChecker.h"

#include "platform/AtomicFile.h"
#include "platform/XdgPaths.h"

#include <hunspell/hunspell.hxx>

#include <algorithm>
#include <cctype>
#include <dirent.h>
#include <fstream>
#include <iconv.h>
#include <sys/stat.h>

namespace {

bool IsUtf8(const std::string& encoding)
{
    std::string upper = encoding;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return std::toupper(c); });
    return upper.empty() || upper == "UTF-8" || upper == "UTF8";
}

// Text from one encoding to another; empty when it does not convert.
std::string Convert(std::string_view text, const std::string& to, const std::string& from)
{
    iconv_t converter = ::iconv_open(to.c_str(), from.c_str());
    if (converter == reinterpret_cast<iconv_t>(-1))
        return {};
    std::string in(text);
    std::string out(in.size() * 4 + 4, '\0');
    char* inPtr = in.data();
    std::size_t inLeft = in.size();
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    const std::size_t done = ::iconv(converter, &inPtr, &inLeft, &outPtr, &outLeft);
    ::iconv_close(converter);
    if (done == static_cast<std::size_t>(-1))
        return {};
    out.resize(out.size() - outLeft);
    return out;
}

bool FileExists(const std::string& path)
{
    struct stat info
    {
    };
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

} // namespace

CSpellChecker::CSpellChecker() = default;
CSpellChecker::~CSpellChecker() = default;

std::vector<std::string> CSpellChecker::InstalledLanguages(const std::string& folder)
{
    std::vector<std::string> languages;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return languages;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".dic") == 0) {
            const std::string language = name.substr(0, name.size() - 4);
            if (FileExists(folder + "/" + language + ".aff"))
                languages.push_back(language);
        }
    }
    ::closedir(dir);
    std::sort(languages.begin(), languages.end());
    return languages;
}

std::string CSpellChecker::PersonalListPath()
{
    const std::string data = XdgDataHome();
    return data.empty() ? data : data + "/pelmora/dictionary.txt";
}

bool CSpellChecker::Load(const std::string& language, const std::string& folder)
{
    const std::string base = folder + "/" + language;
    if (!FileExists(base + ".aff") || !FileExists(base + ".dic"))
        return false;
    auto hunspell = std::make_unique<Hunspell>((base + ".aff").c_str(), (base + ".dic").c_str());
    std::lock_guard lock(m_mutex);
    m_hunspell = std::move(hunspell);
    m_language = language;
    m_encoding = m_hunspell->get_dict_encoding();
    m_known.clear();
    LoadPersonalList();
    return true;
}

bool CSpellChecker::IsLoaded() const
{
    std::lock_guard lock(m_mutex);
    return m_hunspell != nullptr;
}

std::string CSpellChecker::Language() const
{
    std::lock_guard lock(m_mutex);
    return m_language;
}

void CSpellChecker::LoadPersonalList()
{
    std::ifstream list(PersonalListPath());
    std::string word;
    while (std::getline(list, word))
        if (!word.empty())
            m_hunspell->add(ToDictionary(word));
}

std::string CSpellChecker::ToDictionary(std::string_view word) const
{
    return IsUtf8(m_encoding) ? std::string(word) : Convert(word, m_encoding, "UTF-8");
}

std::string CSpellChecker::FromDictionary(const std::string& word) const
{
    return IsUtf8(m_encoding) ? word : Convert(word, "UTF-8", m_encoding);
}

bool CSpellChecker::IsCorrect(std::string_view word)
{
    std::lock_guard lock(m_mutex);
    if (!m_hunspell || m_ignored.count(word))
        return true;
    const std::string key(word);
    if (const auto known = m_known.find(key); known != m_known.end())
        return known->second;
    const std::string converted = ToDictionary(word);
    // A word the dictionary's encoding cannot hold is not the dictionary's to judge.
    const bool correct = converted.empty() || m_hunspell->spell(converted);
    m_known.emplace(key, correct);
    return correct;
}

std::vector<std::string> CSpellChecker::Suggest(std::string_view word, std::size_t most)
{
    std::lock_guard lock(m_mutex);
    std::vector<std::string> suggestions;
    if (!m_hunspell)
        return suggestions;
    for (const std::string& suggestion : m_hunspell->suggest(ToDictionary(word))) {
        if (suggestions.size() == most)
            break;
        suggestions.push_back(FromDictionary(suggestion));
    }
    return suggestions;
}

bool CSpellChecker::AddToPersonal(std::string_view word)
{
    const std::string path = PersonalListPath();
    if (path.empty())
        return false;
    if (!MakeFolders(path.substr(0, path.rfind('/'))))
        return false;
    std::ofstream list(path, std::ios::app);
    list << word << '\n';
    list.flush();
    if (!list)
        return false;
    std::lock_guard lock(m_mutex);
    if (m_hunspell)
        m_hunspell->add(ToDictionary(word));
    m_known.erase(std::string(word));
    return true;
}

void CSpellChecker::IgnoreAll(std::string_view word)
{
    std::lock_guard lock(m_mutex);
    m_ignored.emplace(word);
}
