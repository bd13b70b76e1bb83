#pragma once

#include "text/CTextMatcher.h"
#include "tools/CPasswordSource.h"

#include <string>
#include <vector>

class CNoteBook;

// The commands of pelmora-tool on the notebook model. Each returns the exit status: 0 done, 1 the
// reader, the writer or the input failed (the reason is on standard error). Grep answers as grep
// does: 0 found, 1 nothing found, 2 a bad pattern or a notebook it could not read.
class CTool
{
public:
    CTool(std::string passwordFile, std::string passphraseFile);

    int Info(const std::string& file, bool headerOnly);
    int Dump(const std::string& file);
    int Load(const std::string& file);
    int Export(const std::string& file, const std::string& directory);
    // The files in the encoding named, or each in the one found when none is.
    int Import(const std::string& file, const std::vector<std::string>& paths, const std::string& encoding);
    int Grep(const std::string& pattern, const std::string& file, const CTextMatcher::Options& options);
    // Replaces in every title and text as the window's Replace All does; exits as grep for a bad
    // pattern. A dry run only counts.
    int Replace(const std::string& pattern, const std::string& replacement, const std::string& file,
                const CTextMatcher::Options& options, bool dryRun);
    // An encrypted copy of a plain notebook, and a plain copy of an encrypted one.
    int Encrypt(const std::string& file, const std::string& target);
    int Decrypt(const std::string& file, const std::string& target);

private:
    static CNoteBook& NoteBook();
    bool Read(CNoteBook& book, const std::string& file);
    // A file named .pelmx is written encrypted: a notebook that is not yet gets a passphrase from
    // the password's sources. False (and the reason printed) when none fit.
    bool EncryptFor(CNoteBook& book, const std::string& target);
    int Write(CNoteBook& book, const std::string& target);

    CPasswordSource m_password;
};
