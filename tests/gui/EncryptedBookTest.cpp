#include "app/CRecoveryKeeper.h"
#include "model/CEncryptedFile.h"
#include "platform/CRecoverySlot.h"
#include "platform/qt/CSliceProgress.h"
#include "support/FirstBar.h"
#include "support/NoteBookBytes.h"
#include "support/PaneFixture.h"
#include "support/ScopedCount.h"
#include "support/TempDir.h"

#include <QStatusBar>

#include <filesystem>

class EncryptedBookTest : public PaneTest
{
protected:
    bool Run(int id) { return frame->GetRouter().Run(id); }

    // Saves the open notebook as book.pelmx with the passphrase, typed wrong twice first.
    void SaveEncrypted()
    {
        CPassphraseDlg::SetNextAnswer(IDOK, "short", "short");
        CPassphraseDlg::SetNextAnswer(IDOK, kPassphrase, kPassphrase + "!");
        CPassphraseDlg::SetNextAnswer(IDOK, kPassphrase, kPassphrase);
        CFileDialog::SetNextFileName(QString::fromStdString(path));
        ASSERT_TRUE(frame->SaveBookAs());
    }

    std::string Salt() { return NoteBookBytes::Load(path).substr(32, 16); }

    TempDir dir;
    std::string path = dir.File("book.pelmx");
};

TEST_F(EncryptedBookTest, SavedEncryptedKeptEncryptedAndOpenedWithThePassphrase)
{
    OpenNotes({{"Client list", "Mrs Hudson, 221b"}});
    SaveEncrypted();
    ASSERT_EQ(boxes.boxes.size(), 2u);
    EXPECT_EQ(boxes.boxes[0].text, "The passphrase must be at least 8 characters long.");
    EXPECT_EQ(boxes.boxes[1].text, "The two passphrases differ. Type the same passphrase twice.");
    EXPECT_TRUE(CEncryptedFile::HasMagic(path));
    EXPECT_EQ(NoteBookBytes::Load(path).find("Hudson"), std::string::npos);
    EXPECT_EQ(frame->windowTitle(), "Pelmora - book");

    // Save keeps it encrypted, with a fresh salt; so does the recovery copy. The new key is made
    // while the window runs, under a bar whose Cancel leaves the file.
    const std::string salt = Salt();
    const std::string saved = NoteBookBytes::Load(path);
    book->SetModified();
    {
        const FirstBar saving(*frame, FirstBar::Cancel);
        EXPECT_FALSE(frame->SaveBook());
        EXPECT_EQ(saving.Label(), "Saving NoteBook...");
    }
    EXPECT_EQ(NoteBookBytes::Load(path), saved);
    EXPECT_EQ(frame->statusBar()->currentMessage(), "Save cancelled: the file was left as it was.");
    ASSERT_TRUE(Run(ID_FILE_SAVE));
    EXPECT_NE(Salt(), salt);
    book->GetNoteAtIndex(0)->SetTitle("Client list 2");
    book->SetModified();
    ASSERT_TRUE(frame->GetBookController().GetRecoveryKeeper()->Flush());
    std::string copy;
    for (const auto& entry : std::filesystem::directory_iterator(CRecoverySlot::DefaultFolder()))
        if (entry.path().extension() == ".pelmx")
            copy = entry.path().string();
    ASSERT_FALSE(copy.empty());
    EXPECT_TRUE(CEncryptedFile::HasMagic(copy));
    EXPECT_EQ(NoteBookBytes::Load(copy).find("Client list 2"), std::string::npos);
    book->SetModifiedFlag(false);
    frame->CloseBook();

    CPasswordDlg::SetNextAnswer(IDOK, "not the passphrase");
    frame->OpenBook(path);
    EXPECT_FALSE(frame->IsBookOpen());
    EXPECT_EQ(boxes.boxes.back().text,
              "ERROR: Wrong passphrase, or the encrypted notebook was changed or damaged.");
    {
        // Cancelled while the key is made: nothing opens, and nothing is said.
        const ScopedCount<CSliceProgress::SetPiecesPerSlice> slices(1);
        const FirstBar reading(*frame, FirstBar::Cancel);
        const std::size_t told = boxes.boxes.size();
        CPasswordDlg::SetNextAnswer(IDOK, kPassphrase);
        frame->OpenBook(path);
        EXPECT_EQ(reading.Label(), "Reading NoteBook...");
        EXPECT_FALSE(frame->IsBookOpen());
        EXPECT_EQ(boxes.boxes.size(), told);
    }
    CPasswordDlg::SetNextAnswer(IDOK, kPassphrase);
    frame->OpenBook(path);
    ASSERT_TRUE(frame->IsBookOpen());
    EXPECT_EQ(frame->GetNoteBook()->GetNoteAtIndex(0)->GetText(), "Mrs Hudson, 221b");
    EXPECT_TRUE(Enabled(ID_CHANGE_PASSPHRASE));
}

TEST_F(EncryptedBookTest, ChangePassphraseAndSavingAsPlainOnlyWhenConfirmed)
{
    OpenNotes({{"Diary", "day one"}});
    EXPECT_FALSE(Enabled(ID_CHANGE_PASSPHRASE)) << "a plain notebook has none";
    SaveEncrypted();

    CPasswordDlg::SetNextAnswer(IDOK, kPassphrase);
    CPassphraseDlg::SetNextAnswer(IDOK, "another passphrase", "another passphrase");
    // The new key is made while the window runs.
    const FirstBar changing(*frame, FirstBar::Look);
    ASSERT_TRUE(Run(ID_CHANGE_PASSPHRASE));
    EXPECT_EQ(changing.Label(), "Changing the passphrase...");
    EXPECT_TRUE(frame->GetNoteBook()->IsModified()) << "the file still has the old one";
    ASSERT_TRUE(Run(ID_FILE_SAVE));

    // Saving under a plain name asks first; No writes nothing and keeps the encryption.
    boxes.boxes.clear();
    CFileDialog::SetNextFileName(QString::fromStdString(dir.File("plain.pelm")));
    EXPECT_FALSE(frame->SaveBookAs());
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(
        boxes.boxes[0].text,
        "\"plain.pelm\" will be saved without encryption: anyone who gets the file can read it. Save it so?");
    EXPECT_FALSE(std::filesystem::exists(dir.File("plain.pelm")));
    EXPECT_NE(frame->GetNoteBook()->GetSecret(), nullptr);
    frame->CloseBook();

    CPasswordDlg::SetNextAnswer(IDOK, kPassphrase);
    frame->OpenBook(path);
    EXPECT_FALSE(frame->IsBookOpen()) << "the old passphrase no longer opens it";
    CPasswordDlg::SetNextAnswer(IDOK, "another passphrase");
    frame->OpenBook(path);
    ASSERT_TRUE(frame->IsBookOpen());
    boxes.answers = {IDYES};
    CFileDialog::SetNextFileName(QString::fromStdString(dir.File("plain.pelm")));
    ASSERT_TRUE(frame->SaveBookAs());
    EXPECT_NE(NoteBookBytes::Load(dir.File("plain.pelm")).substr(0, 4), "PELM");
    EXPECT_EQ(frame->GetNoteBook()->GetSecret(), nullptr);
}
