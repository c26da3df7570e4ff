#pragma once
// Splits a line of separated fields where a field may be enclosed in quote
// characters: the builder's command line and the list of paths the shell
// extension hands over (blank as separator, '"' as quote). The text comes
// from another program, so nothing is assumed about its shape.
//
// Rules:
//  - every CR and LF is removed from the text first (in place; the rest
//    moves up);
//  - a field that starts with the quote runs to the next quote followed by
//    the separator, CR, LF or the end; inside it a doubled quote stands for
//    one quote and any other quote is text. A missing closing quote makes
//    Split return -1, keeping the fields taken before it;
//  - any other field runs to the next separator or the end; consecutive
//    separators give empty fields, a separator at the very end gives none.
//
// CharT is char16_t for portable code and wchar_t for Windows code (both
// 16-bit there), so Windows texts are split without copies.

#include <cstddef>
#include <vector>

namespace zk {

template <class CharT> class QuotedFieldSplitter {
public:
    static constexpr size_t INITIAL_SLOTS = 32;
    static constexpr size_t INITIAL_SLOT_CHARS = 256;
    static constexpr size_t GROW_SLOTS = 10;

    QuotedFieldSplitter();

    // Splits text (length characters, or up to its terminator for -1) in
    // place; the number of fields, or -1 for an unterminated quoted field.
    // A null text gives 0 fields.
    int Split(CharT* text, ptrdiff_t length, CharT separator, CharT quote);

    // Fields of the last Split (also those kept by a -1 result).
    int Count() const { return m_nCount; }
    // Field text (zero-terminated), or null for an index outside 0..Count()-1.
    const CharT* Field(int index) const;
    size_t FieldLength(int index) const;

    // Field slots allocated so far (grows by GROW_SLOTS when full).
    size_t SlotCount() const { return m_slots.size(); }

private:
    CharT* Slot(size_t chars);

    std::vector<std::vector<CharT>> m_slots;
    std::vector<size_t> m_lengths;
    int m_nCount = 0;
};

extern template class QuotedFieldSplitter<char16_t>;
extern template class QuotedFieldSplitter<wchar_t>;

} // namespace zk
