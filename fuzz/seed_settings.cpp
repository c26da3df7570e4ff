// Seeds of the settings-file target: files as the builder writes them, and
// an older environment file with ANSI strings. Kept apart from the archive
// seeds because the two readers' headers cannot share a translation unit.

#include <cstring>
#include <string>
#include <vector>

#include "core/serial_archive.h"
#include "core/settings_format.h"
#include "fuzz/seed_corpus.h"

namespace zk::fuzz {

void WriteSettingsSeeds(const SeedWriter& write)
{
    EnvFields env;
    env.flags[ENV_VERIFY] = 1;
    env.flags[ENV_HASH] = 1;
    env.flags[ENV_USE_EXCLUSIONS] = 1;
    env.workFolder = u"C:\\作業";
    env.outputFolder = std::u16string(300, u'o'); // the 16-bit length form
    env.exclusions = {u"*.tmp", u"Thumbs.db", u""};
    MemorySink envSink;
    SerialArchive envOut(envSink);
    WriteEnvFields(envOut, env);
    envOut.Flush();
    write("settings_fuzz", "env", envSink.m_bytes);

    PrmFields prm;
    prm.sourcePaths = {u"C:\\photos", u"D:\\文書\\a.txt"};
    prm.archivePath = u"C:\\out\\photos.exe";
    prm.splitMB = 700;
    prm.sfxTitle = u"写真";
    MemorySink prmSink;
    SerialArchive prmOut(prmSink);
    WritePrmFields(prmOut, prm);
    prmOut.Flush();
    write("settings_fuzz", "sav", prmSink.m_bytes);

    // An older environment file: schema 100, ANSI strings without the mark.
    std::vector<uint8_t> old{100, 0, 0, 0};
    old.insert(old.end(), 12, 1);
    for (const char* s : {"C:\\work", ""}) {
        old.push_back(static_cast<uint8_t>(std::strlen(s)));
        old.insert(old.end(), s, s + std::strlen(s));
    }
    old.insert(old.end(), {0, 0, 0, 0});
    write("settings_fuzz", "env-schema-100", old);
}

} // namespace zk::fuzz
