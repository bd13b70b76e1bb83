#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class CMappedFile;
class CNoteBook;

// The record bodies a save copies as they stand from the notebook's file, for a run of the list,
// read in the file's order with one read for each stretch of neighbours and held in memory of a
// fixed size. After a sort the list visits the file in no order: a read of its own for each text
// went a window at a time, and mapping the file whole kept all of it resident.
class CStoredBodies
{
public:
    // Bytes of bodies a run holds.
    explicit CStoredBodies(std::size_t budget) : m_budget(budget) {}

    // Reads the bodies of the notes from list place first on, up to last or until the run's texts
    // come to the budget, those it does not read included; returns where the run ends, after first.
    std::size_t Read(const CNoteBook& book, std::size_t first, std::size_t last);
    // The body of the note at list place index as the last Read read it; null when it did not.
    const std::uint8_t* Find(std::size_t index) const;
    // Whether the files the last Read read from still held the notes' bytes as far as known: a
    // read that came up short marks its file changed.
    bool FilesIntact() const;

private:
    struct Wanted
    {
        const CMappedFile* file;
        std::uint64_t offset;
        std::uint32_t length;
        std::uint32_t place; // from the run's first note
    };

    void ReadInFileOrder();

    const std::size_t m_budget;
    std::vector<Wanted> m_wanted;
    std::vector<const std::uint8_t*> m_found; // by place in the run
    std::vector<std::uint8_t> m_bytes;
    std::size_t m_first = 0;
};
