#pragma once

#include "model/CBufferedFile.h"
#include "model/CNote.h"
#include "platform/CFile.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

class CMappedFile;
class CNoteBook;

// New texts a pass over many notes gives them, written a batch at a time into files of the
// process's own that have no name, each text in a record as the notebook's file holds it. The notes
// read them there as they read texts still in the notebook's file, and a save copies them as they
// stand: a Replace All over a million notes would otherwise keep every new text in memory until
// the notebook is closed. The batch's texts wait in one buffer used again for every batch, so the
// pass leaves no holes in the heap. A file that cannot be made, written or mapped (a full disk)
// leaves the texts in memory, as they would have been.
class CTextSpill
{
public:
    static constexpr std::size_t kBatchBytes = 32 << 20;

    explicit CTextSpill(std::size_t batchBytes = kBatchBytes) : m_batchBytes(batchBytes) {}

    // Gives the note text in place of current, which ReadText just read: an edit. A long text of a
    // plain notebook joins the batch, and the note keeps its old text until the batch is settled;
    // until then only the pass may touch it. Any other text goes into the note at once. An
    // encrypted notebook's texts never go to the disk unsealed.
    void Assign(CNoteBook& book, CNote& note, std::string_view text, std::string_view current);
    // The batch's notes take their new texts: from its file, or in memory when the file failed or
    // the batch is a few texts, which cost less in memory than a file would. The buffer goes.
    void Settle(CNoteBook& book);
    // The batch is dropped with the notebook it was for.
    void Abandon();

private:
    struct Pending
    {
        std::int32_t serial;
        std::size_t textAt; // in m_texts
        TextInFile stored;
    };

    std::optional<TextInFile> Write(const CNote& note, std::string_view text);
    void Begin();
    void TakeBatch(CNoteBook& book);
    std::shared_ptr<CMappedFile> MapBatch();

    const std::size_t m_batchBytes;
    CFile m_file;
    std::optional<CBufferedFile> m_out;
    std::vector<Pending> m_pending;
    std::vector<char> m_texts; // the batch's new texts, one after another
    bool m_failed = false;     // writing stopped for this pass: the texts go into memory
};
