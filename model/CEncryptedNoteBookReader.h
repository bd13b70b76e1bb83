#pragma once

#include "model/CEncryptedFile.h"
#include "model/ReadProgress.h"

#include <memory>
#include <string>

class CFile;
class CNoteBook;
class CSealKey;
class CSecureBytes;

// Reads an encrypted notebook: asks for the passphrase, derives the key, opens the sealed bytes
// into memory and reads them there as an ordinary notebook. Nothing of the notes is read until the
// whole file has proved whole and genuine, so a wrong passphrase or a damaged file opens nothing.
class CEncryptedNoteBookReader
{
public:
    explicit CEncryptedNoteBookReader(CNoteBook& book);

    // As CNoteBookReader::Read; on success the notebook keeps the passphrase and key. The key is
    // derived and the chunks opened aside, as the notes are read.
    bool Read(const std::string& path);

private:
    bool Fail(const char* message);
    // Raises ReadCancelled when the user cancels.
    CEncryptedFile::Result UnsealAside(CFile& in, CEncryptedFile::Header& header, const CSecureBytes& typed,
                                       const CSecureBytes& passphrase, std::shared_ptr<const CSealKey>& key,
                                       CFile& plain);
    static CEncryptedFile::Result Unseal(CFile& in, const CEncryptedFile::Header& header,
                                         const CSecureBytes& passphrase, std::shared_ptr<const CSealKey>& key,
                                         CFile& plain, const ReadProgress& progress);

    CNoteBook& m_book;
};
