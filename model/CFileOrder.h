#pragma once

#include "platform/CWholeMapping.h"
#include "platform/HugePageArray.h"

#include <cstdint>

class CNoteBook;

// The order in which a pass over every note's text reads the notebook's file front to back. Texts
// still in the file are read a window ahead while a pass goes in file order, and each on its own
// otherwise: after a sort of a million notes a pass in list order read each text with a call of
// its own, and took seconds.
class CFileOrder
{
public:
    // The list places of the notes, their texts' places in the file ascending and the notes whose
    // texts are in memory last; empty when the list already is in that order, as it is after an
    // open, judged by a sample of the notes.
    static HugePageArray<std::uint32_t> Of(const CNoteBook& book);
    // Whether the list is in the file's order, judged by a sample of the notes.
    static bool LooksInOrder(const CNoteBook& book);
    // For a pass that reads every text in list order: the notebook's file mapped whole while the
    // pass lasts when the list is out of the file's order, as after a sort, where every text would
    // otherwise be read on its own; nothing otherwise.
    static CWholeMapping MappedForPass(const CNoteBook& book);
    // Tells one order of the list from another by the same sample: the same for a list whose notes
    // kept their places, whatever became of their texts, for which an order made before still
    // serves.
    static std::uint64_t Signature(const CNoteBook& book);
};
