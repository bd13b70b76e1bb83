#include "model/CStretchReaders.h"

#include "model/CNote.h"
#include "model/CStoredStretch.h"
#include "platform/CBatchMemory.h"

#include <system_error>

CStretchReaders::CStretchReaders(const std::vector<std::unique_ptr<CStoredStretch>>& stretches,
                                 unsigned threads, std::size_t batched)
    : m_stretches(stretches), m_left(static_cast<std::ptrdiff_t>(stretches.size())), m_batched(batched)
{
    try {
        for (unsigned t = 0; t < threads && !stretches.empty(); ++t)
            m_threads.emplace_back([this] { ReadFromTheBack(); });
    } catch (const std::system_error&) {
        // Those that started read; the walk reads the rest.
    }
}

CStretchReaders::~CStretchReaders()
{
    for (const auto& stretch : m_stretches) {
        stretch->Reached();
        stretch->Stop();
    }
    for (std::thread& thread : m_threads)
        thread.join();
}

// A stretch the walk reached first ends the thread: the walk reads all before it too.
void CStretchReaders::ReadFromTheBack()
{
    const auto room = m_batched >= CNote::kBatchedFrom
                          ? std::make_unique<CBatchMemory>(sizeof(CNote), m_batched, alignof(CNote))
                          : nullptr;
    for (std::ptrdiff_t left = m_left.fetch_sub(1); left > 0 && m_stretches[left - 1]->Claim();
         left = m_left.fetch_sub(1))
        m_stretches[left - 1]->ReadAside(room.get());
}
