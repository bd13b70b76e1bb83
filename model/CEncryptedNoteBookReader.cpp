#include "model/CEncryptedNoteBookReader.h"

#include "model/CEncryptedFile.h"
#include "model/CNoteBook.h"
#include "model/CNoteBookReader.h"
#include "model/CNoteBookSecret.h"
#include "model/INoteBookFrame.h"
#include "model/PasswordPrompt.h"
#include "platform/CFile.h"
#include "platform/MessageBox.h"
#include "platform/Sodium.h"

CEncryptedNoteBookReader::CEncryptedNoteBookReader(CNoteBook& book) : m_book(book) {}

bool CEncryptedNoteBookReader::Fail(const char* message)
{
    AfxMessageBox(message, MB_ICONEXCLAMATION);
    m_book.Clear();
    return false;
}

bool CEncryptedNoteBookReader::Read(const std::string& path)
{
    m_book.Clear();
    CFile in;
    if (path.size() > CFilePath::MaxLength() || !in.Open(path, CFile::modeRead | CFile::shareDenyWrite))
        return Fail("ERROR: Could not read specified file.");
    CEncryptedFile::Header header;
    CEncryptedFile::Result result = CEncryptedFile::ReadHeader(in, header);
    if (result != CEncryptedFile::Result::Ok)
        return Fail(CEncryptedFile::Message(result));

    INoteBookFrame* frame = m_book.GetMainFrame();
    std::string entered;
    const bool answered =
        AskNoteBookPassphrase(frame, "Enter the passphrase of the encrypted notebook:", entered);
    CSecureBytes passphrase(entered);
    sodium_memzero(entered.data(), entered.size());
    if (!answered)
        return Fail("ERROR: Could not read file.");
    std::shared_ptr<const CSealKey> key = CSealKey::Derive(passphrase, header.params, &header.salt);
    if (!key)
        return Fail(CEncryptedFile::Message(CEncryptedFile::Result::AbsurdParameters));

    // The opened bytes stay in memory; the notebook reader reads them there by the memory file's name.
    CFile plain;
    try {
        if (!plain.OpenInMemory("encrypted notebook"))
            return Fail("ERROR: Could not read file.");
        result = CEncryptedFile::Unseal(in, header, *key, plain);
    } catch (const CFileException&) {
        result = CEncryptedFile::Result::ReadError;
    }
    in.Abort();
    if (result != CEncryptedFile::Result::Ok)
        return Fail(CEncryptedFile::Message(result));
    if (!CNoteBookReader(m_book).Read(plain.GetDescriptorPath()))
        return false;
    m_book.GetPath().SetPath(path);
    m_book.SetSecret(std::make_shared<const CNoteBookSecret>(std::move(passphrase), std::move(key)));
    if (frame)
        frame->UpdateTitle();
    return true;
}
