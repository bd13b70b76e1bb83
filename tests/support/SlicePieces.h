#pragma once

#include "platform/qt/CSliceProgress.h"

#include <cstddef>

// While it lives, a command in slices lets the window's events run after every so many pieces of
// its work, however fast they go.
class SlicePieces
{
public:
    explicit SlicePieces(std::size_t pieces) { CSliceProgress::SetPiecesPerSlice(pieces); }
    ~SlicePieces() { CSliceProgress::SetPiecesPerSlice(0); }
    SlicePieces(const SlicePieces&) = delete;
    SlicePieces& operator=(const SlicePieces&) = delete;
};
