// Reading cdinst.dat into the description model: the header of fixed keys,
// then package, operation and suite lines, then the configuration section.
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <unordered_map>

#include "engine/cdinst.h"
#include "engine/internal.h"
#include "engine/ownership.h"
#include "engine/util.h"

namespace {

// While a body is read, names are resolved through hash maps so that suites
// listing thousands of packages (and long configuration sections) keep the
// read linear. Each map keeps the first record of a name, like the public
// linear lookups, and catches up with records appended since its last use.
// Only the read in progress has one; any other caller of the line functions
// gets the plain linear walks.
struct ReadIndex {
    explicit ReadIndex(_QV_instCDinst *d) : cdinst(d), outer(active) { active = this; }
    ~ReadIndex() { active = outer; }
    ReadIndex(const ReadIndex &) = delete;
    ReadIndex &operator=(const ReadIndex &) = delete;

    static ReadIndex *For(const _QV_instCDinst *d) { return active && active->cdinst == d ? active : nullptr; }

    _QV_instCDinst *cdinst;
    ReadIndex *outer;
    std::unordered_map<std::string_view, _QV_InstPackage *> packages;
    _QV_InstPackNode *packagesSeen = nullptr;
    std::unordered_map<std::string_view, _QV_InstSuiteList *> suites;
    _QV_InstSuiteList *suitesSeen = nullptr;
    _QV_InstConfigList *configTail = nullptr;
    _QV_InstConfigList *lastCusDlg = nullptr;

    static ReadIndex *active;
};
ReadIndex *ReadIndex::active = nullptr;

_QV_InstPackage *find_package(_QV_instCDinst *cdinst, const char *name)
{
    if (ReadIndex *index = ReadIndex::For(cdinst)) {
        try {
            for (_QV_InstPackNode *node = index->packagesSeen ? index->packagesSeen->next : cdinst->firstPack; node;
                 node = node->next) {
                if (node->package && node->package->name)
                    index->packages.emplace(node->package->name, node->package);
                index->packagesSeen = node;
            }
            auto found = index->packages.find(name);
            return found == index->packages.end() ? nullptr : found->second;
        } catch (...) {
            index->cdinst = nullptr; // out of memory: linear walks from here on
        }
    }
    return QV_instGetPackageFromName(cdinst, name);
}

_QV_InstSuiteList *find_suite(_QV_instCDinst *cdinst, const char *name)
{
    if (ReadIndex *index = ReadIndex::For(cdinst)) {
        try {
            for (_QV_InstSuiteList *suite = index->suitesSeen ? index->suitesSeen->next : cdinst->firstSuite; suite;
                 suite = suite->next) {
                if (suite->name)
                    index->suites.emplace(suite->name, suite);
                index->suitesSeen = suite;
            }
            auto found = index->suites.find(name);
            return found == index->suites.end() ? nullptr : found->second;
        } catch (...) {
            index->cdinst = nullptr;
        }
    }
    return QV_instGetSuiteFromName(cdinst, name);
}

// Appends a configuration and links it to its parent: the most recent
// CusDlg already in the list, else the first configuration.
void append_config(_QV_instCDinst *cdinst, _QV_InstConfigList *config)
{
    _QV_InstConfigList *tail = nullptr, *cus = nullptr;
    ReadIndex *index = ReadIndex::For(cdinst);
    if (index) {
        tail = index->configTail;
        cus = index->lastCusDlg;
    }
    for (_QV_InstConfigList *c = tail ? tail->next : cdinst->configs; c; c = c->next) {
        if (c->type == QV_CONFIG_CUSDLG)
            cus = c;
        tail = c;
    }
    if (index) {
        index->configTail = tail;
        index->lastCusDlg = cus;
    }
    config->parent = cus ? cus : cdinst->configs;
    if (tail)
        tail->next = config;
    else
        cdinst->configs = config;
}

template <typename T> T *new_record() { return static_cast<T *>(std::calloc(1, sizeof(T))); }

// Reads the next quoted field into *field; false when it is not closed.
bool quoted(char *&rest, char **field)
{
    *field = getQuotedString(rest, &rest);
    return *field != nullptr;
}

int add_suite(char *rest, _QV_instCDinst *cdinst)
{
    auto *suite = new_record<_QV_InstSuiteList>();
    if (!suite)
        return -1;
    if (cdinst->lastSuite)
        cdinst->lastSuite->next = suite;
    else
        cdinst->firstSuite = suite;
    cdinst->lastSuite = suite;

    if (!quoted(rest, &suite->name))
        return -1;
    char **words = getTokenList(rest, nullptr, 1);
    if (!words)
        return -1;
    int result = 0;
    for (char **word = words; *word; ++word) {
        // A package name wins over the flag words: a package named Hidden
        // is listed, and the flag stays clear.
        if (_QV_InstPackage *package = find_package(cdinst, *word)) {
            QV_instAddPackage2Suite(suite, package);
        } else if (std::strcmp(*word, "Hidden") == 0) {
            suite->hidden = 1;
        } else if (std::strcmp(*word, "Vital") == 0) {
            suite->vital = 1;
        } else {
            std::fprintf(stderr, "Error: there is no package named '%s'\n", *word);
            result = -1;
            break;
        }
    }
    freeTokenList(words);
    return result;
}

int add_package(char *rest, _QV_instCDinst *cdinst)
{
    auto *package = new_record<_QV_InstPackage>();
    auto *node = new_record<_QV_InstPackNode>();
    if (!package || !node) {
        std::free(package);
        std::free(node);
        return -1;
    }
    node->package = package;
    if (cdinst->lastPack)
        cdinst->lastPack->next = node;
    else
        cdinst->firstPack = node;
    cdinst->lastPack = node;

    if (!quoted(rest, &package->name) || !quoted(rest, &package->info))
        return -1;
    return 0;
}

// Member pairs (quoted name, size) up to the end of the line. The arrays
// grow by 100 entries at a time; the count stays within int32_t.
int read_members(char *rest, _QV_InstTar &tar)
{
    constexpr int32_t kStep = 100;
    // Once no opening quote is left, none appears later either: the next
    // search would start right after a digit, where the failed search was
    // already reading plain characters. Remembering it keeps a line of many
    // unnamed members linear.
    bool quotesLeft = true;
    while (*rest) {
        if (tar.count % kStep == 0) {
            if (tar.count > INT32_MAX - kStep)
                return -1;
            size_t capacity = size_t(tar.count) + kStep;
            auto *sizes = static_cast<int64_t *>(std::realloc(tar.sizes, capacity * sizeof(int64_t)));
            if (!sizes)
                return -1;
            tar.sizes = sizes;
            auto *names = static_cast<char **>(std::realloc(tar.names, capacity * sizeof(char *)));
            if (!names)
                return -1;
            tar.names = names;
            std::memset(names + tar.count, 0, kStep * sizeof(char *));
        }
        char *name;
        if (quotesLeft) {
            char *before = rest;
            name = getQuotedString(rest, &rest);
            if (!name) {
                std::fputs("Error: invalid tar line\n", stderr);
                return -1;
            }
            quotesLeft = rest != before;
        } else {
            name = strdup("");
            if (!name)
                return -1;
        }
        int size = getInteger(rest, &rest);
        tar.names[tar.count] = name;
        tar.sizes[tar.count] = size ? size : 1;
        ++tar.count;
    }
    return 0;
}

int add_operation(int type, char *rest, _QV_instCDinst *cdinst)
{
    QV_InstOperation *oper = newOper(cdinst);
    if (!oper)
        return -1;
    oper->type = type;
    oper->size = 1;

    switch (type) {
    case QV_OPER_COPY:
    case QV_OPER_COPYZ: {
        _QV_InstCopy &copy = oper->u.copy;
        if (!quoted(rest, &copy.source) || !quoted(rest, &copy.dest))
            return -1;
        if (!*copy.dest) {
            std::free(copy.dest);
            copy.dest = nullptr;
        }
        int size = getInteger(rest, &rest);
        oper->size = size ? size : 1;
        copy.mode = getInteger(rest, &rest);
        copy.extra1 = getInteger(rest, &rest);
        copy.extra2 = getInteger(rest, &rest);
        return 0;
    }
    case QV_OPER_UNTAR2:
    case QV_OPER_UNTARZ2:
        if (!quoted(rest, &oper->u.tar.dest))
            return -1;
        [[fallthrough]];
    case QV_OPER_UNTAR:
    case QV_OPER_UNTARZ:
        if (!quoted(rest, &oper->u.tar.file))
            return -1;
        oper->size = getInteger(rest, &rest);
        return read_members(rest, oper->u.tar);
    case QV_OPER_MKDIR: {
        _QV_InstMkdirOp &mkdir = oper->u.mkdir;
        if (!quoted(rest, &mkdir.dir))
            return -1;
        mkdir.mode = getInteger(rest, &rest);
        mkdir.extra1 = getInteger(rest, &rest);
        mkdir.extra2 = getInteger(rest, &rest);
        return 0;
    }
    case QV_OPER_HARDLINK:
    case QV_OPER_SOFTLINK: {
        _QV_InstLink &link = oper->u.link;
        link.hard = type == QV_OPER_HARDLINK;
        return quoted(rest, &link.dir) && quoted(rest, &link.target) && quoted(rest, &link.link) ? 0 : -1;
    }
    case QV_OPER_FUNCTION: {
        _QV_InstFunction &function = oper->u.function;
        return quoted(rest, &function.function) && quoted(rest, &function.module) &&
                       quoted(rest, &function.argument)
                   ? 0
                   : -1;
    }
    case QV_OPER_SHORTCUT: {
        _QV_InstShortcut &shortcut = oper->u.shortcut;
        if (!quoted(rest, &shortcut.s1) || !quoted(rest, &shortcut.s2) || !quoted(rest, &shortcut.s3) ||
            !quoted(rest, &shortcut.s4))
            return -1;
        // The fourth string may be left out; it is then NULL.
        if (!*shortcut.s4) {
            std::free(shortcut.s4);
            shortcut.s4 = nullptr;
        }
        return 0;
    }
    case QV_OPER_REGDATA: {
        _QV_InstRegData &reg = oper->u.regdata;
        return quoted(rest, &reg.rootKey) && quoted(rest, &reg.keyName) && quoted(rest, &reg.keyValue) &&
                       quoted(rest, &reg.value)
                   ? 0
                   : -1;
    }
    case QV_OPER_SELFREG:
        return quoted(rest, &oper->u.selfreg.module) ? 0 : -1;
    default:
        return -1;
    }
}

// Child ids follow while numbers are present, at most `max`; a 0 or an id
// not above the configuration's own ends the list (the line stays valid).
void read_children(char *rest, int32_t *children, int max, int32_t ownId)
{
    for (int i = 0; i < max; ++i) {
        int child = getInteger(rest, &rest);
        if (child == 0) {
            children[i] = 0;
            return;
        }
        if (child <= ownId) {
            std::fprintf(stderr, "Error: config id %d must be greater than %d\n", child, ownId);
            children[i] = 0;
            return;
        }
        children[i] = child;
    }
}

template <typename Data> int read_list_config(_QV_InstConfigList *config, char *rest, int max, bool hasSelected)
{
    auto *data = new_record<Data>();
    if (!data)
        return -1;
    config->data.any = data;
    if (!quoted(rest, &data->title) || !quoted(rest, &data->description) || getIconInfo(config, rest, &rest) != 0)
        return -1;
    if (hasSelected)
        config->selected = getInteger(rest, &rest);
    read_children(rest, data->children, max, config->id);
    return 0;
}

int read_suite_config(_QV_instCDinst *cdinst, _QV_InstConfigList *config, char *rest)
{
    auto *data = new_record<_QV_InstSuiteData>();
    if (!data)
        return -1;
    config->data.suite = data;
    qv::CStr name(getQuotedString(rest, &rest));
    if (!name)
        return -1;
    data->suite = find_suite(cdinst, name.get());
    if (!data->suite) {
        std::fprintf(stderr, "Error: invalid suite name '%s'\n", name.get());
        return -1;
    }
    if (!quoted(rest, &data->description) || getIconInfo(config, rest, &rest) != 0)
        return -1;
    config->selected = getInteger(rest, &rest);
    return 0;
}

constexpr const char *kHeaderKeys[] = {"SetupVersion", "ProductName",      "ProductVersion", "ProductDirectory",
                                       "LogFile",      "HistoryFile",      "InstallDirectory", "NoChestRC",
                                       "NoUserOrgRes", "NoDisplayLog"};
constexpr int kMandatoryKeys = 5;

enum HeaderKey {
    kSetupVersion,
    kProductName,
    kProductVersion,
    kProductDirectory,
    kLogFile,
    kHistoryFile,
    kInstallDirectory,
    kNoChestRC,
    kNoUserOrgRes,
    kNoDisplayLog,
    kHeaderKeyCount
};

_QV_instCDinst *invalid_file(const char *path, _QV_instCDinst *cdinst)
{
    std::printf("Invalid .dat file %s\n", path);
    QV_instFreeCDinst(cdinst);
    return nullptr;
}

} // namespace

extern "C" {

int AddLineToCDinst(char *line, _QV_instCDinst *cdinst)
{
    if (!line || !cdinst)
        return -1;
    char *rest = nullptr;
    qv::CStr keyword(getToken(line, QVInstOperTkList, &rest, 1));
    if (!keyword)
        return -1;
    int type = getOperType(keyword.get());
    switch (type) {
    case QV_OPER_PREFIX:
    case QV_OPER_ENV:
    case QV_OPER_ALIAS:
        return -1; // reserved keywords
    case QV_OPER_CONFIGBEGIN:
        QV_instParsingConfiguration = 1;
        return 0;
    case QV_OPER_CONFIGEND:
        QV_instParsingConfiguration = 0;
        return 0;
    case QV_OPER_SUITE:
        return add_suite(rest, cdinst);
    case QV_OPER_PACKAGE:
        return add_package(rest, cdinst);
    default:
        return add_operation(type, rest, cdinst);
    }
}

int AddLineToConfig(char *line, _QV_instCDinst *cdinst)
{
    if (!line || !cdinst)
        return -1;
    char *rest = nullptr;
    {
        qv::CStr first(getToken(line, nullptr, &rest, 1));
        int keyword = getOperType(first.get());
        if (keyword == QV_OPER_CONFIGEND) {
            QV_instParsingConfiguration = 0;
            return 0;
        }
        if (keyword >= 0) {
            std::fprintf(stderr, "Error: invalid configuration line: %s\n", line);
            return -1;
        }
    }
    int id = getInteger(line, &rest);
    if (id == 0)
        return -1;
    qv::CStr typeWord(getToken(rest, QVInstConfigTkList, &rest, 1));
    if (!typeWord) {
        std::fprintf(stderr, "Error: invalid configuration line: %s\n", line);
        return -1;
    }
    auto *config = new_record<_QV_InstConfigList>();
    if (!config)
        return -1;
    config->id = id;
    config->type = getConfigType(typeWord.get());
    append_config(cdinst, config);

    switch (config->type) {
    case QV_CONFIG_MAINDLG:
        return read_list_config<_QV_InstMainDlgData>(config, rest, QV_MAINDLG_CHILDREN, false);
    case QV_CONFIG_CUSDLG:
        return read_list_config<_QV_InstCusDlgData>(config, rest, QV_CUSDLG_CHILDREN, true);
    default:
        return read_suite_config(cdinst, config, rest);
    }
}

// The key is the line's first blank-delimited word, from its first column.
// A word too long for the key buffer cannot be a key and is not copied; a
// value too long for the value buffer is refused (-1) rather than cut.
int QV_ReadHeaderLine(const char *key, char *keyBuffer, char *valueBuffer, FILE *stream, int *lineNo, int mandatory)
{
    if (keyBuffer)
        keyBuffer[0] = '\0';
    if (valueBuffer)
        valueBuffer[0] = '\0';
    if (!key || !stream)
        return 0;
    long position = std::ftell(stream);
    int savedLine = lineNo ? *lineNo : 0;

    int result = 0;
    qv::CStr line(QV_instGetline(stream, lineNo));
    if (line) {
        const char *text = line.get();
        size_t wordLength = 0;
        while (text[wordLength] && !std::isspace(static_cast<unsigned char>(text[wordLength])))
            ++wordLength;
        if (keyBuffer && wordLength <= QV_HEADER_FIELD_MAX) {
            std::memcpy(keyBuffer, text, wordLength);
            keyBuffer[wordLength] = '\0';
        }
        size_t keyLength = std::strlen(key);
        if (wordLength == keyLength && std::memcmp(text, key, keyLength) == 0) {
            const char *value = text + keyLength;
            while (*value && std::isspace(static_cast<unsigned char>(*value)))
                ++value;
            size_t valueLength = std::strlen(value);
            while (valueLength > 0 && std::isspace(static_cast<unsigned char>(value[valueLength - 1])))
                --valueLength;
            if (valueLength <= QV_HEADER_FIELD_MAX) {
                if (valueBuffer) {
                    std::memcpy(valueBuffer, value, valueLength);
                    valueBuffer[valueLength] = '\0';
                }
                return 1;
            }
            result = -1;
        } else if (mandatory) {
            std::fprintf(stderr, "Invalid header line, expecting: %s\n", key);
        }
    }
    if (position >= 0)
        std::fseek(stream, position, SEEK_SET);
    if (lineNo)
        *lineNo = savedLine;
    return result;
}

int readCdinst(FILE *stream, _QV_instCDinst *cdinst, void (*perLine)(void), int *lineNo)
{
    if (!stream || !cdinst)
        return -1;
    int ownLineNo = 0;
    if (!lineNo)
        lineNo = &ownLineNo;
    QV_instParsingConfiguration = 0;
    ReadIndex index(cdinst);

    for (;;) {
        qv::CStr line(QV_instGetline(stream, lineNo));
        if (!line) {
            // Out of memory or a read error is not the end of the
            // description: taking it as one would install a truncated product.
            if (!std::feof(stream) || std::ferror(stream))
                return -1;
            break;
        }
        if (perLine)
            perLine();
        if (isWhiteOrCommentLine(line.get()))
            continue;
        bool inConfig = QV_instParsingConfiguration != 0;
        int result = inConfig ? AddLineToConfig(line.get(), cdinst) : AddLineToCDinst(line.get(), cdinst);
        if (result != 0 && QV_instDebug)
            std::fprintf(stderr, inConfig ? "Error: AddLineToConfig\nLine=%s\n" : "Error: AddLineToCDinst\nLine=%s\n",
                         line.get());
        if (result == -1) {
            if (std::getenv("QVINST_DEBUG"))
                std::fprintf(stderr, "Error at line %d\n", *lineNo);
            return -1;
        }
    }
    return validateModule(cdinst) == 0 ? 0 : -1;
}

_QV_instCDinst *QV_instReadCDinst(const char *path, void (*perLine)(void))
{
    if (!path || !*path)
        return nullptr;
    // Before anything of the medium is read or its modules are loaded.
    qv::warn_of_medium(path);
    auto *cdinst = new_record<_QV_instCDinst>();
    if (!cdinst)
        return nullptr;
    cdinst->menuInclude = 1;
    cdinst->userInfo = 0;
    cdinst->displayLog = 1;
    cdinst->cdinstPath = strdup(path);
    if (!cdinst->cdinstPath) {
        QV_instFreeCDinst(cdinst);
        return nullptr;
    }
    cdinst->sourceDir = QV_instDirname(path);

    qv::File file(std::fopen(path, "r"));
    if (!file)
        return invalid_file(path, cdinst);

    int lineNo = 0;
    char keyBuffer[QV_HEADER_FIELD_MAX + 1];
    char valueBuffer[QV_HEADER_FIELD_MAX + 1];
    qv::CStr values[kHeaderKeyCount];
    bool present[kHeaderKeyCount] = {};
    for (int key = 0; key < kHeaderKeyCount; ++key) {
        int found = QV_ReadHeaderLine(kHeaderKeys[key], keyBuffer, valueBuffer, file.get(), &lineNo,
                                      key < kMandatoryKeys);
        if (found < 0 || (found == 0 && key < kMandatoryKeys))
            return invalid_file(path, cdinst);
        if (found == 0)
            continue;
        if (key == kSetupVersion && std::strcmp(valueBuffer, "1") != 0)
            return invalid_file(path, cdinst);
        present[key] = true;
        values[key].reset(strdup(valueBuffer));
        if (!values[key])
            return invalid_file(path, cdinst);
    }

    cdinst->productName = values[kProductName].release();
    cdinst->productVersion = values[kProductVersion].release();
    cdinst->productDir = values[kProductDirectory].release();
    const char *logFile = values[kLogFile].get();
    cdinst->logFile = *logFile ? QV_instBuildPath("SetupFiles", logFile, static_cast<const char *>(nullptr))
                               : strdup("");
    if (present[kHistoryFile])
        cdinst->historyFile = values[kHistoryFile].release();
    if (present[kInstallDirectory])
        cdinst->rootDest = values[kInstallDirectory].release();
    if (present[kNoChestRC])
        cdinst->menuInclude = 0;
    // NoUserOrgRes is accepted and changes nothing: the user-information
    // flag stays 0 either way.
    if (present[kNoDisplayLog])
        cdinst->displayLog = 0;
    if (!cdinst->logFile || !cdinst->sourceDir)
        return invalid_file(path, cdinst);

    if (readCdinst(file.get(), cdinst, perLine, &lineNo) != 0) {
        QV_instFreeCDinst(cdinst);
        return nullptr;
    }
    if (char *sourceDir = QV_instDirname(path)) {
        std::free(cdinst->sourceDir);
        cdinst->sourceDir = sourceDir;
    }
    return cdinst;
}

} // extern "C"
