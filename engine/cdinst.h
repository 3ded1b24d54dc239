/* The setup description model: the records that reading cdinst.dat builds,
 * the reader, the lookups, the accessors over the loaded description, the
 * selection walks, sizes and disk space, custom setup modules and the
 * history file.
 *
 * Separately compiled setup modules read these records through CDInstPtr,
 * so the layout of every record below is part of the program's interface:
 * fields are only ever appended, never reordered. All strings are
 * NUL-terminated heap copies owned by the record that holds them. */
#ifndef QV_ENGINE_CDINST_H
#define QV_ENGINE_CDINST_H

#include <stdint.h>
#include <stdio.h>
#include <X11/Intrinsic.h> /* Widget */

#ifdef __cplusplus
extern "C" {
#endif

/* --- enumerations ---------------------------------------------------------- */

/* Operation types: the index of the line's keyword in QVInstOperTkList. */
enum {
    QV_OPER_SUITE = 0,
    QV_OPER_PACKAGE = 1,
    QV_OPER_COPY = 2,
    QV_OPER_COPYZ = 3,
    QV_OPER_UNTAR = 4,
    QV_OPER_UNTARZ = 5,
    QV_OPER_UNTAR2 = 6,
    QV_OPER_UNTARZ2 = 7,
    QV_OPER_MKDIR = 8,
    QV_OPER_HARDLINK = 9,
    QV_OPER_SOFTLINK = 10,
    QV_OPER_PREFIX = 11,
    QV_OPER_ENV = 12,
    QV_OPER_ALIAS = 13,
    QV_OPER_CONFIGBEGIN = 14,
    QV_OPER_CONFIGEND = 15,
    QV_OPER_FUNCTION = 16,
    QV_OPER_SHORTCUT = 17,
    QV_OPER_REGDATA = 18,
    QV_OPER_SELFREG = 19
};

/* Configuration types: the index of the type word in QVInstConfigTkList. */
enum { QV_CONFIG_MAINDLG = 0, QV_CONFIG_CUSDLG = 1, QV_CONFIG_SUITE = 2 };

/* Child-id array sizes of the two list configurations. */
#define QV_MAINDLG_CHILDREN 4
#define QV_CUSDLG_CHILDREN 256

/* State value of configurations and suites (installed or selected). */
typedef enum QV_instSuiteState { QV_instStateOff = 0, QV_instStateOn = 1 } QV_instSuiteState;

/* Pass numbers of the installation and of the modules' size query. */
typedef enum QV_CustomPass {
    QV_PassSize = 1,        /* size query while sizes are computed */
    QV_PassBeforeFiles = 2, /* before files */
    QV_PassFiles = 3,       /* files */
    QV_PassRegistry = 4,    /* registry */
    QV_PassAfterFiles = 5   /* after files */
} QV_CustomPass;

/* Mode argument of archive extraction (not used by the extraction itself). */
typedef enum QV_InstMode { QV_InstModeInstall = 0, QV_InstModeRemove = 1 } QV_InstMode;

/* --- records ----------------------------------------------------------------- */

typedef struct _QV_instCDinst _QV_instCDinst;
typedef struct _QV_InstPackage _QV_InstPackage;

/* A node of a package list: the description's list owns the packages, a
 * suite's list points to packages of the description's list. */
typedef struct _QV_InstPackNode {
    _QV_InstPackage *package;
    struct _QV_InstPackNode *next;
} _QV_InstPackNode;

/* Archive part of an Untar, UntarZ, Untar2 or UntarZ2 operation. The two
 * member arrays grow together in steps of 100 entries; name entries beyond
 * count are NULL. */
typedef struct _QV_InstTar {
    char *file;      /* archive, relative to the source directory */
    int32_t count;   /* number of members */
    int64_t *sizes;  /* member sizes, each at least 1 */
    char **names;    /* member names */
    char *dest;      /* "<RootDest>", "<CommonDest>" or a path (types 6, 7); NULL otherwise */
} _QV_InstTar;

/* Argument block handed to the functions of custom setup modules. Its
 * layout on 64-bit Linux is fixed (offsets in the comments). */
typedef struct QV_InstModuleArgs {
    Widget shell;            /*   0 main top-level shell, NULL in text mode */
    FILE *pipe;              /*   8 protocol stream to the parent, NULL in the size query */
    FILE *log;               /*  16 log file opened for appending, or NULL */
    const char *root;        /*  24 root destination directory */
    const char *common;      /*  32 common destination directory */
    const char *destination; /*  40 product destination directory */
    const char *source;      /*  48 source directory */
    const char *argument;    /*  56 the operation's argument string */
    const char *package;     /*  64 name of the operation's package */
    const char *suite;       /*  72 name of the suite, NULL in the size query */
    int remove;              /*  80 1 in removal, 0 in installation */
    int size;                /*  84 size query: in block size, out the module's bytes */
    char reserved[16];       /*  88 not filled; modules must not rely on it */
    int pass;                /* 104 QV_CustomPass */
} QV_InstModuleArgs;

typedef int (*QV_InstModuleFunction)(const _QV_instCDinst *cdinst, QV_InstModuleArgs *args);

/* Type-specific fields of the operation types. */
typedef struct _QV_InstCopy {        /* Copy, CopyZ */
    char *source;                    /* relative to the source directory */
    char *dest;                      /* relative to the destination; NULL: use source */
    int32_t mode;
    int32_t extra1, extra2;          /* read and kept, used by nothing */
} _QV_InstCopy;

typedef struct _QV_InstMkdirOp {     /* Mkdir */
    char *dir;                       /* relative to the destination */
    int32_t mode;
    int32_t extra1, extra2;
} _QV_InstMkdirOp;

typedef struct _QV_InstLink {        /* HardLink, SoftLink */
    char *dir;                       /* relative to the destination */
    char *target;
    char *link;
    int32_t hard;                    /* 1 HardLink, 0 SoftLink */
} _QV_InstLink;

typedef struct _QV_InstFunction {    /* Function */
    char *function;                  /* symbol the module exports */
    char *module;                    /* shared object in SetupFiles */
    char *argument;
    void *handle;                    /* dlopen handle, NULL until loaded */
    QV_InstModuleFunction address;   /* NULL until found */
} _QV_InstFunction;

typedef struct _QV_InstShortcut {    /* Shortcut: four strings, the fourth may be NULL */
    char *s1, *s2, *s3, *s4;
} _QV_InstShortcut;

typedef struct _QV_InstRegData {     /* RegData */
    char *rootKey, *keyName, *keyValue, *value;
} _QV_InstRegData;

typedef struct _QV_InstSelfReg {     /* SelfReg */
    char *module;
} _QV_InstSelfReg;

/* One operation line of a package. */
typedef struct QV_InstOperation {
    int32_t type;                    /* QV_OPER_* */
    union {
        _QV_InstCopy copy;
        _QV_InstTar tar;
        _QV_InstMkdirOp mkdir;
        _QV_InstLink link;
        _QV_InstFunction function;
        _QV_InstShortcut shortcut;
        _QV_InstRegData regdata;
        _QV_InstSelfReg selfreg;
    } u;
    int64_t size;                    /* copy size, archive total, 1 otherwise */
    struct QV_InstOperation *next;
} QV_InstOperation;

struct _QV_InstPackage {
    char *name;
    char *info;                      /* second string of the Package line */
    int64_t readSize;                /* units reported on the protocol */
    int64_t writeSize;               /* bytes on the destination, block-rounded */
    int32_t lastPass;                /* last installation pass run */
    int32_t walkCount;               /* counted-mark of the size walks */
    int32_t installed;               /* listed by the history file */
    int32_t inUse;                   /* selected suites that list the package */
    QV_InstOperation *firstOper, *lastOper;
};

typedef struct _QV_InstSuiteList {
    char *name;
    int32_t installed;               /* 1 when the history shows it installed */
    _QV_InstPackNode *firstPack, *lastPack;
    int64_t readTotal, writeTotal;
    struct _QV_InstSuiteList *next;
    int32_t hidden;                  /* "Hidden": not listed in the options dialog */
    int32_t vital;                   /* "Vital": deselecting it draws a warning */
} _QV_InstSuiteList;

typedef struct _QV_InstIcon {
    char *module;                    /* icon module in SetupFiles */
    char *symbol;                    /* symbol of the XPM data in it */
} _QV_InstIcon;

typedef struct _QV_InstMainDlgData {
    char *title, *description;
    int32_t children[QV_MAINDLG_CHILDREN];
} _QV_InstMainDlgData;

typedef struct _QV_InstCusDlgData {
    char *title, *description;
    int32_t children[QV_CUSDLG_CHILDREN];
} _QV_InstCusDlgData;

typedef struct _QV_InstSuiteData {
    char *description;
    _QV_InstSuiteList *suite;        /* points into the suite list */
} _QV_InstSuiteData;

typedef struct _QV_InstConfigList {
    int32_t id;                      /* non-zero */
    int32_t type;                    /* QV_CONFIG_* */
    int32_t installed;               /* from the history file */
    int32_t selected;                /* the user's wish */
    _QV_InstIcon *icon;              /* or NULL */
    union {                          /* the type's data, by type */
        void *any;
        _QV_InstMainDlgData *main;
        _QV_InstCusDlgData *cus;
        _QV_InstSuiteData *suite;
    } data;
    struct _QV_InstConfigList *next;
    struct _QV_InstConfigList *parent;
} _QV_InstConfigList;

struct _QV_instCDinst {
    unsigned char menuInclude;       /* default 1; "NoChestRC" clears it */
    unsigned char userInfo;          /* always 0 */
    unsigned char displayLog;        /* default 1; "NoDisplayLog" clears it */
    char *sourceDir;
    char *rootDest;                  /* "InstallDirectory", or NULL */
    char *productName;
    char *productVersion;
    char *productDir;
    char *cdinstPath;                /* path of the description that was read */
    char *logFile;                   /* "" or "SetupFiles/<LogFile>" */
    char *historyFile;               /* "HistoryFile", or NULL */
    _QV_InstSuiteList *firstSuite, *lastSuite;
    _QV_InstPackNode *firstPack, *lastPack;
    _QV_InstConfigList *configs;
};

/* --- globals ------------------------------------------------------------------ */
extern _QV_instCDinst *CDInstPtr;
extern const char *QVInstOperTkList[];
extern const char *QVInstConfigTkList[];
extern int QV_instParsingConfiguration;
extern int QV_instDebug;

/* --- reader, lookups, frees ------------------------------------------------------ */
/* Header key words and values hold at most this many characters. */
#define QV_HEADER_FIELD_MAX 511

_QV_instCDinst *QV_instReadCDinst(const char *path, void (*perLine)(void));
int readCdinst(FILE *stream, _QV_instCDinst *cdinst, void (*perLine)(void), int *lineNo);
/* Both buffers hold QV_HEADER_FIELD_MAX + 1 bytes. 1: the next logical line
 * carries the key (value in valueBuffer); 0: it does not; -1: it carries the
 * key with a value too long for the buffer. On 0 and -1 the stream and the
 * line number are put back. */
int QV_ReadHeaderLine(const char *key, char *keyBuffer, char *valueBuffer, FILE *stream, int *lineNo, int mandatory);
int AddLineToCDinst(char *line, _QV_instCDinst *cdinst);
int AddLineToConfig(char *line, _QV_instCDinst *cdinst);
char *QV_instGetline(FILE *stream, int *lineNo);
char *getToken(char *text, const char **list, char **rest, int caseSensitive);
char **getTokenList(char *text, const char **list, int caseSensitive);
char *getQuotedString(char *text, char **rest);
/* Numbers above 2147483647 read as 2147483647. */
int getInteger(char *text, char **rest);
int getIconInfo(_QV_InstConfigList *config, char *text, char **rest);
int checkToken(const char *word, const char **list, int caseSensitive);
int getOperType(const char *word);
int getConfigType(const char *word);
int isWhiteOrCommentLine(const char *line);
QV_InstOperation *newOper(_QV_instCDinst *cdinst);
void QV_instAddPackage2Suite(_QV_InstSuiteList *suite, _QV_InstPackage *package);
_QV_InstSuiteList *QV_instGetSuiteFromName(const _QV_instCDinst *cdinst, const char *name);
_QV_InstPackage *QV_instGetPackageFromName(const _QV_instCDinst *cdinst, const char *name);
_QV_InstConfigList *QV_instGetConfigFromId(const _QV_instCDinst *cdinst, int id);
void QV_instFreeCDinst(_QV_instCDinst *cdinst);
void QV_instFreeSuite(_QV_InstSuiteList *suite);
void QV_instFreePackage(_QV_InstPackage *package);
void QV_instFreeOper(QV_InstOperation *oper);
void QV_instFreeConfig(_QV_InstConfigList *config);
void freeTokenList(char **list);

/* --- accessors ------------------------------------------------------------------- */
const char *QV_instGetProductName(void);
const char *GetProductName(const _QV_instCDinst *cdinst);
const char *QV_instGetProductVersion(void);
const char *GetProductVersion(const _QV_instCDinst *cdinst);
char *QV_instGetRootDestinationDirectory(void);
char *GetRootDestinationDirectory(const _QV_instCDinst *cdinst);
char *QV_instGetDestinationDirectory(void);
char *GetDestinationDirectory(const _QV_instCDinst *cdinst);
char *QV_instGetCommonDestinationDirectory(void);
char *QV_instGetSourceDirectory(void);
char *GetSourceDirectory(const _QV_instCDinst *cdinst);
char *QV_instGetRunningDirectory(void);
char *QV_instGetCdinstDirectory(void);
char *QV_instGetHistoryFile(void);
char *QV_instSetSourceDirectory(char *path);
/* Fill the running-directory and description-directory buffers (command
 * line processing); 0 done, -1 for NULL or a text over 4096 characters. */
int QV_instSetRunningDirectory(const char *dir);
int QV_instSetCdinstDirectory(const char *dir);
void SetConfigToInstall(_QV_InstConfigList *config);
_QV_InstConfigList *GetConfigToInstall(void);

/* --- selection walks ------------------------------------------------------------------ */
void QV_instMarkAllConfig(_QV_InstConfigList *config, int value);
void QV_instResetAllConfig(const _QV_instCDinst *cdinst, _QV_InstConfigList *config, QV_instSuiteState state);
int QV_instIsAllConfigSelected(_QV_InstConfigList *config, int requireSelf);
void UpdateNumInUseFlag(const _QV_instCDinst *cdinst, _QV_InstConfigList *config, int clear);
int NumPackagesAffected(const _QV_instCDinst *cdinst, _QV_InstConfigList *config);
int UpdateInstalledFlag(const _QV_instCDinst *cdinst, _QV_InstConfigList *config, _QV_InstSuiteList *suite, int value);

/* --- sizes and disk space ----------------------------------------------------------------- */
int QV_instSetSizes(_QV_instCDinst *cdinst);
uint64_t QV_instGetPackageSize(_QV_InstPackage *package, uint64_t blockSize, const char *source, const char *destination);
int64_t QV_instGetSize(_QV_instCDinst *cdinst, _QV_InstConfigList *config, int selector, int absolute, int phase);
int64_t QV_instGetReadSize(_QV_instCDinst *cdinst, _QV_InstConfigList *config, int absolute);
int64_t QV_instGetWriteSize(_QV_instCDinst *cdinst, _QV_InstConfigList *config, int absolute);
int64_t QV_instCountBytesToInstall(_QV_instCDinst *cdinst, _QV_InstConfigList *config, int selector, int absolute);
int64_t QV_instGetTrueSize(_QV_instCDinst *cdinst, _QV_InstConfigList *config, int selector, int absolute);
void QV_instResetPackagePasses(_QV_InstPackNode *list);
int64_t QV_instGetAvailableSpace(const char *path);
int64_t QV_instGetBlockSize(const char *path);
double QV_instTranslateBytes2Gigs(int64_t bytes);
double QV_instTranslateBytes2Megs(int64_t bytes);
double QV_instTranslateBytes2Ks(int64_t bytes);

/* --- custom setup modules ------------------------------------------------------------------ */
/* Most module paths the loaded-module list holds. */
#define QV_MODULE_LIST_MAX 100

int validateModule(_QV_instCDinst *cdinst);
int QV_instCustomFunction(_QV_InstFunction *function, QV_InstModuleArgs *args, FILE *stream);
int InModuleList(const char *path);
int UpdateModuleList(const char *path);

/* --- history file --------------------------------------------------------------------------- */
extern const char *g_cHistoryVersion;
extern int g_iHistoryVersion;

int QV_InitHistoryFile(const char *destination, const char *productName, const char *productVersion);
int QV_UpdateHistoryFile(const char *destination, const _QV_InstSuiteList *suite);
int QV_RemoveHistoryFile(const char *destination);
int QV_UpdateSuiteHistory(_QV_instCDinst *cdinst, _QV_InstConfigList *config, _QV_InstSuiteList *firstSuite,
                          const char *destination, const char *productName, const char *productVersion);
int CompareProductVersions(const char *productName, const char *ourVersion, const char *installedLine);

#ifdef __cplusplus
}
#endif

#endif
