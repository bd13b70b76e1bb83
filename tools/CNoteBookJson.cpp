#include "tools/CNoteBookJson.h"

#include "model/CNoteBook.h"
#include "model/CTextCodec.h"

#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

using json = nlohmann::ordered_json;

namespace {

// The record the loader makes of a face given as text.
bool FaceFromText(const std::string& face, char (&out)[32])
{
    std::memset(out, 0, sizeof out);
    if (face.size() >= sizeof out || face.find('\0') != std::string::npos)
        return false;
    std::memcpy(out, face.data(), face.size());
    return true;
}

json FontJson(const LogFont& font)
{
    json j = {
        {"face", CViewSettings::FaceName(font)},
        {"height", font.lfHeight},
        {"width", font.lfWidth},
        {"escapement", font.lfEscapement},
        {"orientation", font.lfOrientation},
        {"weight", font.lfWeight},
        {"italic", font.lfItalic},
        {"underline", font.lfUnderline},
        {"strike_out", font.lfStrikeOut},
        {"charset", font.lfCharSet},
        {"out_precision", font.lfOutPrecision},
        {"clip_precision", font.lfClipPrecision},
        {"quality", font.lfQuality},
        {"pitch_and_family", font.lfPitchAndFamily},
    };
    // Only when the text does not give back the very bytes: another code page, bytes after the end.
    char rebuilt[32];
    if (!FaceFromText(j["face"].get<std::string>(), rebuilt) ||
        std::memcmp(rebuilt, font.lfFaceName, sizeof rebuilt) != 0) {
        json bytes = json::array();
        for (char c : font.lfFaceName)
            bytes.push_back(static_cast<unsigned char>(c));
        j["face_bytes"] = bytes;
    }
    return j;
}

json PlacementJson(const WindowPlacement& p)
{
    return {
        {"length", p.length},      {"flags", p.flags},        {"show", p.showCmd},
        {"min", {p.minX, p.minY}}, {"max", {p.maxX, p.maxY}}, {"normal", {p.left, p.top, p.right, p.bottom}},
    };
}

[[noreturn]] void Bad(const std::string& field)
{
    throw std::runtime_error("bad value for \"" + field + "\"");
}

template <typename T> T Number(const json& j, const std::string& field)
{
    if (!j.is_number_integer())
        Bad(field);
    if (j.is_number_unsigned()) {
        const auto value = j.get<std::uint64_t>();
        if (value > static_cast<std::uint64_t>(std::numeric_limits<T>::max()))
            Bad(field);
        return static_cast<T>(value);
    }
    const auto value = j.get<std::int64_t>();
    if (value < static_cast<std::int64_t>(std::numeric_limits<T>::min()) ||
        value > static_cast<std::int64_t>(std::numeric_limits<T>::max()))
        Bad(field);
    return static_cast<T>(value);
}

// An optional member: absent or null keeps the value the caller pre-set.
template <typename T> void Member(const json& object, const char* name, T& value, const std::string& where)
{
    const auto it = object.find(name);
    if (it != object.end() && !it->is_null())
        value = Number<T>(*it, where + name);
}

template <typename T, std::size_t N>
void Array(const json& object, const char* name, T* (&&values)[N], const std::string& where)
{
    const auto it = object.find(name);
    if (it == object.end() || it->is_null())
        return;
    if (!it->is_array() || it->size() != N)
        Bad(where + name);
    for (std::size_t i = 0; i < N; ++i)
        *values[i] = Number<T>((*it)[i], where + name);
}

const json& Object(const json& j, const std::string& field)
{
    if (!j.is_object())
        Bad(field);
    return j;
}

void LoadFont(const json& j, LogFont& font)
{
    Object(j, "font");
    const std::string where = "font.";
    const auto face = j.find("face");
    if (face != j.end() && !face->is_null() &&
        (!face->is_string() || !FaceFromText(face->get<std::string>(), font.lfFaceName)))
        Bad("font.face");
    const auto bytes = j.find("face_bytes");
    if (bytes != j.end() && !bytes->is_null()) {
        if (!bytes->is_array() || bytes->size() != sizeof font.lfFaceName)
            Bad("font.face_bytes");
        for (std::size_t i = 0; i < sizeof font.lfFaceName; ++i)
            font.lfFaceName[i] = static_cast<char>(Number<std::uint8_t>((*bytes)[i], "font.face_bytes"));
    }
    Member(j, "height", font.lfHeight, where);
    Member(j, "width", font.lfWidth, where);
    Member(j, "escapement", font.lfEscapement, where);
    Member(j, "orientation", font.lfOrientation, where);
    Member(j, "weight", font.lfWeight, where);
    Member(j, "italic", font.lfItalic, where);
    Member(j, "underline", font.lfUnderline, where);
    Member(j, "strike_out", font.lfStrikeOut, where);
    Member(j, "charset", font.lfCharSet, where);
    Member(j, "out_precision", font.lfOutPrecision, where);
    Member(j, "clip_precision", font.lfClipPrecision, where);
    Member(j, "quality", font.lfQuality, where);
    Member(j, "pitch_and_family", font.lfPitchAndFamily, where);
}

void LoadPlacement(const json& j, WindowPlacement& p)
{
    Object(j, "placement");
    const std::string where = "placement.";
    Member(j, "length", p.length, where);
    Member(j, "flags", p.flags, where);
    Member(j, "show", p.showCmd, where);
    Array(j, "min", {&p.minX, &p.minY}, where);
    Array(j, "max", {&p.maxX, &p.maxY}, where);
    Array(j, "normal", {&p.left, &p.top, &p.right, &p.bottom}, where);
}

std::string Text(const json& j, const std::string& field)
{
    if (!j.is_string())
        Bad(field);
    return j.get<std::string>();
}

const char* EncodingName(TextEncoding encoding)
{
    return encoding == TextEncoding::windows1252 ? "windows-1252" : "utf-8";
}

// An optional code page: absent or null gives none.
std::optional<TextEncoding> Encoding(const json& object, const char* name, const std::string& where)
{
    const auto it = object.find(name);
    if (it == object.end() || it->is_null())
        return std::nullopt;
    const std::string text = Text(*it, where + name);
    if (text != "utf-8" && text != "windows-1252")
        Bad(where + name);
    return text == "utf-8" ? TextEncoding::utf8 : TextEncoding::windows1252;
}

void LoadNotes(const json& notes, CNoteBook& book)
{
    if (!notes.is_array())
        Bad("notes");
    for (const json& entry : notes) {
        Object(entry, "notes[]");
        CNote* note = book.AddNote(true, false);
        const auto title = entry.find("title");
        if (title != entry.end())
            note->SetTitle(Text(*title, "notes[].title"));
        const auto text = entry.find("text");
        if (text != entry.end())
            note->SetText(Text(*text, "notes[].text"));
        note->SetCodePages(Encoding(entry, "title_encoding", "notes[]."),
                           Encoding(entry, "text_encoding", "notes[]."));
    }
}

// A string as JSON prints it: quotes, backslashes and control characters escaped, every other byte as
// it is. Runs of plain bytes, nearly all of a note, are found sixteen at a time.
void AppendString(std::string& out, std::string_view text)
{
    out += '"';
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t plain = i;
#if defined(__SSE2__)
        const __m128i quote = _mm_set1_epi8('"');
        const __m128i backslash = _mm_set1_epi8('\\');
        const __m128i control = _mm_set1_epi8(0x1F);
        while (plain + 16 <= text.size()) {
            const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + plain));
            const __m128i low = _mm_cmpeq_epi8(_mm_min_epu8(chunk, control), chunk);
            const __m128i special = _mm_or_si128(
                low, _mm_or_si128(_mm_cmpeq_epi8(chunk, quote), _mm_cmpeq_epi8(chunk, backslash)));
            const int mask = _mm_movemask_epi8(special);
            if (mask != 0) {
                plain += static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
                break;
            }
            plain += 16;
        }
#endif
        while (plain < text.size() && static_cast<unsigned char>(text[plain]) >= 0x20 && text[plain] != '"' &&
               text[plain] != '\\')
            ++plain;
        out.append(text, i, plain - i);
        if (plain == text.size())
            break;
        static const char hex[] = "0123456789abcdef";
        const auto c = static_cast<unsigned char>(text[plain]);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            out += "\\u00";
            out += hex[c >> 4];
            out += hex[c & 0xF];
        }
        i = plain + 1;
    }
    out += '"';
}

// One member of a note's object, indented as in the notes' list.
void AppendField(std::string& out, const char* name, std::string_view value)
{
    out += "      \"";
    out += name;
    out += "\": ";
    AppendString(out, value);
}

constexpr std::size_t kWriteBlock = 1 << 20;

void Flush(std::string& text, std::FILE* out)
{
    if (!text.empty() && std::fwrite(text.data(), 1, text.size(), out) != text.size())
        throw std::runtime_error("cannot write to standard output");
    text.clear();
}

} // namespace

void CNoteBookJson::Write(const CNoteBook& book, std::FILE* out)
{
    const CViewSettings& view = book.GetViewSettings();
    const std::uint32_t version = book.GetFileVersion();
    const json head = {
        {"version", version},
        {"encoding", EncodingName(book.GetEncoding())},
        {"password", !book.GetPassword().empty()},
        {"word_wrap", view.m_bWordWrap},
        {"pane_shares", version >= 8 ? json{view.m_paneFirst, view.m_paneSecond} : json()},
        {"font", FontJson(view.m_font)},
        {"placement", version >= 7 ? PlacementJson(view.m_placement) : json()},
    };
    // The notes follow the head's last field, as the one object they make would print them.
    std::string text = head.dump(2);
    text.resize(text.size() - 2);
    text += book.GetCount() == 0 ? ",\n  \"notes\": []\n}\n" : ",\n  \"notes\": [\n";
    for (std::size_t i = 0; i < book.GetCount(); ++i) {
        const CNote& note = *book.GetNoteAtIndex(i);
        text += i == 0 ? "    {\n" : ",\n    {\n";
        AppendField(text, "title", note.GetTitle());
        text += ",\n";
        AppendField(text, "text", note.GetText());
        // A notebook that mixes code pages keeps some strings in another one than its own.
        const TextEncoding title = book.CodePageFor(note.GetTitleCodePage());
        const TextEncoding body = book.CodePageFor(note.GetTextCodePage());
        if (title != book.GetEncoding()) {
            text += ",\n";
            AppendField(text, "title_encoding", EncodingName(title));
        }
        if (body != book.GetEncoding()) {
            text += ",\n";
            AppendField(text, "text_encoding", EncodingName(body));
        }
        text += "\n    }";
        if (text.size() >= kWriteBlock)
            Flush(text, out);
    }
    if (book.GetCount() > 0)
        text += "\n  ]\n}\n";
    Flush(text, out);
}

void CNoteBookJson::Load(const json& j, CNoteBook& book, bool& passwordWanted)
{
    Object(j, "the notebook");
    CViewSettings& view = book.GetViewSettings();
    view = CViewSettings();
    passwordWanted = false;

    book.SetEncoding(Encoding(j, "encoding", "").value_or(TextEncoding::utf8));
    const auto password = j.find("password");
    if (password != j.end() && password->is_string())
        book.SetPassword(password->get<std::string>());
    else if (password != j.end() && password->is_boolean())
        passwordWanted = password->get<bool>();
    else if (password != j.end() && !password->is_null())
        Bad("password");

    const auto wrap = j.find("word_wrap");
    if (wrap != j.end() && !wrap->is_null()) {
        if (!wrap->is_boolean())
            Bad("word_wrap");
        view.m_bWordWrap = wrap->get<bool>();
    }
    Array(j, "pane_shares", {&view.m_paneFirst, &view.m_paneSecond}, "");
    const auto font = j.find("font");
    if (font != j.end() && !font->is_null())
        LoadFont(*font, view.m_font);
    const auto placement = j.find("placement");
    if (placement != j.end() && !placement->is_null())
        LoadPlacement(*placement, view.m_placement);
    const auto notes = j.find("notes");
    if (notes != j.end() && !notes->is_null())
        LoadNotes(*notes, book);
}
