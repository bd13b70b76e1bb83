#include "platform/DebugTrace.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

TraceSink& Sink()
{
    static TraceSink sink;
    return sink;
}

bool TraceToStderr()
{
    static const bool enabled = [] {
        const char* value = std::getenv("PELMORA_TRACE");
        return value && std::strcmp(value, "1") == 0;
    }();
    return enabled;
}

} // namespace

bool DebugTraceEnabled()
{
    return Sink() || TraceToStderr();
}

void DebugTrace(const char* format, ...)
{
    if (!DebugTraceEnabled())
        return;

    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string line;
    if (length > 0) {
        std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), format, args);
        line.assign(buffer.data(), static_cast<std::size_t>(length));
    }
    va_end(args);
    line += "\r\n";

    if (Sink())
        Sink()(line);
    else
        std::fwrite(line.data(), 1, line.size(), stderr);
}

TraceSink SetTraceSink(TraceSink sink)
{
    TraceSink previous = std::move(Sink());
    Sink() = std::move(sink);
    return previous;
}
