#include "cli/cli_args.h"

#include "cli/cli_text.h"
#include "core/exit_codes.h"

namespace zk {

namespace {

enum : uint8_t {
    FOR_LIST = 1,
    FOR_TEST = 2,
    FOR_EXTRACT = 4,
    FOR_PACK = 8,
    FOR_OPEN = FOR_LIST | FOR_TEST | FOR_EXTRACT,
    FOR_ALL = FOR_OPEN | FOR_PACK
};

enum class Opt : uint8_t {
    HELP,
    VERSION,
    QUIET,
    JSON,
    PASSWORD,
    PASSWORD_FILE,
    CODEPAGE,
    DEST,
    YES,
    NO,
    OUTPUT,
    METHOD,
    LEVEL,
    NO_HASH,
    NO_VERIFY,
    SPLIT,
    TITLE,
    COMMENT,
    NO_UI,
    SHOW_LIST,
    HIDDEN,
    STUB,
    THREADS
};

struct OptionSpec {
    const wchar_t* m_pLong;
    wchar_t m_cShort; // 0: none
    bool m_bValue;
    uint8_t m_nFor;
    Opt m_nOpt;
};

constexpr OptionSpec OPTIONS[] = {
    {L"help", L'h', false, FOR_ALL, Opt::HELP},
    {L"version", 0, false, FOR_ALL, Opt::VERSION},
    {L"quiet", L'q', false, FOR_ALL, Opt::QUIET},
    {L"json", 0, false, FOR_LIST, Opt::JSON},
    {L"password", L'p', true, FOR_ALL, Opt::PASSWORD},
    {L"password-file", 0, true, FOR_ALL, Opt::PASSWORD_FILE},
    {L"codepage", 0, true, FOR_ALL, Opt::CODEPAGE},
    {L"dest", L'd', true, FOR_EXTRACT | FOR_PACK, Opt::DEST},
    {L"yes", L'y', false, FOR_EXTRACT, Opt::YES},
    {L"no", L'n', false, FOR_EXTRACT, Opt::NO},
    {L"output", L'o', true, FOR_PACK, Opt::OUTPUT},
    {L"method", 0, true, FOR_PACK, Opt::METHOD},
    {L"level", 0, true, FOR_PACK, Opt::LEVEL},
    {L"no-hash", 0, false, FOR_PACK, Opt::NO_HASH},
    {L"no-verify", 0, false, FOR_PACK, Opt::NO_VERIFY},
    {L"split", 0, true, FOR_PACK, Opt::SPLIT},
    {L"title", 0, true, FOR_PACK, Opt::TITLE},
    {L"comment", 0, true, FOR_PACK, Opt::COMMENT},
    {L"no-ui", 0, false, FOR_PACK, Opt::NO_UI},
    {L"show-list", 0, false, FOR_PACK, Opt::SHOW_LIST},
    {L"hidden", 0, false, FOR_PACK, Opt::HIDDEN},
    {L"stub", 0, true, FOR_PACK, Opt::STUB},
    {L"threads", 0, true, FOR_ALL, Opt::THREADS},
};

struct CommandName {
    const wchar_t* m_pName;
    CliCommand m_nCommand;
    uint8_t m_nFor;
};

constexpr CommandName COMMANDS[] = {
    {L"list", CliCommand::LIST, FOR_LIST},
    {L"test", CliCommand::TEST, FOR_TEST},
    {L"extract", CliCommand::EXTRACT, FOR_EXTRACT},
    {L"pack", CliCommand::PACK, FOR_PACK},
};

#ifdef _WIN32
#define CODE_PAGE_DEFAULT "(default: the system's)"
#else
#define CODE_PAGE_DEFAULT "(default 932)"
#endif

const char* CommandText(CliCommand c)
{
    switch (c) {
    case CliCommand::LIST:
        return "list";
    case CliCommand::TEST:
        return "test";
    case CliCommand::EXTRACT:
        return "extract";
    case CliCommand::PACK:
        return "pack";
    default:
        return "";
    }
}

// Decimal digits only, at most max.
bool ParseNumber(const std::wstring& text, uint32_t max, uint32_t* value)
{
    if (text.empty() || text.size() > 10) return false;
    uint64_t n = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
        n = n * 10 + static_cast<uint64_t>(c - L'0');
    }
    if (n > max) return false;
    *value = static_cast<uint32_t>(n);
    return true;
}

int Usage(std::string* error, const std::string& text)
{
    *error = text;
    return EXIT_CODE_BAD_SWITCH;
}

// Applies one option with its value. 0 or 2.
int Apply(const OptionSpec& spec, const std::wstring& value, const std::string& shown, CliOptions* o,
          std::string* error)
{
    switch (spec.m_nOpt) {
    case Opt::HELP:
        o->m_bHelp = true;
        break;
    case Opt::VERSION:
        o->m_bVersion = true;
        break;
    case Opt::QUIET:
        o->m_bQuiet = true;
        break;
    case Opt::JSON:
        o->m_bJson = true;
        break;
    case Opt::PASSWORD:
        o->m_bPassword = true;
        o->m_strPassword = value;
        break;
    case Opt::PASSWORD_FILE:
        o->m_strPasswordFile = value;
        break;
    case Opt::CODEPAGE:
        if (!ParseNumber(value, 65535, &o->m_nCodePage) || o->m_nCodePage == 0)
            return Usage(error, shown + ": a code page number is expected, such as 932 or 1252");
        o->m_bCodePage = true;
        break;
    case Opt::DEST:
        if (value.empty()) return Usage(error, shown + ": the destination is empty");
        (o->m_nCommand == CliCommand::PACK ? o->m_strSfxDest : o->m_strDestination) = value;
        break;
    case Opt::YES:
    case Opt::NO: {
        const uint8_t wanted = spec.m_nOpt == Opt::YES ? OVERWRITE_ALL : OVERWRITE_NONE;
        if (o->m_nOverwrite != OVERWRITE_ASK && o->m_nOverwrite != wanted)
            return Usage(error, "-y and -n exclude each other");
        o->m_nOverwrite = wanted;
        break;
    }
    case Opt::OUTPUT:
        o->m_strOutput = value;
        break;
    case Opt::METHOD:
        if (value == L"lz4") {
            o->m_nCompressKind = 0;
        } else if (value == L"deflate") {
            o->m_nCompressKind = 1;
        } else {
            return Usage(error, shown + ": lz4 or deflate is expected");
        }
        break;
    case Opt::LEVEL:
        if (value == L"standard") {
            o->m_nCompressLevel = 0;
        } else if (value == L"high") {
            o->m_nCompressLevel = 1;
        } else {
            return Usage(error, shown + ": standard or high is expected");
        }
        break;
    case Opt::NO_HASH:
        o->m_bNoHash = true;
        break;
    case Opt::NO_VERIFY:
        o->m_bNoVerify = true;
        break;
    case Opt::SPLIT:
        if (!ParseNumber(value, CLI_MAX_SPLIT_MB, &o->m_nSplitMB))
            return Usage(error, shown + ": a volume size in MiB from 0 to " +
                                    std::to_string(CLI_MAX_SPLIT_MB) + " is expected");
        break;
    case Opt::TITLE:
        o->m_strTitle = value;
        break;
    case Opt::COMMENT:
        o->m_strComment = value;
        break;
    case Opt::NO_UI:
        o->m_bNoUi = true;
        break;
    case Opt::SHOW_LIST:
        o->m_bShowList = true;
        break;
    case Opt::HIDDEN:
        o->m_bHidden = true;
        break;
    case Opt::THREADS:
        if (!ParseNumber(value, 64, &o->m_nThreads) || o->m_nThreads == 0)
            return Usage(error, shown + ": a thread count from 1 to 64 is expected");
        break;
    case Opt::STUB:
        o->m_strStub = value;
        break;
    }
    return 0;
}

bool EndsWithNoCase(const std::wstring& text, const wchar_t* suffix)
{
    const std::wstring s(suffix);
    if (text.size() < s.size()) return false;
    for (size_t i = 0; i < s.size(); ++i) {
        wchar_t c = text[text.size() - s.size() + i];
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
        if (c != s[i]) return false;
    }
    return true;
}

// What the subcommand needs besides its options. 0 or 2.
int CheckOperands(CliOptions* o, std::vector<std::wstring>& operands, std::string* error)
{
    if (o->m_nCommand == CliCommand::PACK) {
        if (operands.empty()) return Usage(error, "pack: no SOURCE given");
        if (o->m_strOutput.empty()) return Usage(error, "pack: -o OUT.exe or -o OUT.zka is required");
        if (!EndsWithNoCase(o->m_strOutput, L".exe") && !EndsWithNoCase(o->m_strOutput, L".zka"))
            return Usage(error, "pack: the output must end in .exe (self-extracting) or .zka");
        if (!o->m_strStub.empty() && !EndsWithNoCase(o->m_strOutput, L".exe"))
            return Usage(error, "pack: --stub is only for a self-extracting .exe");
        o->m_listPaths = std::move(operands);
        return 0;
    }
    if (operands.empty()) return Usage(error, std::string(CommandText(o->m_nCommand)) + ": no ARCHIVE given");
    o->m_strArchive = operands.front();
    operands.erase(operands.begin());
    if (o->m_nCommand != CliCommand::EXTRACT && !operands.empty())
        return Usage(error, std::string(CommandText(o->m_nCommand)) + ": unexpected operand " +
                                WideToUtf8(operands.front()));
    o->m_listPaths = std::move(operands);
    return 0;
}

} // namespace

int ParseCliArgs(const std::vector<std::wstring>& args, CliOptions* o, std::string* error)
{
    *o = CliOptions();
    error->clear();
    uint8_t allowed = FOR_ALL;
    std::vector<std::wstring> operands;
    std::string pending; // the first mistake; reported unless help is asked for
    bool optionsEnd = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::wstring& arg = args[i];
        if (optionsEnd || arg.size() < 2 || arg[0] != L'-') {
            if (o->m_nCommand == CliCommand::NONE) {
                for (const CommandName& c : COMMANDS)
                    if (arg == c.m_pName) {
                        o->m_nCommand = c.m_nCommand;
                        allowed = c.m_nFor;
                    }
                if (o->m_nCommand == CliCommand::NONE && pending.empty())
                    pending = "unknown command " + WideToUtf8(arg) + " (list, test, extract or pack)";
                continue;
            }
            operands.push_back(arg);
            continue;
        }
        if (arg == L"--") {
            optionsEnd = true;
            continue;
        }
        const bool isLong = arg[1] == L'-';
        std::wstring name = isLong ? arg.substr(2) : arg.substr(1);
        std::wstring value;
        bool inlineValue = false;
        if (isLong) {
            const size_t eq = name.find(L'=');
            if (eq != std::wstring::npos) {
                value = name.substr(eq + 1);
                name.resize(eq);
                inlineValue = true;
            }
        } else if (name.size() != 1) {
            if (pending.empty()) pending = "unknown option " + WideToUtf8(arg);
            continue;
        }
        const OptionSpec* spec = nullptr;
        for (const OptionSpec& s : OPTIONS)
            if (isLong ? name == s.m_pLong : name[0] == s.m_cShort) spec = &s;
        const std::string shown = WideToUtf8(arg.substr(0, isLong ? 2 + name.size() : 2));
        if (!spec) {
            if (pending.empty()) pending = "unknown option " + shown;
            continue;
        }
        if (spec->m_bValue && !inlineValue) {
            if (i + 1 >= args.size()) {
                if (pending.empty()) pending = shown + " needs a value";
                continue;
            }
            value = args[++i];
        } else if (!spec->m_bValue && inlineValue) {
            if (pending.empty()) pending = shown + " takes no value";
            continue;
        }
        // The subcommand comes first; an option it does not take is a mistake.
        if (!(spec->m_nFor & allowed)) {
            if (pending.empty()) pending = shown + " is not an option of " + CommandText(o->m_nCommand);
            continue;
        }
        std::string mistake;
        if (Apply(*spec, value, shown, o, &mistake) != 0 && pending.empty()) pending = mistake;
    }
    if (o->m_bHelp || o->m_bVersion) return 0;
    if (!pending.empty()) return Usage(error, pending);
    if (o->m_nCommand == CliCommand::NONE)
        return Usage(error, "no command given (list, test, extract or pack)");
    if (o->m_bPassword && !o->m_strPasswordFile.empty())
        return Usage(error, "-p and --password-file exclude each other");
    return CheckOperands(o, operands, error);
}

std::string CliVersionText()
{
    return "zelkora " ZK_CLI_VERSION "\n";
}

std::string CliHelpText(CliCommand command)
{
    switch (command) {
    case CliCommand::LIST:
        return "Usage: zelkora list ARCHIVE [-p PASSWORD | --password-file FILE] [--json]\n"
               "\n"
               "Shows the archive's summary and every entry: path, size, stored size,\n"
               "modification time (UTC) and attributes.\n"
               "\n"
               "  --json                 one JSON document instead of the table\n"
               "  -p, --password TEXT    the password (else asked on a terminal)\n"
               "  --password-file FILE   the password: the file's first line\n"
               "  --codepage N           code page of narrow names and the key " CODE_PAGE_DEFAULT "\n"
               "  -q, --quiet            no progress\n";
    case CliCommand::TEST:
        return "Usage: zelkora test ARCHIVE [-p PASSWORD | --password-file FILE]\n"
               "\n"
               "Decodes every entry and checks its SHA-256 when the archive records it.\n"
               "Exit code 0 only when every entry is sound.\n"
               "\n"
               "  -p, --password TEXT    the password (else asked on a terminal)\n"
               "  --password-file FILE   the password: the file's first line\n"
               "  --codepage N           code page of narrow names and the key " CODE_PAGE_DEFAULT "\n"
               "  -q, --quiet            no progress, only errors\n";
    case CliCommand::EXTRACT:
        return "Usage: zelkora extract ARCHIVE [-d DEST] [-p PASSWORD] [-y | -n] [PATH...]\n"
               "\n"
               "Extracts everything, or the given entries and folders (paths inside the\n"
               "archive, separated by / or \\), into DEST. DEST defaults to the archive's\n"
               "name without its extension, beside the archive. Unsafe names are refused\n"
               "before anything is written, nothing is written outside DEST, and a file\n"
               "cut short is removed.\n"
               "\n"
               "  -d, --dest DEST        the destination folder\n"
               "  -y, --yes              overwrite existing files without asking\n"
               "  -n, --no               keep existing files without asking\n"
               "                         (without either, an existing file is asked about on\n"
               "                         a terminal; without a terminal the run stops)\n"
               "  -p, --password TEXT    the password (else asked on a terminal)\n"
               "  --password-file FILE   the password: the file's first line\n"
               "  --codepage N           code page of narrow names and the key " CODE_PAGE_DEFAULT "\n"
               "  -q, --quiet            no progress, only errors\n";
    case CliCommand::PACK:
        return "Usage: zelkora pack SOURCE... -o OUT.exe|OUT.zka [options]\n"
               "\n"
               "Packs files and folders into an archive. OUT.exe is self-extracting: the\n"
               "32-bit ZelkoraSfx.exe goes in front (found beside zelkora, in\n"
               "<prefix>/share/zelkora/, or given with --stub).\n"
               "\n"
               "  -o, --output OUT       the archive to write (replaced when it exists)\n"
               "  --method lz4|deflate   compression (default deflate)\n"
               "  --level standard|high  compression level (default standard)\n"
               "  -p, --password TEXT    encrypt with this password\n"
               "  --password-file FILE   the password: the file's first line\n"
               "  --no-hash              record no SHA-256 hashes\n"
               "  --no-verify            do not read the archive back and compare\n"
               "  --split MB             volumes of MB MiB (0: one file)\n"
               "  --title T              the extractor's title\n"
               "  --comment C            the extractor's comment\n"
               "  --dest D               the extractor's default destination\n"
               "  --no-ui                the extractor runs without asking\n"
               "  --show-list            the extractor shows the contents list\n"
               "  --hidden               include hidden files (dot-files)\n"
               "  --stub PATH            the extractor program to put in front\n"
               "  --codepage N           code page of the password's key " CODE_PAGE_DEFAULT "\n"
               "  -q, --quiet            no progress, only errors\n"
               "\n"
               "Names Windows cannot hold are refused; symbolic links are skipped.\n"
               "SOURCE_DATE_EPOCH, when set, gives the archive's time stamp.\n";
    default:
        return "Usage: zelkora COMMAND [options]\n"
               "\n"
               "Lists, tests, extracts and packs Zelkora archives (.exe and .zka).\n"
               "\n"
               "Commands:\n"
               "  list ARCHIVE           the archive's summary and entries\n"
               "  test ARCHIVE           decode every entry and check its hash\n"
               "  extract ARCHIVE [PATH...]  extract everything or the given entries\n"
               "  pack SOURCE... -o OUT  pack files and folders into an archive\n"
               "\n"
               "Options for every command: -p PASSWORD, --password-file FILE,\n"
               "--codepage N, --threads N, -q, --help. 'zelkora COMMAND --help' tells more.\n"
               "  --version              the tool's version\n"
               "\n"
               "Exit codes: 0 success, 1 a failure in the archive or the files,\n"
               "2 a usage error.\n";
    }
}

} // namespace zk
