// The builder layer on a real display: the converters as Xt calls them,
// CONVERT, XPM pictures, widget lookup by name, resources set from text,
// application defaults and the popup-menu handler.
#include "support/xfixture.h"

#include <unistd.h>

#include <malloc.h>

#include <cstring>

#include <X11/Xresource.h>
#include <Xm/DialogS.h>
#include <Xm/Form.h>
#include <Xm/Label.h>
#include <Xm/MessageB.h>
#include <Xm/PushB.h>
#include <Xm/RowColumn.h>

#include "support/capture.h"
#include "wizard/bx.h"
#include "wizard/shell.h"

extern "C" size_t __sanitizer_get_current_allocated_bytes() __attribute__((weak));

namespace {

size_t allocated_bytes()
{
    if (__sanitizer_get_current_allocated_bytes)
        return __sanitizer_get_current_allocated_bytes();
    return mallinfo2().uordblks;
}

class BxTest : public qvtest::XTest {
protected:
    // A small dialog: dsBx > mbBx > foBx > {laAlpha, pbBeta, foInner > laDeep}
    void SetUp() override
    {
        qvtest::XTest::SetUp();
        dialog = XtVaCreatePopupShell("dsBx", xmDialogShellWidgetClass, mainShell(), nullptr);
        box = XtVaCreateWidget("mbBx", xmMessageBoxWidgetClass, dialog, nullptr);
        form = XtVaCreateManagedWidget("foBx", xmFormWidgetClass, box, nullptr);
        alpha = XtVaCreateManagedWidget("laAlpha", xmLabelWidgetClass, form, nullptr);
        beta = XtVaCreateManagedWidget("pbBeta", xmPushButtonWidgetClass, form, nullptr);
        inner = XtVaCreateManagedWidget("foInner", xmFormWidgetClass, form, nullptr);
        deep = XtVaCreateManagedWidget("laDeep", xmLabelWidgetClass, inner, nullptr);
    }
    Widget dialog = nullptr, box = nullptr, form = nullptr, alpha = nullptr, beta = nullptr, inner = nullptr,
           deep = nullptr;
};

// The converters as Xt itself calls them (XtConvertAndStore), with and
// without storage of the caller's, and the table converter's items.
TEST_F(BxTest, ConvertersAnswerXt)
{
    XrmValue from{sizeof ":::t\"x\"", const_cast<char *>(":::t\"x\"")};
    XrmValue to{0, nullptr};
    ASSERT_TRUE(XtConvertAndStore(alpha, XmRString, &from, XmRXmString, &to));
    ASSERT_EQ(to.size, sizeof(XmString));
    XmString s = *reinterpret_cast<XmString *>(to.addr);
    EXPECT_EQ(qvtest::xmstring_layout(s), "L \"x\" |");
    XmStringFree(s);

    // Storage too small: a warning, no value, False.
    char small[2];
    XrmValue tooSmall{sizeof small, small};
    {
        qvtest::WarningCapture warnings;
        Cardinal none = 0;
        EXPECT_FALSE(cvtStringToXmString(XtDisplay(alpha), nullptr, &none, &from, &tooSmall, nullptr));
        EXPECT_EQ(tooSmall.size, sizeof(XmString));
        // (Run as root, Xt adds a note that it will not format the text.)
        EXPECT_FALSE(warnings.messages().empty());
    }
    // Extra conversion arguments: a warning, and the conversion goes on.
    {
        qvtest::WarningCapture warnings;
        XrmValue arg{0, nullptr};
        Cardinal one = 1;
        XmString value = nullptr;
        XrmValue into{sizeof value, reinterpret_cast<XPointer>(&value)};
        EXPECT_TRUE(cvtStringToXmString(XtDisplay(alpha), &arg, &one, &from, &into, nullptr));
        ASSERT_EQ(warnings.messages().size(), 1u);
        EXPECT_EQ(warnings.messages()[0], "String to XmString converter needs no extra arguments");
        // The destructor frees what the converter made (leak-checked).
        Cardinal none = 0;
        cvtXmStringDestroy(app(), &into, nullptr, nullptr, &none);
    }
}

// A label updated again and again (a progress label, one text per file)
// must not cost memory for every update.
TEST_F(BxTest, ConversionsLeaveNothingBehind)
{
    for (int i = 0; i < 10; ++i)
        QV_instUpdateLabelString(alpha, ":::t\"warming up\"");
    const size_t before = allocated_bytes();
    for (int i = 0; i < 5000; ++i)
        QV_instUpdateLabelString(alpha, i % 2 ? ":::t\"Copying\"\"file\"" : "Copying file");
    const size_t after = allocated_bytes();
    EXPECT_LT(after > before ? after - before : 0, 64u * 1024) << "bytes kept by 5000 label updates";
}

TEST_F(BxTest, TableItems)
{
    struct Row {
        const char *text;
        std::vector<std::string> items; // layouts of the entries
    };
    const Row rows[] = {
        {"", {}},
        {"one", {"L \"one\""}},
        {"a,b,", {"L \"a\"", "L \"b\"", "L \"\""}},
        {"\"a,b\",c", {"L \"\\\"a,b\\\"\"", "L \"c\""}},
        {"x\ny", {"L \"x\"", "L \"y\""}},
        {"a\\,b", {"L \"a\\\\,b\""}},
        {":::t\"Title\", plain", {"L \"Title\" |", "L \" plain\""}},
        {"::\"1,2\",::\"3\"", {"L \"1,2\"", "L \"3\""}},
    };
    for (const Row &row : rows) {
        XrmValue from{static_cast<unsigned>(std::strlen(row.text) + 1), const_cast<char *>(row.text)};
        XrmValue to{0, nullptr};
        ASSERT_TRUE(XtConvertAndStore(alpha, XmRString, &from, XmRXmStringTable, &to)) << row.text;
        XmStringTable table = *reinterpret_cast<XmStringTable *>(to.addr);
        std::vector<std::string> got;
        for (XmString *entry = table; *entry; ++entry)
            got.push_back(qvtest::xmstring_layout(*entry));
        EXPECT_EQ(got, row.items) << "text: " << row.text;
        XrmValue owned{sizeof table, reinterpret_cast<XPointer>(&table)};
        Cardinal none = 0;
        cvtXmStringTableDestroy(app(), &owned, nullptr, nullptr, &none);
    }
}

TEST_F(BxTest, ConvertToTypes)
{
    Boolean ok = False;
    EXPECT_EQ(CONVERT(alpha, "-1", "Short", 0, &ok), -1);
    EXPECT_TRUE(ok);
    EXPECT_EQ(CONVERT(alpha, "-3", "Position", 0, &ok), -3);
    EXPECT_EQ(CONVERT(alpha, "-123456", "Int", 0, &ok), -123456);
    EXPECT_EQ(CONVERT(alpha, "true", "Boolean", 0, &ok), 1);
    EXPECT_EQ(CONVERT(alpha, "XmALIGNMENT_END", XmRAlignment, 0, &ok), XmALIGNMENT_END);
    EXPECT_TRUE(ok);

    const XtArgVal floatAddress = CONVERT(alpha, "2.5", "Float", 0, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(*reinterpret_cast<float *>(floatAddress), 2.5f);
    const XtArgVal stringAddress = CONVERT(alpha, "abc", "String", 0, &ok);
    ASSERT_TRUE(ok);
    EXPECT_STREQ(reinterpret_cast<const char *>(stringAddress), "abc");

    const XtArgVal pixel = CONVERT(alpha, "#ff0000", XmRPixel, 0, &ok);
    ASSERT_TRUE(ok);
    XColor colour;
    colour.pixel = static_cast<Pixel>(pixel);
    XQueryColor(display(), DefaultColormapOfScreen(XtScreen(alpha)), &colour);
    EXPECT_EQ(colour.red, 0xffff);
    EXPECT_EQ(colour.green, 0);

    auto s = reinterpret_cast<XmString>(CONVERT(alpha, ":::t\"Exit\"\"Setup\"", XmRXmString, 0, &ok));
    ASSERT_TRUE(ok);
    EXPECT_EQ(qvtest::xmstring_text(s), "Exit\nSetup");
    XmStringFree(s);

    qvtest::WarningCapture quiet;
    ok = True;
    EXPECT_EQ(CONVERT(alpha, "not a number", "Int", 0, &ok), 0);
    EXPECT_FALSE(ok);
    ok = True;
    EXPECT_EQ(CONVERT(alpha, "x", "NoSuchType", 0, &ok), 0);
    EXPECT_FALSE(ok);
}

// 3x2 pixels, one of them transparent (so libXpm makes a shape mask).
const char *kGoodXpm[] = {"3 2 3 1", "r c #ff0000", "b c #0000ff", ". c None", "rb.", ".br"};
const char *kUnknownColourXpm[] = {"2 1 2 1", "a c nosuchcolourname", "b c #00ff00", "ab"};
const char *kBadXpm[] = {"this is no xpm"};

TEST_F(BxTest, PixmapsFromXpmData)
{
    XtRealizeWidget(dialog);
    Pixmap pixmap = XPM_PIXMAP(alpha, const_cast<char **>(kGoodXpm));
    ASSERT_NE(pixmap, XmUNSPECIFIED_PIXMAP);
    Window root;
    int x, y;
    unsigned width, height, border, depth;
    ASSERT_TRUE(XGetGeometry(display(), pixmap, &root, &x, &y, &width, &height, &border, &depth));
    EXPECT_EQ(width, 3u);
    EXPECT_EQ(height, 2u);
    EXPECT_EQ(static_cast<int>(depth), DefaultDepthOfScreen(XtScreen(alpha)));
    XFreePixmap(display(), pixmap);

    // A gadget has no depth of its own: the screen's is used.
    Widget gadget = XmMessageBoxGetChild(box, XmDIALOG_MESSAGE_LABEL);
    pixmap = XPM_PIXMAP(gadget, const_cast<char **>(kGoodXpm));
    EXPECT_NE(pixmap, XmUNSPECIFIED_PIXMAP);
    XFreePixmap(display(), pixmap);

    qvtest::WarningCapture warnings;
    pixmap = XPM_PIXMAP(alpha, const_cast<char **>(kUnknownColourXpm));
    if (pixmap != XmUNSPECIFIED_PIXMAP)
        XFreePixmap(display(), pixmap);
    EXPECT_EQ(XPM_PIXMAP(alpha, const_cast<char **>(kBadXpm)), XmUNSPECIFIED_PIXMAP);
    EXPECT_EQ(XPM_PIXMAP(alpha, nullptr), XmUNSPECIFIED_PIXMAP);
    std::vector<std::string> expected(warnings.messages().size(), "Could not create pixmap.");
    EXPECT_EQ(warnings.messages(), expected);
    EXPECT_GE(warnings.messages().size(), 2u);
}

TEST_F(BxTest, WidgetIdsFromNames)
{
    qvtest::CaptureFd out(STDOUT_FILENO);
    // From a widget deep inside: names found from it or any ancestor.
    Widget *ids = BxWidgetIdsFromNames(deep, "myCB", "[ laAlpha ,\tpbBeta , nowhere, laDeep ]");
    const std::string printed = out.finish();
    ASSERT_NE(ids, nullptr);
    std::vector<Widget> got;
    for (Widget *id = ids; *id; ++id)
        got.push_back(*id);
    XtFree(reinterpret_cast<char *>(ids));
    EXPECT_EQ(got, (std::vector<Widget>{alpha, beta, deep}));
    EXPECT_EQ(printed, "Callback Error (myCB):\n\tCannot find widget *nowhere\n");

    for (const char *empty : {"", "[]", "  [  ]  ", " , "}) {
        ids = BxWidgetIdsFromNames(alpha, "cb", empty);
        EXPECT_EQ(ids[0], nullptr) << "names: '" << empty << "'";
        XtFree(reinterpret_cast<char *>(ids));
    }
    ids = BxWidgetIdsFromNames(alpha, "cb", "foInner.laDeep");
    EXPECT_EQ(ids[0], deep);
    XtFree(reinterpret_cast<char *>(ids));
}

TEST_F(BxTest, SetValuesFromText)
{
    qvtest::CaptureFd out(STDOUT_FILENO);
    const char *lines = "laAlpha.labelString = :::t\"Line\"\"two\"\n"
                        "\n"
                        "  foInner.laDeep.labelString= version 1.5 = final  \n"
                        "no syntax here\n"
                        "pbBeta.sensitive = False\n"
                        "ghost.width = 3\n";
    BxSetValuesCB(beta, const_cast<char *>(lines), nullptr);
    const std::string printed = out.finish();
    EXPECT_EQ(qvtest::label_text(alpha), "Line\ntwo");
    EXPECT_EQ(qvtest::label_text(deep), "version 1.5 = final");
    EXPECT_FALSE(XtIsSensitive(beta));
    EXPECT_EQ(printed, "Callback Error (BxSetValuesCB):\n\tSyntax Error - specify BxSetValuesCB data as\n"
                       "\t    <Widget Name>.<Resource> = <Value>\n"
                       "Callback Error (BxSetValuesCB):\n\tCannot find widget *ghost\n");
    BxSetValuesCB(beta, nullptr, nullptr);
}

std::string lookup(Display *display, const char *name)
{
    char *type = nullptr;
    XrmValue value{0, nullptr};
    if (!XrmGetResource(XtDatabase(display), name, name, &type, &value) || !value.addr)
        return "<none>";
    return value.addr;
}

TEST_F(BxTest, ApplicationDefaults)
{
    // setDefaultResources adds lines below "*<name>" without overriding.
    XrmDatabase db = XtDatabase(display());
    XrmPutLineResource(&db, "*foDefaults*laKept.labelString: from the user");
    const char *resources[] = {"*laNew.labelString: from defaults", "*laKept.labelString: from defaults", nullptr};
    setDefaultResources("foDefaults", alpha, resources);
    EXPECT_EQ(lookup(display(), "xtest.TopLevelShell.foDefaults.laNew.labelString"), "from defaults");
    EXPECT_EQ(lookup(display(), "xtest.TopLevelShell.foDefaults.laKept.labelString"), "from the user");
    // Widgets created later take them (through the "::" converter).
    const char *titles[] = {"*laTitle.labelString: :::t\"Title\"\"text\"", nullptr};
    setDefaultResources("foBx", alpha, titles);
    Widget title = XtVaCreateManagedWidget("laTitle", xmLabelWidgetClass, form, nullptr);
    EXPECT_EQ(qvtest::label_text(title), "Title\ntext");

    // InitAppDefaults reads values back into a table.
    XrmPutLineResource(&db, "appA.wA.cA.rA: one");
    XrmPutLineResource(&db, "appA.wB.rB: two");
    XrmPutLineResource(&db, "appA.appA.rC: three");
    UIAppDefault read[] = {
        {const_cast<char *>("appA"), const_cast<char *>("wA"), const_cast<char *>("cA"), const_cast<char *>("rA"),
         nullptr},
        {const_cast<char *>("appA"), const_cast<char *>("wB"), const_cast<char *>(""), const_cast<char *>("rB"),
         nullptr},
        {const_cast<char *>("appA"), const_cast<char *>(""), nullptr, const_cast<char *>("rC"), nullptr},
        {const_cast<char *>("appA"), const_cast<char *>("wZ"), nullptr, const_cast<char *>("rZ"), nullptr},
        {nullptr, nullptr, nullptr, nullptr, nullptr},
    };
    InitAppDefaults(alpha, read);
    ASSERT_NE(read[0].value, nullptr);
    EXPECT_STREQ(read[0].value, "one");
    ASSERT_NE(read[1].value, nullptr);
    EXPECT_STREQ(read[1].value, "two");
    ASSERT_NE(read[2].value, nullptr);
    EXPECT_STREQ(read[2].value, "three");
    EXPECT_EQ(read[3].value, nullptr);
    for (UIAppDefault &rec : read)
        free(rec.value);

    // SetAppDefaults composes one line per record below the widget's path
    // (the application shell left out).
    UIAppDefault write[] = {
        {nullptr, const_cast<char *>("wd"), const_cast<char *>("ch"), const_cast<char *>("r1"),
         const_cast<char *>("v1")},
        {nullptr, const_cast<char *>("wd"), const_cast<char *>(""), const_cast<char *>("r2"),
         const_cast<char *>("v2")},
        {nullptr, const_cast<char *>("wd"), nullptr, const_cast<char *>("r3"), const_cast<char *>("v3")},
        {nullptr, const_cast<char *>(""), nullptr, const_cast<char *>("r4"), const_cast<char *>("v4")},
        {nullptr, const_cast<char *>("wd"), nullptr, const_cast<char *>("r5"), nullptr},
        {nullptr, nullptr, nullptr, nullptr, nullptr},
    };
    SetAppDefaults(form, write, "inst");
    const std::string path = "xtest.TopLevelShell.dsBx.mbBx.foBx";
    EXPECT_EQ(lookup(display(), (path + ".wd.x.ch.r1").c_str()), "v1");
    EXPECT_EQ(lookup(display(), (path + ".wd.r2").c_str()), "v2");
    EXPECT_EQ(lookup(display(), (path + ".inst.x.wd.r3").c_str()), "v3");
    EXPECT_EQ(lookup(display(), (path + ".inst.r4").c_str()), "v4");
    EXPECT_EQ(lookup(display(), (path + ".inst.wd.r5").c_str()), "<none>");
    EXPECT_EQ(lookup(display(), "xtest.TopLevelShell.other.wd.r2"), "<none>");
    SetAppDefaults(form, write, nullptr);
}

TEST_F(BxTest, MenuPostsOnItsButtonOnly)
{
    XtRealizeWidget(dialog);
    Widget menu = XmCreatePopupMenu(form, const_cast<char *>("pmBx"), nullptr, 0);
    XtVaCreateManagedWidget("pbItem", xmPushButtonWidgetClass, menu, nullptr);
    XEvent event{};
    event.xbutton.type = ButtonPress;
    event.xbutton.display = display();
    event.xbutton.window = XtWindow(form);
    event.xbutton.x_root = 100;
    event.xbutton.y_root = 100;
    Boolean goOn = True;

    event.xbutton.button = Button1;
    MENU_POST(form, menu, &event, &goOn);
    EXPECT_FALSE(XtIsManaged(menu));
    event.type = KeyPress; // not a button event
    MENU_POST(form, menu, &event, &goOn);
    EXPECT_FALSE(XtIsManaged(menu));

    event.xbutton.type = ButtonPress;
    event.xbutton.button = Button3;
    MENU_POST(form, menu, &event, &goOn);
    EXPECT_TRUE(XtIsManaged(menu));
    XtUnmanageChild(menu);
}

TEST_F(BxTest, TopShellIsTheRoot)
{
    EXPECT_EQ(BxFindTopShell(deep), qvtest::xapp().top);
    EXPECT_EQ(BxFindTopShell(qvtest::xapp().top), qvtest::xapp().top);
}

} // namespace
