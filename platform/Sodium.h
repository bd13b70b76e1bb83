#pragma once

#include <sodium.h>

#include <cstdlib>

// libsodium chooses its routines and seeds its generator once; every user calls this first. It
// fails only on a system without a source of randomness, where nothing can be kept safe.
inline void InitSodium()
{
    if (sodium_init() < 0)
        std::abort();
}
