#pragma once
// A complete, strict reader of finished archives for tests: loads the first
// file and every volume into memory, checks the header, the password, the
// parameter section and the tree, and decodes every entry with the shared
// decoder, checking each SHA-256 against its own computation. Builder tests
// compare the result with the sources; extractor tests can use it to see
// what an archive really holds.

#include <windows.h>
#include <wincrypt.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/archive_format.h"
#include "core/archive_key.h"
#include "core/archive_names.h"
#include "core/block_decoder.h"
#include "core/block_size.h"
#include "core/memory_files.h"
#include "core/pe_image.h"
#include "core/pipeline.h"
#include "core/volume_io.h"

namespace zk::test {

struct ArchiveEntry {
    std::wstring strPath; // relative, components joined by "\"
    bool bFolder = false;
    InfoRecord info;
    uint32_t nTreeOffset = 0;
    std::vector<uint8_t> data; // decoded content (files)
};

struct DecodedArchive {
    uint64_t nHeaderPos = 0; // size of the extractor program in front, 0 for ".zka"
    ArchiveHeader header;
    ParameterSection params;
    std::vector<uint8_t> firstFile;
    uint32_t nVolumeFiles = 1; // the first file and its ".1", ".2", ... volumes found
    std::vector<uint64_t> volumeSizes;
    std::vector<ArchiveEntry> entries; // depth-first: a folder, then its contents
    std::string strError;              // why reading failed
};

inline bool LoadWholeFile(const std::wstring& path, std::vector<uint8_t>& out)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size{};
    GetFileSizeEx(h, &size);
    out.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    bool ok = out.empty() ||
              (ReadFile(h, out.data(), static_cast<DWORD>(out.size()), &got, nullptr) && got == out.size());
    CloseHandle(h);
    return ok;
}

inline bool Sha256(const std::vector<uint8_t>& data, uint8_t digest[32])
{
    HCRYPTPROV prov = 0;
    HCRYPTHASH hash = 0;
    if (!CryptAcquireContextW(&prov, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) return false;
    bool ok = CryptCreateHash(prov, CALG_SHA_256, 0, 0, &hash) &&
              (data.empty() || CryptHashData(hash, data.data(), static_cast<DWORD>(data.size()), 0));
    DWORD length = 32;
    ok = ok && CryptGetHashParam(hash, HP_HASHVAL, digest, &length, 0) && length == 32;
    if (hash) CryptDestroyHash(hash);
    CryptReleaseContext(prov, 0);
    return ok;
}

namespace detail {

class CollectSink : public IDecodeSink {
public:
    explicit CollectSink(std::vector<uint8_t>& out) : m_out(out) {}
    int Put(const uint8_t* bytes, uint32_t count) override
    {
        m_out.insert(m_out.end(), bytes, bytes + count);
        return 0;
    }

private:
    std::vector<uint8_t>& m_out;
};

inline bool Fail(DecodedArchive& out, const std::string& why)
{
    out.strError = why;
    return false;
}

} // namespace detail

// Reads and decodes the archive at path (".zka" or ".exe") with the given
// password ("" for none). False with strError set when anything is wrong.
inline bool ReadArchive(const std::wstring& path, const std::wstring& password, DecodedArchive& out)
{
    using detail::Fail;
    out = DecodedArchive{};
    if (!LoadWholeFile(path, out.firstFile)) return Fail(out, "cannot read the archive file");
    const std::vector<uint8_t>& file = out.firstFile;

    const bool exe = path.size() > 4 && _wcsicmp(path.c_str() + path.size() - 4, L".exe") == 0;
    if (exe) {
        uint32_t end = 0;
        if (!PeImageEnd(file.data(), file.size(), &end)) return Fail(out, "no program image in front");
        out.nHeaderPos = end;
    }
    if (out.nHeaderPos > file.size()) return Fail(out, "program image longer than the file");
    const uint8_t* head = file.data() + out.nHeaderPos;
    const size_t headSize = file.size() - static_cast<size_t>(out.nHeaderPos);
    if (ParseArchiveHeader(head, headSize, &out.header) != FormatStatus::Ok) return Fail(out, "bad header");

    if ((out.header.m_nFlags & AF_PASSWORD) != 0) {
        if (SetArchiveKey(password.c_str()) != 0) return Fail(out, "password not convertible");
    } else {
        const std::string stamp = TimeStampKeyText(out.header.m_nTimeStamp);
        if (SetArchiveKey(std::wstring(stamp.begin(), stamp.end()).c_str()) != 0) return Fail(out, "key");
    }
    if (!TestCheckBlock(out.header.m_checkBlock)) return Fail(out, "check block does not match the key");

    const uint64_t sectionPos = out.nHeaderPos + ARCHIVE_HEADER_SIZE;
    MemoryByteSource section(file.data() + sectionPos, file.size() - static_cast<size_t>(sectionPos));
    if (ParseParameterSection(section, out.header, sectionPos, file.size(), &out.params) != FormatStatus::Ok)
        return Fail(out, "bad parameter section");
    const ParameterSection& p = out.params;
    const uint64_t entryCount = uint64_t{p.m_nFileCount} + p.m_nFolderCount;
    if (p.m_nDataOffset > file.size()) return Fail(out, "data offset beyond the first file");
    const uint8_t* tree = file.data() + p.m_nTreeOffset;
    const size_t treeSize = static_cast<size_t>(p.m_nInfoOffset - p.m_nTreeOffset);
    const uint64_t infoSize = p.m_nDataOffset - p.m_nInfoOffset;
    if (CheckTreeTable(tree, treeSize, entryCount, infoSize,
                       MinInfoRecordSize(out.header.m_nVersion, out.header.m_nFlags)) != FormatStatus::Ok)
        return Fail(out, "bad tree table");

    // Every volume file there is, in memory.
    MemoryVolumeFiles volumes;
    const std::u16string path16(path.begin(), path.end());
    *volumes.File(path16) = file;
    out.volumeSizes.push_back(file.size());
    for (uint32_t k = 1;; ++k) {
        const std::u16string name = VolumeName(path16, k);
        std::vector<uint8_t> bytes;
        if (!LoadWholeFile(std::wstring(name.begin(), name.end()), bytes)) break;
        out.volumeSizes.push_back(bytes.size());
        *volumes.File(name) = std::move(bytes);
        out.nVolumeFiles = k + 1;
    }
    VolumeSet set;
    set.m_pFiles = &volumes;
    set.m_strArchivePath = path16;
    set.m_nVolumeSize = uint64_t{p.m_nVolumeSizeMB} * VOLUME_UNIT;
    set.m_nDataOffset = p.m_nDataOffset;

    const uint32_t blockSize = SystemBlockSize();
    std::unique_ptr<PipelineBuffers> buffers = PipelineBuffers::Allocate(blockSize);
    if (!buffers) return Fail(out, "no buffers");
    DecodeParams params;
    params.m_nBlockSize = blockSize;
    params.m_pCipher = (out.header.m_nFlags & AF_PASSWORD) ? &ArchiveKeyCipher() : nullptr;

    // Depth-first walk of the tree: (tree offset, path of the parent).
    struct Pending {
        uint32_t offset;
        std::wstring parent;
    };
    std::vector<Pending> stack;
    if (entryCount != 0) stack.push_back({0, L""});
    while (!stack.empty()) {
        Pending at = stack.back();
        stack.pop_back();
        TreeRecord record;
        if (ParseTreeRecord(tree + at.offset, treeSize - at.offset, &record) != FormatStatus::Ok)
            return Fail(out, "bad tree record");
        ArchiveEntry entry;
        entry.nTreeOffset = at.offset;
        entry.bFolder = record.m_nKind == NODE_FOLDER;
        const uint64_t infoPos = p.m_nInfoOffset + record.m_nInfo;
        MemoryByteSource info(file.data() + infoPos, file.size() - static_cast<size_t>(infoPos));
        if (ParseInfoRecord(info, out.header, &entry.info) != FormatStatus::Ok)
            return Fail(out, "bad info record");
        std::u16string name;
        if (!DecodeEntryName(entry.info.m_name, (out.header.m_nFlags & AF_NARROW_NAMES) != 0, &name))
            return Fail(out, "bad name");
        if (!IsPlainEntryName(name)) return Fail(out, "name is not a plain component");
        entry.strPath = at.parent + std::wstring(name.begin(), name.end());

        if (!entry.bFolder && entry.info.m_nStoredSize != 0) {
            FailureInfo failure;
            SpannedReader reader(set, entry.info.m_nStartVolume, entry.info.m_nDataOffset,
                                 entry.info.m_nStoredSize, &failure);
            detail::CollectSink sink(entry.data);
            DecodeEntryInfo what;
            what.m_nMethod = entry.info.m_nMethod;
            what.m_nUncompressedSize = entry.info.m_nSize;
            what.m_nStoredSize = entry.info.m_nStoredSize;
            DecodeError error = DecodeError::NONE;
            if (DecodeEntry(params, buffers->ForDecode(), what, reader, sink, &error) != 0)
                return Fail(out, "entry does not decode: " + std::to_string(static_cast<int>(error)));
            uint8_t expected = 0;
            if (!StartVolume(p.m_nDataOffset, entry.info.m_nDataOffset, set.m_nVolumeSize, &expected) ||
                expected != entry.info.m_nStartVolume)
                return Fail(out, "wrong start volume");
        }
        if (entry.data.size() != entry.info.m_nSize) return Fail(out, "decoded size differs from the record");
        if ((out.header.m_nFlags & AF_HASH) && !entry.bFolder && entry.info.m_nSize != 0) {
            uint8_t digest[32];
            if (!Sha256(entry.data, digest) || std::memcmp(digest, entry.info.m_hash, 32) != 0)
                return Fail(out, "hash differs");
        }

        // Siblings after this entry's subtree: push the sibling first.
        if (record.m_nNextSibling != 0) stack.push_back({record.m_nNextSibling, at.parent});
        if (entry.bFolder && record.m_nFirstChild != 0)
            stack.push_back({record.m_nFirstChild, entry.strPath + L"\\"});
        out.entries.push_back(std::move(entry));
    }
    if (out.entries.size() != entryCount) return Fail(out, "tree does not reach every entry");
    return true;
}

} // namespace zk::test
