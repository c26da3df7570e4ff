#pragma once
// How a path built from names out of an archive resolves, for the checks
// that no accepted name leaves the destination folder.

#include <string>
#include <string_view>
#include <vector>

namespace zk::fuzz {

// Resolves a path as the system's path handling may: either separator,
// empty and "." components dropped, ".." climbing, trailing dots and spaces
// of a component trimmed. Fails for a component that names no plain file:
// one with a colon (a stream, or a drive), with a character no file name may
// hold, or one made of dots and spaces only, whose meaning depends on how the
// path reaches the file system. Written apart from IsPlainEntryName so that
// the two can disagree.
inline bool ResolvePath(std::u16string_view path, std::vector<std::u16string>* out)
{
    std::vector<std::u16string> parts;
    size_t start = 0;
    for (;;) {
        size_t end = path.find_first_of(u"\\/", start);
        std::u16string_view raw =
            path.substr(start, end == std::u16string_view::npos ? std::u16string_view::npos : end - start);
        if (raw == u"..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!raw.empty() && raw != u".") {
            std::u16string part(raw);
            while (!part.empty() && (part.back() == u'.' || part.back() == u' '))
                part.pop_back();
            if (part.empty()) return false;
            for (char16_t c : part)
                if (c < 0x20 || std::u16string_view(u":*?\"<>|").find(c) != std::u16string_view::npos)
                    return false;
            parts.push_back(std::move(part));
        }
        if (end == std::u16string_view::npos) break;
        start = end + 1;
    }
    *out = std::move(parts);
    return true;
}

} // namespace zk::fuzz
