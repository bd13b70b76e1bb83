#include "model/CEncryptedNoteBookReader.h"

#include "model/CEncryptedFile.h"
#include "model/CNoteBook.h"
#include "model/CNoteBookReader.h"
#include "model/CNoteBookSecret.h"
#include "model/INoteBookFrame.h"
#include "model/PassphraseText.h"
#include "model/PasswordPrompt.h"
#include "platform/CFile.h"
#include "platform/MessageBox.h"
#include "platform/Sodium.h"

namespace {

const char* const kCannotRead = "ERROR: Could not read file.";

} // namespace

CEncryptedNoteBookReader::CEncryptedNoteBookReader(CNoteBook& book) : m_book(book) {}

bool CEncryptedNoteBookReader::Fail(const char* message)
{
    AfxMessageBox(message, MB_ICONEXCLAMATION);
    m_book.Clear();
    return false;
}

// Opens the chunks with the key of this passphrase; the opened bytes stay in memory, where the
// notebook reader reads them by the memory file's name.
CEncryptedFile::Result CEncryptedNoteBookReader::Unseal(CFile& in, const CEncryptedFile::Header& header,
                                                        const CSecureBytes& passphrase,
                                                        std::shared_ptr<const CSealKey>& key, CFile& plain,
                                                        const ReadProgress& progress)
{
    key = CSealKey::Derive(passphrase, header.params, &header.salt);
    if (!key)
        return CEncryptedFile::Result::AbsurdParameters;
    // The derivation reports nothing: a Cancel during it counts from here.
    if (progress && !progress(0, 0))
        throw ReadCancelled();
    return CEncryptedFile::Unseal(in, header, *key, plain, progress);
}

// The key is made from the NFC form; a file written before that was made from the bytes typed.
CEncryptedFile::Result CEncryptedNoteBookReader::UnsealAside(CFile& in, CEncryptedFile::Header& header,
                                                             const CSecureBytes& typed,
                                                             const CSecureBytes& passphrase,
                                                             std::shared_ptr<const CSealKey>& key,
                                                             CFile& plain)
{
    CEncryptedFile::Result result = CEncryptedFile::Result::ReadError;
    const auto work = [&](const ReadProgress& progress) {
        try {
            result = Unseal(in, header, passphrase, key, plain, progress);
            if (result == CEncryptedFile::Result::WrongPassphraseOrDamaged &&
                passphrase.View() != typed.View()) {
                in.SeekToBegin();
                result = CEncryptedFile::ReadHeader(in, header);
                if (result == CEncryptedFile::Result::Ok)
                    result = Unseal(in, header, typed, key, plain, progress);
            }
        } catch (const CFileException&) {
            result = CEncryptedFile::Result::ReadError;
        }
    };
    RunRead(m_book.GetMainFrame(), work);
    return result;
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
    CSecureBytes typed(entered);
    sodium_memzero(entered.data(), entered.size());
    if (!answered)
        return Fail(kCannotRead);
    CSecureBytes passphrase = NormalizedPassphrase(typed);
    std::shared_ptr<const CSealKey> key;
    CFile plain;
    if (!plain.OpenInMemory("encrypted notebook"))
        return Fail(kCannotRead);
    try {
        result = UnsealAside(in, header, typed, passphrase, key, plain);
    } catch (const ReadCancelled&) {
        in.Abort();
        m_book.Clear();
        return false;
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
