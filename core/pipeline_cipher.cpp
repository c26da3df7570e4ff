#include "core/archive_key.h"
#include "core/block_decoder.h"

namespace zk {

const BlockCipher& ArchiveKeyCipher()
{
    static const BlockCipher cipher{&EncryptBlocks, &DecryptBlocks};
    return cipher;
}

} // namespace zk
