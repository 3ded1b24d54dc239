// Icon modules: shared objects in the medium's SetupFiles folder that export
// the pictures of the installation choices as in-memory XPM data.
#include "wizard/icon_module.h"

#include <dlfcn.h>
#include <link.h>

#include <Xm/Xm.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/internal.h"
#include "engine/util.h"
#include "wizard/glue.h"

namespace {

// Limits on a picture's header, far above any choice's picture; they keep
// the checks below free of overflow.
constexpr unsigned long kMaxSide = 4096;
constexpr unsigned long kMaxColours = 1UL << 20;
constexpr unsigned long kMaxCharsPerPixel = 16;

bool read_number(const char *&p, unsigned long max, unsigned long *value)
{
    while (*p == ' ' || *p == '\t')
        ++p;
    if (!std::isdigit(static_cast<unsigned char>(*p)))
        return false;
    unsigned long v = 0;
    for (; std::isdigit(static_cast<unsigned char>(*p)); ++p) {
        v = v * 10 + static_cast<unsigned long>(*p - '0');
        if (v > max)
            return false;
    }
    *value = v;
    return true;
}

void free_pixmap(Widget w, XtPointer clientData, XtPointer)
{
    XFreePixmap(XtDisplay(w), static_cast<Pixmap>(reinterpret_cast<uintptr_t>(clientData)));
}

} // namespace

namespace qv {

void free_pixmap_with(Widget w, Pixmap pixmap)
{
    XtAddCallback(w, XtNdestroyCallback, free_pixmap, reinterpret_cast<XtPointer>(static_cast<uintptr_t>(pixmap)));
}

size_t exported_array_length(const void *address)
{
    Dl_info info;
    void *entry = nullptr;
    if (!dladdr1(address, &info, &entry, RTLD_DL_SYMENT) || !entry ||
        info.dli_saddr != address)
        return 0;
    return static_cast<const ElfW(Sym) *>(entry)->st_size / sizeof(char *);
}

// libXpm reads in-memory data without any bound: it steps to the next
// string of the array for every colour and row, and for several characters
// per pixel it reads them even past the end of a short row. So the array
// must hold every string the header promises, each long enough.
bool xpm_data_is_whole(const char *const *data, size_t count)
{
    if (!data || count < 1 || !data[0])
        return false;
    const char *p = data[0];
    unsigned long width = 0, height = 0, colours = 0, cpp = 0;
    if (!read_number(p, kMaxSide, &width) || !read_number(p, kMaxSide, &height) ||
        !read_number(p, kMaxColours, &colours) || !read_number(p, kMaxCharsPerPixel, &cpp))
        return false;
    if (width == 0 || height == 0 || colours == 0 || cpp == 0)
        return false;
    // Extension lines follow the pixels up to the line "XPMENDEXT".
    const bool extensions = std::strstr(p, "XPMEXT") != nullptr;

    const size_t needed = 1 + colours + height;
    if (needed > count)
        return false;
    for (size_t i = 1; i <= colours; ++i) {
        if (!data[i] || std::strlen(data[i]) < cpp)
            return false;
    }
    for (size_t i = 1 + colours; i < needed; ++i) {
        if (!data[i] || std::strlen(data[i]) < width * cpp)
            return false;
    }
    if (!extensions)
        return true;
    for (size_t i = needed; i < count && data[i]; ++i) {
        if (std::strncmp(data[i], "XPMENDEXT", 9) == 0)
            return true;
    }
    return false;
}

} // namespace qv

extern "C" {

// Gives a choice's button the picture that the configuration's icon names.
// A missing module or symbol leaves the button's picture as it was; a
// picture that cannot be made leaves the button without one.
void QV_instSetPixmapOnWidget(Widget button, _QV_InstIcon *icon)
{
    if (!button || !icon || !icon->module || !icon->symbol)
        return;
    qv::CStr path(QV_instBuildPath(QV_instGetCdinstDirectory(), "SetupFiles", icon->module, nullptr));
    if (!path) {
        std::fputs("Error: QV_instSetPixmapOnWidget, memory allocation error\n", stderr);
        std::exit(1);
    }
    // Opened for this one picture: the pixmap lives on in the X server.
    qv::DlHandle module(dlopen(path.get(), RTLD_LAZY | RTLD_LOCAL));
    if (!module) {
        std::fprintf(stderr, "Error: QV_instSetPixmapOnWidget, can't locate '%s'\n", path.get());
        return;
    }
    auto *data = static_cast<char **>(dlsym(module.get(), icon->symbol));
    if (!data) {
        std::fprintf(stderr, "Error: QV_instSetPixmapOnWidget, '%s' not in '%s'\n", icon->symbol, path.get());
        return;
    }

    Pixmap picture = XmUNSPECIFIED_PIXMAP;
    if (qv::xpm_data_is_whole(data, qv::exported_array_length(data)))
        picture = XPM_PIXMAP(XtParent(button), data);
    else
        std::fprintf(stderr, "Error: QV_instSetPixmapOnWidget, '%s' in '%s' is not valid XPM data\n", icon->symbol,
                     path.get());
    XtVaSetValues(button, XmNlabelType, XmPIXMAP, XmNlabelPixmap, picture, nullptr);
    if (picture != XmUNSPECIFIED_PIXMAP)
        qv::free_pixmap_with(button, picture);
}

} // extern "C"
