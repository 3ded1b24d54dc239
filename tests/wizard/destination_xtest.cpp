// The destination dialog and its folder chooser on a real display: what the
// dialog shows, the folders the chooser takes, makes or refuses, the switch
// to maintenance when a folder holds an earlier installation, and the step
// on to the main dialog.
#include "support/xfixture.h"

#include <sys/stat.h>
#include <unistd.h>

#include <Xm/FileSB.h>
#include <Xm/MessageB.h>
#include <Xm/TextF.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "engine/util.h"
#include "support/capture.h"
#include "wizard/glue.h"
#include "wizard_medium.h"

namespace {

using qvtest::box_child;
using qvtest::find;
using qvtest::label_text;
using qvtest::press;
using qvtest::press_box;
using qvtest::text_of;
using qvtest::window_title;

std::string root()
{
    return CDInstPtr && CDInstPtr->rootDest ? CDInstPtr->rootDest : "<none>";
}

Widget chooser()
{
    return find("*fsbChangeDestinationSelection");
}

// Once the chooser is up: types text into its selection field, schedules
// next (what the press will lead to, a question perhaps) and presses OK.
void choose(const std::string &text, std::function<void()> next = {})
{
    qvtest::when_found("*fsbChangeDestinationSelection", [text, next](Widget box) {
        XmTextFieldSetString(XmFileSelectionBoxGetChild(box, XmDIALOG_TEXT), const_cast<char *>(text.c_str()));
        if (next)
            next();
        press(XmFileSelectionBoxGetChild(box, XmDIALOG_OK_BUTTON));
    });
}

// Once a message box is up: records its text and presses its first
// (answer 0) or second button; next runs once the chooser's OK callback
// that asked is over.
void answer(std::string *text, int button, std::function<void()> next = {})
{
    qvtest::when_found("*mbOkCancel", [text, button, next](Widget box) {
        *text = label_text(box_child(box, XmDIALOG_MESSAGE_LABEL));
        press_box(box, button == 0 ? XmDIALOG_OK_BUTTON : XmDIALOG_CANCEL_BUTTON);
        if (next)
            qvtest::after(50, next);
    });
}

class DestinationTest : public qvtest::XTest {
protected:
    void SetUp() override
    {
        XTest::SetUp();
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        umask(022);
        QV_instInstallationMode = 0;
        medium.load_simple();
    }
    void TearDown() override
    {
        QV_instInstallationMode = 0;
        XTest::TearDown();
    }

    // The destination dialog, managed and mapped.
    Widget open_dialog()
    {
        Widget box = CreatembChangeDestination(mainShell());
        XtManageChild(box);
        EXPECT_TRUE(qvtest::wait_mapped(box));
        return box;
    }

    // An earlier installation of the test product below folder.
    void install_history(const std::string &folder)
    {
        char *saved = CDInstPtr->rootDest;
        CDInstPtr->rootDest = const_cast<char *>(folder.c_str());
        const std::string dest = QV_instGetDestinationDirectory();
        CDInstPtr->rootDest = saved;
        ASSERT_EQ(QV_InitHistoryFile(dest.c_str(), qvtest::kProduct, "1.0"), 0);
        ASSERT_EQ(QV_UpdateHistoryFile(dest.c_str(), CDInstPtr->firstSuite), 0);
    }

    qvtest::WizardMedium medium;
    qvtest::ScratchDir scratch{"dest"};
};

TEST_F(DestinationTest, ShowsTheRootDestinationAndTheFreeSpaceBelowIt)
{
    qvtest::make_dirs(medium.root());
    Widget box = open_dialog();
    EXPECT_STREQ(XtName(box), "mbChangeDestination");
    EXPECT_STREQ(XtName(XtParent(box)), "dsChangeDestination");
    EXPECT_EQ(window_title(box), "Quorvanta Test setup");
    EXPECT_FALSE(XtIsManaged(box_child(box, XmDIALOG_HELP_BUTTON)));
    EXPECT_EQ(label_text(box_child(box, XmDIALOG_OK_BUTTON)), "OK");
    EXPECT_EQ(label_text(box_child(box, XmDIALOG_CANCEL_BUTTON)), "Exit Setup");

    EXPECT_EQ(label_text(find(box, "*label")),
              "Setup will install the program in the following destination directory.\n\n"
              "To install to this directory, click OK.\n\n"
              "To install to a different directory, click the Change Destination button.\n\n"
              "You can choose not to install, or change the destination directory later during setup.");
    EXPECT_EQ(label_text(find(box, "*label2")),
              "If this is a network installation,\nplease type the network path (/MountPoint/Quorvanta)");
    EXPECT_EQ(label_text(find(box, "*label1")), "Available space: ");
    EXPECT_EQ(label_text(find(box, "*pushButton")), "Change Destination");

    EXPECT_EQ(text_of(tfChangeDestination), medium.root() + "/");
    Boolean editable = True;
    XtVaGetValues(tfChangeDestination, XmNeditable, &editable, nullptr);
    EXPECT_FALSE(editable) << "the destination changes only through the chooser";
    EXPECT_TRUE(qvtest::matches_ere(label_text(laChangeDestinationAvailableSpace), " ?[0-9]+\\.[0-9]{2} (KB|MB|GB)"))
        << label_text(laChangeDestinationAvailableSpace);

    EXPECT_GT(qvtest::image_colours(qvtest::screenshot("destination_dialog")), 2);
}

TEST_F(DestinationTest, TheFreeSpaceIsLeftEmptyWithoutADestination)
{
    // No root: there is no destination whose partition could be measured
    // (the current directory's would be the wrong one).
    free(CDInstPtr->rootDest);
    CDInstPtr->rootDest = strdup("");
    open_dialog();
    EXPECT_EQ(label_text(laChangeDestinationAvailableSpace), "");
    EXPECT_EQ(text_of(tfChangeDestination), "");
}

TEST_F(DestinationTest, TheChooserOpensInTheWorkingDirectoryWhenTheRootIsMissing)
{
    char cwd[PATH_MAX];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    std::string mask, field, listLabel;
    unsigned char style = 0;
    bool helpShown = true;
    std::string title;
    qvtest::when_found("*fsbChangeDestinationSelection", [&](Widget box) {
        XmString dirMask = nullptr, label = nullptr;
        XtVaGetValues(box, XmNdirMask, &dirMask, XmNfileListLabelString, &label, XmNdialogStyle, &style, nullptr);
        mask = qvtest::xmstring_text(dirMask);
        listLabel = qvtest::xmstring_text(label);
        XmStringFree(dirMask);
        XmStringFree(label);
        field = text_of(XmFileSelectionBoxGetChild(box, XmDIALOG_TEXT));
        helpShown = XtIsManaged(XmFileSelectionBoxGetChild(box, XmDIALOG_HELP_BUTTON));
        title = window_title(box);
        qvtest::screenshot("destination_chooser");
        press(XmFileSelectionBoxGetChild(box, XmDIALOG_CANCEL_BUTTON));
    });
    QV_instChangeDestination(XtParent(open_dialog()));

    EXPECT_EQ(mask, std::string(cwd) + "/*");
    EXPECT_EQ(field, medium.root() + "/") << "the field shows the root destination even when it is missing";
    EXPECT_EQ(listLabel, "Destination");
    EXPECT_EQ(style, XmDIALOG_FULL_APPLICATION_MODAL);
    EXPECT_FALSE(helpShown);
    EXPECT_EQ(title, "Quorvanta Test setup");
    EXPECT_EQ(chooser(), nullptr) << "the chooser is gone once it returns";
    EXPECT_EQ(root(), medium.root()) << "Cancel keeps the root destination";
}

TEST_F(DestinationTest, TheChooserOpensInAnExistingRoot)
{
    qvtest::make_dirs(medium.root());
    qvtest::make_dirs(scratch / "other/a-rather-long-folder-name-here");
    std::string mask;
    Dimension listWidth = 0, needed = 0, boxWidth = 0;
    qvtest::when_found("*fsbChangeDestinationSelection", [&](Widget box) {
        XmString dirMask = nullptr;
        XtVaGetValues(box, XmNdirMask, &dirMask, nullptr);
        mask = qvtest::xmstring_text(dirMask);
        XmStringFree(dirMask);
        // From a folder that holds only "." and ".." to one with a long name.
        XmString other = XmStringCreateLocalized(const_cast<char *>((scratch / "other/*").c_str()));
        XmFileSelectionDoSearch(box, other);
        XmRenderTable fonts = nullptr;
        Dimension margin = 0, highlight = 0, shadow = 0;
        XtVaGetValues(XmFileSelectionBoxGetChild(box, XmDIALOG_LIST), XmNwidth, &listWidth, XmNrenderTable, &fonts,
                      XmNlistMarginWidth, &margin, XmNhighlightThickness, &highlight, XmNshadowThickness, &shadow,
                      nullptr);
        XmString name = XmStringCreateLocalized(const_cast<char *>("a-rather-long-folder-name-here"));
        needed = static_cast<Dimension>(XmStringWidth(fonts, name) + 2 * (margin + highlight + shadow));
        XmStringFree(name);
        XmStringFree(other);
        XtVaGetValues(box, XmNwidth, &boxWidth, nullptr);
        press(XmFileSelectionBoxGetChild(box, XmDIALOG_CANCEL_BUTTON));
    });
    QV_instChangeDestination(mainShell());
    EXPECT_EQ(mask, medium.root() + "/*") << "repeated slashes are collapsed";
    EXPECT_GE(listWidth, needed) << "the folder names show whole";
    EXPECT_EQ(boxWidth, 500);
}

TEST_F(DestinationTest, AnExistingFolderBecomesTheRootAndTheDialogShowsIt)
{
    const std::string folder = scratch / "other place";
    qvtest::make_dirs(folder);
    Widget box = open_dialog();
    choose(folder);
    press(find(box, "*pushButton"));

    EXPECT_EQ(root(), folder);
    EXPECT_EQ(chooser(), nullptr);
    EXPECT_EQ(QV_instInstallationMode, 0);
    EXPECT_TRUE(XtIsManaged(box)) << "the destination dialog stays";
    EXPECT_EQ(text_of(tfChangeDestination), folder + "/");
    EXPECT_TRUE(qvtest::matches_ere(label_text(laChangeDestinationAvailableSpace), " ?[0-9]+\\.[0-9]{2} (KB|MB|GB)"));
}

TEST_F(DestinationTest, AMissingFolderIsMadeWithItsParentsWhenTheUserSaysYes)
{
    const std::string folder = scratch / "new/with blank/and 'quote'";
    std::string question;
    choose(folder);
    answer(&question, 0);
    QV_instChangeDestination(mainShell());

    EXPECT_EQ(question, "The destination folder:\n'" + folder + "'\ndoes not exist. Do you want to create it?");
    EXPECT_EQ(root(), folder);
    for (const std::string &dir : {scratch / "new", scratch / "new/with blank", folder}) {
        struct stat st;
        ASSERT_EQ(stat(dir.c_str(), &st), 0) << dir;
        EXPECT_TRUE(S_ISDIR(st.st_mode)) << dir;
        EXPECT_EQ(st.st_mode & 07777, 0755u) << dir;
    }
}

TEST_F(DestinationTest, NoToMakingAFolderKeepsTheChooserAndTheRoot)
{
    const std::string folder = scratch / "not made";
    std::string question;
    bool chooserStayed = false;
    choose(folder, [&] {
        answer(&question, 1, [&] {
            qvtest::when_found("*fsbChangeDestinationSelection", [&](Widget box) {
                chooserStayed = true;
                EXPECT_EQ(root(), medium.root());
                press(XmFileSelectionBoxGetChild(box, XmDIALOG_CANCEL_BUTTON));
            });
        });
    });
    QV_instChangeDestination(mainShell());

    EXPECT_NE(question.find("does not exist"), std::string::npos) << question;
    EXPECT_TRUE(chooserStayed);
    EXPECT_FALSE(qvtest::exists(folder));
    EXPECT_EQ(root(), medium.root());
}

TEST_F(DestinationTest, ARelativeNameIsTakenFromTheWorkingDirectory)
{
    char cwd[PATH_MAX];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    qvtest::make_dirs(scratch / "here/sub dir");
    ASSERT_EQ(chdir((scratch / "here").c_str()), 0);
    choose("sub dir");
    QV_instChangeDestination(mainShell());
    ASSERT_EQ(chdir(cwd), 0);
    EXPECT_EQ(root(), scratch / "here/sub dir");
}

TEST_F(DestinationTest, FoldersThatCannotHoldTheProductAreRefused)
{
    qvtest::write_file(scratch / "plain file", "x");
    struct Refused {
        std::string typed;
        std::string message;
    };
    const std::string tooLong = "/" + std::string(QV_PATH_MAX, 'd');
    // Leaves room for nothing but "/QvTest/" short of the limit.
    const std::string noRoomForProduct = scratch.path() + "/" + std::string(QV_PATH_MAX - scratch.path().size() - 4, 'e');
    std::vector<Refused> cases = {
        {scratch / "plain file", "The destination folder:\n'" + scratch / "plain file" + "'\nis not a directory."},
        {tooLong, "The destination folder path is too long.\nPlease choose a folder with a shorter path."},
        {noRoomForProduct, "The destination folder path is too long.\nPlease choose a folder with a shorter path."},
        {scratch / "a\nb", "The destination folder path contains a line break.\nPlease choose another folder."},
    };
    if (geteuid() == 0) {
        // As root: a folder everyone may write to, where another user made
        // the product folder first.
        const std::string shared = scratch / "shared";
        qvtest::make_dirs(shared + "/QvTest");
        ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
        ASSERT_EQ(chown((shared + "/QvTest").c_str(), 65534, 65534), 0);
        cases.push_back({shared, "Setup runs as root and will not use " + shared +
                                     ", a folder writable by group root (gid 0) and by others (mode 1777):\nchoose a "
                                     "folder only root may write to, or run setup with -noroot"});
    }
    for (const Refused &c : cases) {
        std::string message;
        bool chooserStayed = false;
        choose(c.typed, [&] {
            answer(&message, 0, [&] {
                qvtest::when_found("*fsbChangeDestinationSelection", [&](Widget box) {
                    chooserStayed = true;
                    press(XmFileSelectionBoxGetChild(box, XmDIALOG_CANCEL_BUTTON));
                });
            });
        });
        QV_instChangeDestination(mainShell());
        EXPECT_EQ(message, c.message) << c.typed.substr(0, 80);
        EXPECT_TRUE(chooserStayed) << c.typed.substr(0, 80);
        EXPECT_EQ(root(), medium.root()) << c.typed.substr(0, 80);
    }
    EXPECT_FALSE(qvtest::exists(scratch / "a\nb"));
}

TEST_F(DestinationTest, AnEarlierInstallationOffersMaintenanceAndNoKeepsTheNewRoot)
{
    const std::string folder = scratch / "installed before";
    qvtest::make_dirs(folder);
    install_history(folder);

    std::string first, second;
    bool rootInForce = false;
    choose(folder, [&] {
        answer(&first, 1, [&] {
            // "No": the chooser stays, the new root is already in force.
            qvtest::when_found("*fsbChangeDestinationSelection", [&](Widget) {
                rootInForce = root() == folder;
                EXPECT_EQ(QV_instInstallationMode, 0);
                choose(folder, [&] { answer(&second, 0); });
            });
        });
    });
    QV_instChangeDestination(mainShell());

    EXPECT_EQ(first, "Previous installation found.\nDo you want to run setup in maintenance mode ?");
    EXPECT_EQ(second, first);
    EXPECT_TRUE(rootInForce);
    EXPECT_EQ(QV_instInstallationMode, 1);
    EXPECT_EQ(chooser(), nullptr);
    EXPECT_EQ(root(), folder);
}

TEST_F(DestinationTest, MaintenanceReplacesTheDestinationDialog)
{
    const std::string folder = scratch / "installed";
    qvtest::make_dirs(folder);
    install_history(folder);
    std::string question;
    Widget box = open_dialog();
    choose(folder, [&] { answer(&question, 0); });
    press(find(box, "*pushButton"));
    qvtest::pump(50);

    EXPECT_EQ(QV_instInstallationMode, 1);
    EXPECT_EQ(find("*dsChangeDestination"), nullptr);
    ASSERT_NE(mbMaintenance, nullptr);
    EXPECT_TRUE(XtIsManaged(mbMaintenance));
    EXPECT_EQ(QV_instGetTLShell(mbMaintenance), mainShell());
}

TEST_F(DestinationTest, OKGoesOnToTheMainDialogOfConfigurationOne)
{
    _QV_InstConfigList *first = QV_instGetConfigFromId(CDInstPtr, 1);
    ASSERT_NE(first, nullptr);
    first->parent = QV_instGetConfigFromId(CDInstPtr, 3); // left over from some earlier way
    Widget box = open_dialog();
    press_box(box, XmDIALOG_OK_BUTTON);
    qvtest::pump(50);

    EXPECT_EQ(find("*dsChangeDestination"), nullptr);
    ASSERT_NE(mbMainDlg, nullptr);
    EXPECT_TRUE(XtIsManaged(mbMainDlg));
    EXPECT_EQ(QV_instGetTLShell(mbMainDlg), mainShell());
    EXPECT_EQ(first->parent, nullptr);
    EXPECT_EQ(QV_InstGetLastConfig(), first);
    EXPECT_EQ(label_text(box_child(mbMainDlg, XmDIALOG_CANCEL_BUTTON)), "Exit Setup");
}

TEST_F(DestinationTest, OKWithoutConfigurationOneEndsSetupWithOne)
{
    medium.load("Package \"core\" \"\"\nSuite \"Main\" core\nConfigBegin\n2 MainDlg \"Other\" \"\" \"\" 3\n"
                "3 Suite \"Main\" \"\" \"\" 1\nConfigEnd\n");
    EXPECT_EXIT(
        {
            qvtest::when_found("*mbOkCancel", [](Widget question) {
                std::fprintf(stderr, "[%s][%s][%d]\n",
                             label_text(box_child(question, XmDIALOG_MESSAGE_LABEL)).c_str(),
                             label_text(box_child(question, XmDIALOG_OK_BUTTON)).c_str(),
                             XtIsManaged(box_child(question, XmDIALOG_CANCEL_BUTTON)));
                press_box(question, XmDIALOG_OK_BUTTON);
            });
            press_box(open_dialog(), XmDIALOG_OK_BUTTON);
            std::fputs("still running\n", stderr);
            std::exit(3);
        },
        ::testing::ExitedWithCode(1),
        "\\[Error: invalid or incomplete setup configuration file\\]\\[Exit Setup\\]\\[0\\]");
}

} // namespace
