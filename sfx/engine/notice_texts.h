#pragma once
// The notices an extraction keeps for its log when it goes on after
// something the user should know: exactly as the user reads them.

namespace zk {

// A file whose stream held another size than its record says: the file is
// what the stream held (the hash, where there is one, decides).
inline constexpr wchar_t TEXT_SIZE_DIFFERS[] =
    L"書庫に記録されたサイズ（%llu バイト）と解凍したサイズ（%llu バイト）が異なります";

} // namespace zk
