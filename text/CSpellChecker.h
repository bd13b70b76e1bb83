#pragma once

#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class Hunspell;

// Spelling with one Hunspell dictionary, the user's own list of words and the words ignored for
// this run. Words are UTF-8, whatever the dictionary's own encoding. Safe to load on one thread
// while another asks; until loaded every word counts as right.
class CSpellChecker
{
public:
    CSpellChecker();
    ~CSpellChecker();
    CSpellChecker(const CSpellChecker&) = delete;
    CSpellChecker& operator=(const CSpellChecker&) = delete;

    // The language names of the dictionaries in folder ("en_US" for en_US.dic), sorted.
    static std::vector<std::string> InstalledLanguages(const std::string& folder = kDictionaryFolder);
    // $XDG_DATA_HOME/pelmora/dictionary.txt, or empty without a home.
    static std::string PersonalListPath();

    // Loads folder/language.aff and .dic, and the user's list; false when the dictionary is missing.
    bool Load(const std::string& language, const std::string& folder = kDictionaryFolder);
    bool IsLoaded() const;
    std::string Language() const;

    bool IsCorrect(std::string_view word);
    // At most most suggestions, best first.
    std::vector<std::string> Suggest(std::string_view word, std::size_t most = 5);
    // Adds the word to the user's list file and to this checker; false when the file cannot be written.
    bool AddToPersonal(std::string_view word);
    void IgnoreAll(std::string_view word);

    static constexpr const char* kDictionaryFolder = "/usr/share/hunspell";

private:
    std::string ToDictionary(std::string_view word) const;
    std::string FromDictionary(const std::string& word) const;
    void LoadPersonalList();

    mutable std::mutex m_mutex;
    std::unique_ptr<Hunspell> m_hunspell;
    std::string m_language;
    std::string m_encoding;
    std::set<std::string, std::less<>> m_ignored;
    // Answers already given: the words on screen are asked again at every paint.
    std::unordered_map<std::string, bool> m_known;
};
