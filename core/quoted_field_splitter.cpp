#include "core/quoted_field_splitter.h"

#include <string>

namespace zk {

template <class CharT>
QuotedFieldSplitter<CharT>::QuotedFieldSplitter()
    : m_slots(INITIAL_SLOTS, std::vector<CharT>(INITIAL_SLOT_CHARS)), m_lengths(INITIAL_SLOTS, 0)
{
}

// The slot for the next field with room for chars characters plus terminator.
template <class CharT> CharT* QuotedFieldSplitter<CharT>::Slot(size_t chars)
{
    const size_t index = static_cast<size_t>(m_nCount);
    if (index == m_slots.size()) {
        m_slots.resize(m_slots.size() + GROW_SLOTS, std::vector<CharT>(INITIAL_SLOT_CHARS));
        m_lengths.resize(m_slots.size(), 0);
    }
    std::vector<CharT>& slot = m_slots[index];
    if (slot.size() < chars + 1) slot.resize(chars + 1);
    m_lengths[index] = chars;
    return slot.data();
}

template <class CharT>
int QuotedFieldSplitter<CharT>::Split(CharT* text, ptrdiff_t length, CharT separator, CharT quote)
{
    m_nCount = 0;
    if (!text) return 0;
    size_t len = length < 0 ? std::char_traits<CharT>::length(text) : static_cast<size_t>(length);

    const CharT cr = static_cast<CharT>('\r');
    const CharT lf = static_cast<CharT>('\n');
    size_t kept = 0;
    for (size_t i = 0; i < len; ++i) {
        if (text[i] != cr && text[i] != lf) text[kept++] = text[i];
    }
    // Terminate only inside the text we were given.
    if (kept < len) text[kept] = CharT();
    len = kept;

    size_t pos = 0;
    while (pos < len) {
        if (text[pos] == quote) {
            // First pass: find the closing quote and the unquoted length.
            size_t i = pos + 1, chars = 0;
            bool closed = false;
            while (i < len) {
                if (text[i] == quote) {
                    const bool atEnd = i + 1 == len;
                    if (atEnd || text[i + 1] == separator || text[i + 1] == cr || text[i + 1] == lf) {
                        closed = true;
                        break;
                    }
                    i += text[i + 1] == quote ? 2 : 1;
                } else {
                    ++i;
                }
                ++chars;
            }
            if (!closed) return -1;
            CharT* out = Slot(chars);
            for (size_t j = pos + 1; j < i; ++j) {
                *out++ = text[j];
                if (text[j] == quote && text[j + 1] == quote) ++j;
            }
            *out = CharT();
            pos = i + 1;
        } else {
            size_t i = pos;
            while (i < len && text[i] != separator)
                ++i;
            CharT* out = Slot(i - pos);
            std::char_traits<CharT>::copy(out, text + pos, i - pos);
            out[i - pos] = CharT();
            pos = i;
        }
        ++m_nCount;
        if (pos < len && text[pos] == separator) ++pos;
    }
    return m_nCount;
}

template <class CharT> const CharT* QuotedFieldSplitter<CharT>::Field(int index) const
{
    if (index < 0 || index >= m_nCount) return nullptr;
    return m_slots[static_cast<size_t>(index)].data();
}

template <class CharT> size_t QuotedFieldSplitter<CharT>::FieldLength(int index) const
{
    if (index < 0 || index >= m_nCount) return 0;
    return m_lengths[static_cast<size_t>(index)];
}

template class QuotedFieldSplitter<char16_t>;
template class QuotedFieldSplitter<wchar_t>;

} // namespace zk
