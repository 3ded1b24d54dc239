// The main dialog on a real display: slots filled from menus of one to four
// choices, the way down into a nested menu and back, a suite's button
// reaching the install action, the destination part, and the pictures that
// icon modules give the buttons, whole or broken.
#include "support/xfixture.h"

#include <Xm/FileSB.h>
#include <Xm/MessageB.h>
#include <Xm/TextF.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/capture.h"
#include "wizard/glue.h"
#include "wizard_medium.h"

namespace {

using qvtest::box_child;
using qvtest::find;
using qvtest::label_text;
using qvtest::press;
using qvtest::press_box;

Pixmap picture_of(Widget button)
{
    Pixmap pixmap = XmUNSPECIFIED_PIXMAP;
    XtVaGetValues(button, XmNlabelPixmap, &pixmap, nullptr);
    return pixmap;
}

struct Picture {
    unsigned width = 0, height = 0;
    std::vector<unsigned long> rgb; // 0xRRGGBB per pixel, row by row
    unsigned long at(unsigned x, unsigned y) const { return rgb[y * width + x]; }
    size_t count(unsigned long colour) const { return static_cast<size_t>(std::count(rgb.begin(), rgb.end(), colour)); }
};

// Reads a pixmap back from the X server.
Picture read_picture(Display *display, Pixmap pixmap)
{
    Picture p;
    Window rootWindow;
    int x, y;
    unsigned border, depth;
    if (!XGetGeometry(display, pixmap, &rootWindow, &x, &y, &p.width, &p.height, &border, &depth))
        return p;
    XImage *image = XGetImage(display, pixmap, 0, 0, p.width, p.height, AllPlanes, ZPixmap);
    if (!image)
        return p;
    Colormap colormap = DefaultColormap(display, DefaultScreen(display));
    for (unsigned row = 0; row < p.height; ++row) {
        for (unsigned col = 0; col < p.width; ++col) {
            XColor c;
            c.pixel = XGetPixel(image, static_cast<int>(col), static_cast<int>(row));
            XQueryColor(display, colormap, &c);
            p.rgb.push_back((static_cast<unsigned long>(c.red >> 8) << 16) | ((c.green >> 8) << 8) | (c.blue >> 8));
        }
    }
    XDestroyImage(image);
    return p;
}

Widget slot_row(Widget box, int slot)
{
    return find(box, "*rcMainDlg" + std::to_string(slot));
}

Widget slot_button(Widget box, int slot)
{
    return find(box, "*pbMainDlg" + std::to_string(slot));
}

std::string product_line(Widget box, int slot)
{
    return label_text(find(box, "*laMainDlg" + std::to_string(slot) + "Product"));
}

std::string description_line(Widget box, int slot)
{
    return label_text(find(box, "*laMainDlg" + std::to_string(slot) + "Description"));
}

// Menu 1 offers a nested menu (4), an options list (5) and two suites (6,
// 7); the nested menu offers one suite (8).
constexpr const char kTree[] = "Package \"core\" \"core files\"\n"
                               "Copy \"files/a.txt\" \"\" 10000 0644 0 0\n"
                               "Suite \"Main\" core\n"
                               "Suite \"Extra\" core\n"
                               "ConfigBegin\n"
                               "1 MainDlg \"Top\" \"Top menu\" \"\" 4 5 6 7\n"
                               "4 MainDlg \"More choices\" \"Nested menu\" \"\" 8\n"
                               "5 CusDlg \"Options\" \"Pick the components\" \"\" 1 8\n"
                               "6 Suite \"Main\" \"The main suite\" \"\" 1\n"
                               "7 Suite \"Extra\" \"Two\\nlines\" \"\" 1\n"
                               "8 Suite \"Main\" \"Inner suite\" \"\" 1\n"
                               "ConfigEnd\n";

class MainDlgTest : public qvtest::XTest {
protected:
    void SetUp() override
    {
        XTest::SetUp();
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        QV_instInstallationMode = 0;
        qvtest::make_dirs(medium.root());
        qvtest::write_file(medium.dir() + "/files/a.txt", std::string(10000, 'a'));
    }
    void TearDown() override
    {
        QV_instInstallationMode = 0;
        XTest::TearDown();
    }

    // The main dialog of configuration id, as the destination dialog's OK
    // opens it: on the main shell, parent link cleared, filled, managed.
    Widget open_menu(int id)
    {
        _QV_InstConfigList *config = QV_instGetConfigFromId(CDInstPtr, id);
        EXPECT_NE(config, nullptr);
        mbMainDlg = CreatembMainDlg(mainShell());
        config->parent = nullptr;
        QV_instUISetMainDlg(mbMainDlg, config);
        XtManageChild(mbMainDlg);
        EXPECT_TRUE(qvtest::wait_mapped(mbMainDlg));
        return mbMainDlg;
    }

    // The module file test_icons.so in the medium's SetupFiles.
    void add_icon_module()
    {
        const std::string built = qvtest::harness("QV_TEST_MODULES") + "/test_icons.so";
        qvtest::write_file(medium.dir() + "/SetupFiles/test_icons.so", qvtest::read_file(built), 0755);
    }

    qvtest::WizardMedium medium;
};

TEST_F(MainDlgTest, BuildsTheFourSlotsAndTheDestinationPart)
{
    medium.load(kTree);
    Widget box = open_menu(1);
    EXPECT_STREQ(XtName(box), "mbMainDlg");
    EXPECT_STREQ(XtName(XtParent(box)), "dsMainDlg");
    EXPECT_EQ(QV_instGetTLShell(box), mainShell());
    EXPECT_FALSE(XtIsManaged(box_child(box, XmDIALOG_OK_BUTTON)));
    EXPECT_FALSE(XtIsManaged(box_child(box, XmDIALOG_HELP_BUTTON)));
    EXPECT_EQ(label_text(laMainDlg), "To choose the installation you want, click on the following buttons");
    EXPECT_EQ(pbMainDlg1, slot_button(box, 1));
    EXPECT_EQ(laMainDlg1Product, find(box, "*laMainDlg1Product"));
    EXPECT_EQ(laMainDlg1Description, find(box, "*laMainDlg1Description"));
    for (const char *name : {"*rowColumn2", "*rowColumn4", "*rowColumn6", "*rowColumn8", "*frame1", "*rowColumn9"})
        EXPECT_NE(find(box, name), nullptr) << name;

    // The line of each kind of choice: a menu's and a list's title and
    // description, a suite's name and description.
    const std::vector<std::pair<std::string, std::string>> lines = {
        {"More choices", "Nested menu"}, {"Options", "Pick the components"}, {"Main", "The main suite"},
        {"Extra", "Two\nlines"}};
    for (int slot = 1; slot <= 4; ++slot) {
        EXPECT_TRUE(XtIsManaged(slot_row(box, slot))) << slot;
        EXPECT_EQ(product_line(box, slot), lines[slot - 1].first) << slot;
        EXPECT_EQ(description_line(box, slot), lines[slot - 1].second) << slot;
    }

    // The destination part: the root with its slash and the free space.
    EXPECT_EQ(qvtest::text_of(txMainDlgFolder), medium.root() + "/");
    Boolean editable = True;
    XtVaGetValues(txMainDlgFolder, XmNeditable, &editable, nullptr);
    EXPECT_FALSE(editable);
    EXPECT_TRUE(qvtest::matches_ere(label_text(laMainDlgAvailableSpace), " ?[0-9]+\\.[0-9]{2} (KB|MB|GB)"))
        << label_text(laMainDlgAvailableSpace);
    EXPECT_EQ(label_text(find(box, "*pbMainDlgFolder")), "Change Destination");
    char *title = nullptr;
    XtVaGetValues(XtParent(box), XmNtitle, &title, nullptr);
    EXPECT_STREQ(title, "Quorvanta Test setup");
}

TEST_F(MainDlgTest, OnlyTheSlotsOfChildrenAreShown)
{
    struct Row {
        int ids[4];
        std::vector<int> shown;
        const char *instruction;
    };
    const char *choose = "To choose the installation you want, click on the following buttons";
    const char *single = "To start intallation, click the large button";
    const std::vector<Row> rows = {
        {{5, 0, 0, 0}, {1}, single},
        {{5, 6, 0, 0}, {1, 2}, choose},
        {{5, 6, 7, 8}, {1, 2, 3, 4}, choose},
        // An empty slot does not end the list.
        {{5, 0, 7, 0}, {1, 3}, single},
        {{0, 6, 0, 8}, {2, 4}, choose},
        {{5, 6, -1, 8}, {1, 2, 4}, choose},
    };
    medium.load("Package \"core\" \"\"\nSuite \"Main\" core\nConfigBegin\n1 MainDlg \"Top\" \"\" \"\" 5\n"
                "5 Suite \"Main\" \"5\" \"\" 1\n6 Suite \"Main\" \"6\" \"\" 1\n7 Suite \"Main\" \"7\" \"\" 1\n"
                "8 Suite \"Main\" \"8\" \"\" 1\nConfigEnd\n");
    _QV_InstConfigList *top = QV_instGetConfigFromId(CDInstPtr, 1);
    for (const Row &row : rows) {
        std::copy(std::begin(row.ids), std::end(row.ids), top->data.main->children);
        Widget box = open_menu(1);
        std::vector<int> shown;
        for (int slot = 1; slot <= 4; ++slot) {
            if (XtIsManaged(slot_row(box, slot))) {
                shown.push_back(slot);
                EXPECT_EQ(description_line(box, slot), std::to_string(row.ids[slot - 1]));
            }
        }
        EXPECT_EQ(shown, row.shown) << row.ids[0] << row.ids[1] << row.ids[2] << row.ids[3];
        EXPECT_EQ(label_text(find(box, "*laMainDlg")), row.instruction);
        XtDestroyWidget(XtParent(box));
        qvtest::pump(20);
    }
}

TEST_F(MainDlgTest, AChildIdWithoutConfigurationLeavesItsSlotEmpty)
{
    medium.load("Package \"core\" \"\"\nSuite \"Main\" core\nConfigBegin\n1 MainDlg \"Top\" \"\" \"\" 5 9\n"
                "5 Suite \"Main\" \"five\" \"\" 1\nConfigEnd\n");
    qvtest::CaptureFd err(STDERR_FILENO);
    Widget box = open_menu(1);
    EXPECT_EQ(err.finish(), "Error: configuration 9 is not in the setup configuration file\n");
    EXPECT_TRUE(XtIsManaged(slot_row(box, 1)));
    EXPECT_FALSE(XtIsManaged(slot_row(box, 2)));
}

TEST_F(MainDlgTest, ANestedMenuIsOpenedAndCancelClimbsBack)
{
    medium.load(kTree);
    _QV_InstConfigList *top = QV_instGetConfigFromId(CDInstPtr, 1);
    _QV_InstConfigList *nested = QV_instGetConfigFromId(CDInstPtr, 4);
    Widget first = open_menu(1);
    EXPECT_EQ(label_text(box_child(first, XmDIALOG_CANCEL_BUTTON)), "Exit Setup");
    EXPECT_EQ(QV_InstGetLastConfig(), top);

    const qvtest::DestroyWatch firstWatch(first);
    press(slot_button(first, 1));
    qvtest::pump(50);
    EXPECT_TRUE(firstWatch.destroyed());
    Widget second = mbMainDlg;
    ASSERT_NE(second, nullptr);
    ASSERT_TRUE(qvtest::wait_mapped(second));
    EXPECT_EQ(QV_InstGetLastConfig(), nested);
    EXPECT_EQ(nested->parent, top);
    EXPECT_EQ(label_text(box_child(second, XmDIALOG_CANCEL_BUTTON)), "Cancel");
    EXPECT_EQ(product_line(second, 1), "Main");
    EXPECT_EQ(description_line(second, 1), "Inner suite");
    EXPECT_FALSE(XtIsManaged(slot_row(second, 2)));

    const qvtest::DestroyWatch secondWatch(second);
    press_box(second, XmDIALOG_CANCEL_BUTTON);
    qvtest::pump(50);
    EXPECT_TRUE(secondWatch.destroyed());
    Widget third = mbMainDlg;
    ASSERT_NE(third, nullptr);
    ASSERT_TRUE(qvtest::wait_mapped(third));
    EXPECT_EQ(QV_InstGetLastConfig(), top);
    EXPECT_EQ(nested->parent, nullptr) << "the way back is forgotten";
    EXPECT_EQ(label_text(box_child(third, XmDIALOG_CANCEL_BUTTON)), "Exit Setup");
    EXPECT_EQ(product_line(third, 1), "More choices");
    EXPECT_EQ(find("*dsMainDlg"), XtParent(third)) << "one main dialog on screen";
}

TEST_F(MainDlgTest, ExitSetupOnTheFirstMenuAsksAndResumeKeepsIt)
{
    medium.load(kTree);
    Widget box = open_menu(1);
    const qvtest::DestroyWatch boxWatch(box);
    std::string question;
    qvtest::when_found("*mbExitSetup", [&](Widget ask) {
        question = label_text(box_child(ask, XmDIALOG_MESSAGE_LABEL));
        press_box(ask, XmDIALOG_OK_BUTTON); // "Resume Setup"
    });
    press_box(box, XmDIALOG_CANCEL_BUTTON);
    EXPECT_EQ(question, "Are you sure you want to Exit?\nSetup has not yet modified any files");
    ASSERT_FALSE(boxWatch.destroyed());
    EXPECT_EQ(mbMainDlg, box);
    EXPECT_TRUE(XtIsManaged(box));
}

TEST_F(MainDlgTest, MalformedMenusAndCallsEndSetupWithOne)
{
    medium.load(kTree);
    // A kind of configuration that no slot can offer.
    EXPECT_EXIT(
        {
            QV_instGetConfigFromId(CDInstPtr, 6)->type = 7;
            open_menu(1);
            std::exit(3);
        },
        ::testing::ExitedWithCode(1), "^Error: bad configuration file\n$");
    // The install action given a menu, or nothing.
    EXPECT_EXIT(QV_instMainDlgInstallationCB(mainShell(), QV_instGetConfigFromId(CDInstPtr, 4), nullptr),
                ::testing::ExitedWithCode(1), "^Error: can only install suites\n$");
    EXPECT_EXIT(QV_instMainDlgInstallationCB(mainShell(), nullptr, nullptr), ::testing::ExitedWithCode(1),
                "^Error: can only install suites\n$");
}

TEST_F(MainDlgTest, CancelWithoutACurrentConfigurationEndsSetupWithOne)
{
    medium.load(kTree);
    // A fresh process: nothing has been pushed on the config store yet.
    EXPECT_EXIT(
        {
            Widget box = CreatembMainDlg(mainShell());
            QV_instMainDlgExitCB(box, nullptr, nullptr);
            std::exit(3);
        },
        ::testing::ExitedWithCode(1), "");
}

TEST_F(MainDlgTest, ASuitesButtonReachesTheInstallAction)
{
    medium.load(kTree);
    // Already installed and still wanted: the install action finds nothing
    // to do, says so, and leaves the dialog on screen.
    _QV_InstConfigList *suite = QV_instGetConfigFromId(CDInstPtr, 6);
    suite->installed = 1;
    suite->selected = 1;
    for (_QV_InstPackNode *n = suite->data.suite->suite->firstPack; n; n = n->next)
        n->package->installed = 1;
    Widget box = open_menu(1);
    std::string told;
    qvtest::when_found("*mbOkCancel", [&](Widget message) {
        told = label_text(box_child(message, XmDIALOG_MESSAGE_LABEL));
        press_box(message, XmDIALOG_OK_BUTTON);
    });
    const qvtest::DestroyWatch boxWatch(box);
    press(slot_button(box, 3));
    EXPECT_EQ(told, "Nothing to Install/Remove");
    EXPECT_EQ(GetConfigToInstall(), suite);
    ASSERT_FALSE(boxWatch.destroyed());
    EXPECT_TRUE(XtIsManaged(box));
}

TEST_F(MainDlgTest, ChangeDestinationRefreshesTheFolderAndSpace)
{
    medium.load(kTree);
    qvtest::ScratchDir scratch("maindest");
    const std::string folder = scratch / "new place";
    qvtest::make_dirs(folder);
    Widget box = open_menu(1);
    qvtest::when_found("*fsbChangeDestinationSelection", [&](Widget chooser) {
        XmTextFieldSetString(XmFileSelectionBoxGetChild(chooser, XmDIALOG_TEXT), const_cast<char *>(folder.c_str()));
        press(XmFileSelectionBoxGetChild(chooser, XmDIALOG_OK_BUTTON));
    });
    const qvtest::DestroyWatch boxWatch(box);
    press(find(box, "*pbMainDlgFolder"));
    ASSERT_FALSE(boxWatch.destroyed()) << "the dialog is not rebuilt";
    EXPECT_EQ(mbMainDlg, box);
    EXPECT_EQ(qvtest::text_of(txMainDlgFolder), folder + "/");
    EXPECT_TRUE(qvtest::matches_ere(label_text(laMainDlgAvailableSpace), " ?[0-9]+\\.[0-9]{2} (KB|MB|GB)"));
}

TEST_F(MainDlgTest, ChangeDestinationToAnEarlierInstallationOpensMaintenance)
{
    medium.load(kTree);
    qvtest::ScratchDir scratch("mainmaint");
    const std::string folder = scratch / "earlier";
    const std::string dest = folder + "/QvTest/";
    ASSERT_EQ(QV_InitHistoryFile(dest.c_str(), qvtest::kProduct, "1.0"), 0);
    ASSERT_EQ(QV_UpdateHistoryFile(dest.c_str(), CDInstPtr->firstSuite), 0);

    _QV_InstConfigList *before = QV_InstGetLastConfig();
    Widget first = open_menu(1);
    press(slot_button(first, 1)); // down into menu 4
    qvtest::pump(50);
    Widget nested = mbMainDlg;
    ASSERT_TRUE(qvtest::wait_mapped(nested));

    qvtest::when_found("*fsbChangeDestinationSelection", [&](Widget chooser) {
        XmTextFieldSetString(XmFileSelectionBoxGetChild(chooser, XmDIALOG_TEXT), const_cast<char *>(folder.c_str()));
        qvtest::when_found("*mbOkCancel", [](Widget question) { press_box(question, XmDIALOG_OK_BUTTON); });
        press(XmFileSelectionBoxGetChild(chooser, XmDIALOG_OK_BUTTON));
    });
    press(find(nested, "*pbMainDlgFolder"));
    qvtest::pump(50);

    EXPECT_EQ(QV_instInstallationMode, 1);
    EXPECT_EQ(find("*dsMainDlg"), nullptr);
    ASSERT_NE(mbMaintenance, nullptr);
    EXPECT_TRUE(XtIsManaged(mbMaintenance));
    // Menus 4 and 1 were pushed on the way down; both are popped.
    EXPECT_EQ(QV_InstGetLastConfig(), before);
}

// --- pictures ------------------------------------------------------------------

TEST_F(MainDlgTest, ButtonsShowTheirModulesPicturesOrTheDefaultOne)
{
    add_icon_module();
    medium.load("Package \"core\" \"\"\nSuite \"Main\" core\nConfigBegin\n1 MainDlg \"Top\" \"\" \"\" 5 6 7 8\n"
                "5 Suite \"Main\" \"red\" \"test_icons.so,qv_red_xpm\" 1\n"
                "6 Suite \"Main\" \"two colours\" \"test_icons.so,qv_two_colour_xpm\" 1\n"
                "7 Suite \"Main\" \"none\" \"\" 1\n"
                "8 Suite \"Main\" \"with extension\" \"test_icons.so,qv_extension_xpm\" 1\nConfigEnd\n");
    qvtest::CaptureFd err(STDERR_FILENO);
    Widget box = open_menu(1);
    EXPECT_EQ(err.finish(), "");

    const Picture red = read_picture(display(), picture_of(slot_button(box, 1)));
    EXPECT_EQ(red.width, 16u);
    EXPECT_EQ(red.height, 16u);
    EXPECT_EQ(red.count(0xff0000), 256u);

    const Picture two = read_picture(display(), picture_of(slot_button(box, 2)));
    ASSERT_EQ(two.width, 4u);
    EXPECT_EQ(two.at(0, 0), 0x0000ffu);
    EXPECT_EQ(two.at(1, 1), 0x0000ffu);
    EXPECT_EQ(two.at(2, 0), 0x00ff00u);
    EXPECT_EQ(two.at(3, 1), 0x00ff00u);

    // No icon: the built-in picture, black lines on white.
    const Picture plain = read_picture(display(), picture_of(slot_button(box, 3)));
    EXPECT_EQ(plain.width, 64u);
    EXPECT_EQ(plain.height, 64u);
    EXPECT_GT(plain.count(0x000000), 64u);
    EXPECT_EQ(plain.count(0x000000) + plain.count(0xffffff), 64u * 64u);
    EXPECT_GT(plain.count(0xffffff), plain.count(0x000000));

    EXPECT_EQ(read_picture(display(), picture_of(slot_button(box, 4))).count(0xff0000), 1u);
    EXPECT_GT(qvtest::image_colours(qvtest::screenshot("main_dialog_pictures")), 4);
}

TEST_F(MainDlgTest, ABrokenIconModuleLeavesTheButtonWithoutItsPictureAndSetupGoesOn)
{
    add_icon_module();
    qvtest::write_file(medium.dir() + "/SetupFiles/not_a_module.so", "this is text, not a shared object\n", 0755);
    medium.load(kTree);
    const std::string setupFiles = medium.dir() + "/SetupFiles/";
    const std::string mod = setupFiles + "test_icons.so";
    const std::string invalid = "' in '" + mod + "' is not valid XPM data\n";
    struct Row {
        const char *module, *symbol;
        std::string error;
        bool keepsDefault; // else: no picture at all
    };
    const std::vector<Row> rows = {
        {"missing.so", "qv_red_xpm", "can't locate '" + setupFiles + "missing.so'\n", true},
        {"not_a_module.so", "qv_red_xpm", "can't locate '" + setupFiles + "not_a_module.so'\n", true},
        {"test_icons.so", "qv_no_such_xpm", "'qv_no_such_xpm' not in '" + mod + "'\n", true},
        {"test_icons.so", "qv_short_array_xpm", "'qv_short_array_xpm" + invalid, false},
        {"test_icons.so", "qv_short_rows_xpm", "'qv_short_rows_xpm" + invalid, false},
        {"test_icons.so", "qv_short_colour_xpm", "'qv_short_colour_xpm" + invalid, false},
        {"test_icons.so", "qv_bad_header_xpm", "'qv_bad_header_xpm" + invalid, false},
        {"test_icons.so", "qv_null_row_xpm", "'qv_null_row_xpm" + invalid, false},
        {"test_icons.so", "qv_unended_extension_xpm", "'qv_unended_extension_xpm" + invalid, false},
        {"test_icons.so", "qv_not_an_array", "'qv_not_an_array" + invalid, false},
    };
    Widget box = open_menu(1);
    const Pixmap builtIn = picture_of(slot_button(box, 3));
    for (const Row &row : rows) {
        _QV_InstIcon icon{const_cast<char *>(row.module), const_cast<char *>(row.symbol)};
        Widget button = slot_button(box, 1);
        XtVaSetValues(button, XmNlabelPixmap, builtIn, nullptr);
        qvtest::CaptureFd err(STDERR_FILENO);
        QV_instSetPixmapOnWidget(button, &icon);
        EXPECT_EQ(err.finish(), "Error: QV_instSetPixmapOnWidget, " + row.error) << row.symbol;
        EXPECT_EQ(picture_of(button), row.keepsDefault ? builtIn : XmUNSPECIFIED_PIXMAP) << row.symbol;
    }
    // Incomplete icon records change nothing and say nothing.
    qvtest::CaptureFd err(STDERR_FILENO);
    _QV_InstIcon noSymbol{const_cast<char *>("test_icons.so"), nullptr};
    QV_instSetPixmapOnWidget(slot_button(box, 2), &noSymbol);
    QV_instSetPixmapOnWidget(slot_button(box, 2), nullptr);
    QV_instSetPixmapOnWidget(nullptr, &noSymbol);
    EXPECT_EQ(err.finish(), "");
    EXPECT_EQ(picture_of(slot_button(box, 2)), builtIn);

    // The dialog still works.
    qvtest::pump(50);
    EXPECT_TRUE(XtIsManaged(box));
}

TEST_F(MainDlgTest, TheDemoMediumsMenusShowTheirPictures)
{
    const std::string demo = qvtest::harness("QV_DEMO_MEDIUM");
    if (CDInstPtr)
        QV_instFreeCDinst(CDInstPtr);
    CDInstPtr = QV_instReadCDinst((demo + "/cdinst.dat").c_str(), nullptr);
    ASSERT_NE(CDInstPtr, nullptr);
    ASSERT_EQ(QV_instSetCdinstDirectory(demo.c_str()), 0);
    free(CDInstPtr->rootDest);
    CDInstPtr->rootDest = strdup(medium.root().c_str());

    qvtest::CaptureFd err(STDERR_FILENO);
    Widget box = open_menu(1);
    const Pixmap builtIn = XmUNSPECIFIED_PIXMAP;
    int pictures = 0;
    for (int slot = 1; slot <= 4; ++slot) {
        if (!XtIsManaged(slot_row(box, slot)))
            continue;
        const Picture p = read_picture(display(), picture_of(slot_button(box, slot)));
        EXPECT_NE(picture_of(slot_button(box, slot)), builtIn);
        EXPECT_EQ(p.width, 48u) << "slot " << slot << " shows the built-in picture";
        ++pictures;
    }
    EXPECT_GE(pictures, 3);
    EXPECT_GT(qvtest::image_colours(qvtest::screenshot("main_dialog_demo")), 4);

    // The nested menu of the demo: three suites, the third one's picture
    // from a module of its own.
    press(slot_button(box, 3));
    qvtest::pump(50);
    ASSERT_TRUE(qvtest::wait_mapped(mbMainDlg));
    EXPECT_EQ(label_text(box_child(mbMainDlg, XmDIALOG_CANCEL_BUTTON)), "Cancel");
    for (int slot = 1; slot <= 3; ++slot)
        EXPECT_EQ(read_picture(display(), picture_of(slot_button(mbMainDlg, slot))).width, 48u) << slot;
    EXPECT_EQ(product_line(mbMainDlg, 3), "Samples");
    EXPECT_GT(qvtest::image_colours(qvtest::screenshot("main_dialog_demo_nested")), 4);
    EXPECT_EQ(err.finish(), "");
}

} // namespace
