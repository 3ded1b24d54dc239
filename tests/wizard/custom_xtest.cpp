// The custom options dialog on a real display: the rows made from an
// options list, sizes, the description and "Change Option", toggles with
// their counters and required space, "Select All", and the ways out
// (Continue and Cancel). Ways that end setup run in a fresh copy of the
// test process (death tests).
#include "options_fixture.h"

#include <sys/statvfs.h>

#include <X11/IntrinsicP.h>
#include <Xm/ToggleB.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using qvtest::box_child;
using qvtest::find;
using qvtest::label_text;
using qvtest::press;
using qvtest::press_box;

// Four suites (one essential, one hidden) in two options lists that share
// them, and a sub-group.
constexpr const char kDescription[] = "Package \"core\" \"core\"\nCopy \"files/core.bin\" \"\" 10000 0644 0 0\n"
                                      "Package \"docs\" \"docs\"\nCopy \"files/docs.bin\" \"\" 50000 0644 0 0\n"
                                      "Package \"extra\" \"extra\"\nCopy \"files/extra.bin\" \"\" 300000 0644 0 0\n"
                                      "Package \"secret\" \"secret\"\nMkdir \"secret\" 0755 0 0\n"
                                      "Suite \"Core\" core Vital\n"
                                      "Suite \"Docs\" docs\n"
                                      "Suite \"Extra\" extra\n"
                                      "Suite \"Secret\" secret Hidden\n"
                                      "ConfigBegin\n"
                                      "1 MainDlg \"Top\" \"Everything\" \"\" 2 3\n"
                                      "2 CusDlg \"Maintain\" \"What is installed\" \"\" 1 10 11 12 13\n"
                                      "3 CusDlg \"Custom\" \"Choose what to install\" \"\" 1 10 11 12 13\n"
                                      "10 Suite \"Core\" \"The program itself\" \"\" 1\n"
                                      "11 Suite \"Docs\" \"The manual\" \"\" 1\n"
                                      "12 CusDlg \"Extras\" \"Optional extras\" \"\" 1 20 21\n"
                                      "13 Suite \"Secret\" \"Hidden helper\" \"\" 1\n"
                                      "20 Suite \"Extra\" \"Extra files\" \"\" 1\n"
                                      "21 CusDlg \"Deeper\" \"A list inside the extras\" \"\" 1 30\n"
                                      "30 Suite \"Extra\" \"Extra files again\" \"\" 1\n"
                                      "ConfigEnd\n";

struct Row {
    bool set;
    std::string name;
    bool nameSensitive;
    std::string size;
};

Widget row_part(Widget row, const char *name)
{
    return XtNameToWidget(row, name);
}

std::vector<Widget> row_widgets()
{
    WidgetList children = nullptr;
    Cardinal count = 0;
    XtVaGetValues(rcCustomOptions, XmNchildren, &children, XmNnumChildren, &count, nullptr);
    std::vector<Widget> rows;
    for (Cardinal i = 0; i < count; ++i) {
        if (!children[i]->core.being_destroyed)
            rows.push_back(children[i]);
    }
    return rows;
}

std::vector<Row> rows()
{
    std::vector<Row> out;
    for (Widget row : row_widgets()) {
        Widget name = row_part(row, "laCustomItemName");
        out.push_back({XmToggleButtonGetState(row_part(row, "tbCustomItem")) == True, label_text(name),
                       XtIsSensitive(name) == True, label_text(row_part(row, "laCustomItemSize"))});
    }
    return out;
}

Widget row_named(const std::string &name)
{
    for (Widget row : row_widgets()) {
        if (label_text(row_part(row, "laCustomItemName")) == name)
            return row;
    }
    ADD_FAILURE() << "no row " << name;
    return nullptr;
}

// Sets or clears a row's toggle the way a click does.
void toggle(const std::string &name, bool set)
{
    Widget row = row_named(name);
    ASSERT_NE(row, nullptr);
    XmToggleButtonSetState(row_part(row, "tbCustomItem"), set ? True : False, True);
}

// Gives a row the keyboard focus (its focus callback).
void focus(const std::string &name)
{
    Widget row = row_named(name);
    ASSERT_NE(row, nullptr);
    XmAnyCallbackStruct data{XmCR_FOCUS, nullptr};
    XtCallCallbacks(row, XmNfocusCallback, &data);
}

std::string size_text(int64_t bytes)
{
    char text[QV_SIZE_STRING_MAX];
    QV_instFormatSizeString(bytes, text);
    return text;
}

class CustomTest : public qvtest::OptionsFixture {
protected:
    void SetUp() override
    {
        XTest::SetUp();
        start(kDescription);
        if (HasFatalFailure())
            return;
        struct statvfs fs;
        ASSERT_EQ(statvfs(medium.dir().c_str(), &fs), 0);
        block = static_cast<int64_t>(fs.f_bsize);
    }

    _QV_InstSuiteList *suite(const char *name) { return QV_instGetSuiteFromName(CDInstPtr, name); }
    // What a file of this size takes on the destination's partition.
    int64_t blocks(int64_t bytes) const { return (bytes + block - 1) / block * block; }

    // What the history reader leaves for an installation of these suites,
    // and what "Add/Remove..." then does before it opens list 2.
    void maintain(std::initializer_list<const char *> suites)
    {
        QV_instResetAllConfig(CDInstPtr, config(2), QV_instStateOff);
        for (const char *name : suites) {
            suite(name)->installed = 1;
            UpdateInstalledFlag(CDInstPtr, config(2), suite(name), 1);
        }
        for (int32_t id : config(2)->data.cus->children) {
            if (id < 1)
                break;
            config(id)->selected = config(id)->installed;
        }
        mbMaintenance = XtVaCreateWidget("mbMaintenanceMark", xmMessageBoxWidgetClass, mainShell(), nullptr);
        QV_instInstallationMode = 1;
    }

    // The options dialog for list, opened from the configuration current now.
    Widget open(int id)
    {
        QV_instConfigureCustomDlgCB(nullptr, config(id), nullptr);
        EXPECT_TRUE(qvtest::wait_mapped(mbCustom));
        return mbCustom;
    }

    std::string adds() const { return label_text(laCustomRequiredValue1); }
    std::string removes() const { return label_text(laCustomAvailableValue1); }

    int64_t block = 4096;
};

TEST_F(CustomTest, ListsTheComponentsWithTheirSizesAndDescribesTheFirst)
{
    QV_instSetLastDlg(config(1));
    Widget box = open(3);
    EXPECT_STREQ(XtName(XtParent(box)), "dsCustomDlg");
    EXPECT_EQ(QV_instGetTLShell(box), mainShell());
    EXPECT_EQ(config(3)->parent, config(1));
    EXPECT_EQ(QV_InstGetLastConfig(), config(3));

    // The hidden suite has no row; each size is what the component takes
    // (for the sub-group: its chosen components, Extra counted once).
    const std::vector<Row> expected = {
        {true, "Core", true, size_text(blocks(10000))},
        {true, "Docs", true, size_text(blocks(50000))},
        {true, "Extras", true, size_text(blocks(300000))},
    };
    const std::vector<Row> shown = rows();
    ASSERT_EQ(shown.size(), expected.size());
    for (size_t i = 0; i < shown.size(); ++i) {
        EXPECT_EQ(shown[i].set, expected[i].set) << i;
        EXPECT_EQ(shown[i].name, expected[i].name) << i;
        EXPECT_EQ(shown[i].nameSensitive, expected[i].nameSensitive) << i;
        EXPECT_EQ(shown[i].size, expected[i].size) << i;
    }

    EXPECT_EQ(label_text(laCustomDescriptionItem), "The program itself");
    EXPECT_TRUE(XtIsManaged(pbCustomChangeOption)) << "a sub-group is listed";
    EXPECT_FALSE(XtIsSensitive(pbCustomChangeOption)) << "the described component is a suite";
    EXPECT_EQ(label_text(box_child(box, XmDIALOG_OK_BUTTON)), "Continue");
    EXPECT_EQ(label_text(box_child(box, XmDIALOG_CANCEL_BUTTON)), "Cancel");
    EXPECT_FALSE(XtIsManaged(box_child(box, XmDIALOG_HELP_BUTTON)));
    EXPECT_FALSE(XtIsManaged(foCustomComponentCount)) << "no counters outside maintenance";
    EXPECT_EQ(label_text(laCustomFolderPath), medium.root() + "/");
    char *title = nullptr;
    XtVaGetValues(XtParent(box), XmNtitle, &title, nullptr);
    EXPECT_STREQ(title, "Quorvanta Test setup");

    // Required: everything chosen below the list, the hidden helper's
    // directory included; available: the destination's partition.
    EXPECT_EQ(label_text(laCustomRequiredValue),
              size_text(blocks(10000) + blocks(50000) + blocks(300000) + blocks(1)));
    // Other tests write on the same partition meanwhile: the figure may
    // have moved since the dialog was filled, its unit has not.
    char available[QV_SIZE_STRING_MAX] = "";
    QV_instGetFreeSpaceString(QV_instGetDestinationDirectory(), available);
    const std::string space = label_text(laCustomAvailableValue);
    EXPECT_TRUE(qvtest::matches_ere(space, " ?[0-9]+\\.[0-9]{2} (KB|MB|GB)")) << space;
    EXPECT_EQ(space.substr(space.size() - 2), std::string(available).substr(std::strlen(available) - 2)) << space;

    focus("Extras");
    EXPECT_EQ(label_text(laCustomDescriptionItem), "Optional extras");
    EXPECT_TRUE(XtIsSensitive(pbCustomChangeOption));
    EXPECT_GT(qvtest::image_colours(qvtest::screenshot("custom_dialog")), 2);
}

TEST_F(CustomTest, AHiddenFirstComponentIsDescribedWithoutARow)
{
    medium.load("Package \"p\" \"p\"\nMkdir \"d\" 0755 0 0\n"
                "Suite \"Helper\" p Hidden\nSuite \"Shown\" p\nSuite \"Other\" p\n"
                "ConfigBegin\n1 MainDlg \"Top\" \"\" \"\" 2\n"
                "2 CusDlg \"List\" \"\" \"\" 1 3 9 4 5 6\n"
                "3 Suite \"Helper\" \"Helps quietly\" \"\" 1\n"
                "4 Suite \"Shown\" \"A shown suite\" \"\" 1\n"
                "5 MainDlg \"Menu\" \"Not a component\" \"\" 6\n"
                "6 Suite \"Other\" \"Another suite\" \"\" 0\n"
                "ConfigEnd\n");
    ASSERT_EQ(QV_instSetSizes(CDInstPtr), 0);
    open(2);
    // No row for the hidden suite, the id that names nothing, nor the menu.
    const std::vector<Row> shown = rows();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].name, "Shown");
    EXPECT_EQ(shown[1].name, "Other");
    EXPECT_FALSE(shown[1].set);
    EXPECT_EQ(label_text(laCustomDescriptionItem), "Helps quietly");
    EXPECT_FALSE(XtIsManaged(pbCustomChangeOption)) << "only suites are listed";
    EXPECT_EQ(label_text(laCustomRequiredValue), "Unknown") << "a list naming a menu cannot be sized";
}

TEST_F(CustomTest, ChangeOptionNeverOpensARowOfTheListShownBefore)
{
    medium.load("Package \"p\" \"p\"\nMkdir \"d\" 0755 0 0\nSuite \"S\" p\n"
                "ConfigBegin\n1 MainDlg \"Top\" \"\" \"\" 2\n"
                "2 CusDlg \"Outer\" \"\" \"\" 1 9 3\n"
                "3 CusDlg \"Inner\" \"\" \"\" 1 4\n"
                "4 CusDlg \"Innermost\" \"\" \"\" 1 5\n"
                "5 Suite \"S\" \"\" \"\" 1\n"
                "ConfigEnd\n");
    ASSERT_EQ(QV_instSetSizes(CDInstPtr), 0);
    open(3);
    EXPECT_TRUE(XtIsSensitive(pbCustomChangeOption)) << "Innermost is described";

    // List 2 begins with an id that names nothing: no row is described.
    QV_instUISetCustomDlg(config(2));
    EXPECT_TRUE(XtIsManaged(pbCustomChangeOption)) << "Inner is a list";
    EXPECT_FALSE(XtIsSensitive(pbCustomChangeOption));
    press(pbCustomChangeOption);
    EXPECT_EQ(QV_InstGetLastConfig(), config(2));
    EXPECT_EQ(config(4)->parent, config(3)) << "as the reader left it";
}

TEST_F(CustomTest, AListOf256ComponentsHas256Rows)
{
    medium.load(qvtest::list_of_suites(256));
    ASSERT_EQ(QV_instSetSizes(CDInstPtr), 0);
    open(2);
    EXPECT_EQ(row_widgets().size(), 256u);
}

TEST_F(CustomTest, InMaintenanceTogglingCountsChangesAndCancelDropsThem)
{
    maintain({"Core", "Docs", "Secret"});
    open(2);
    EXPECT_TRUE(XtIsManaged(foCustomComponentCount));
    EXPECT_EQ(adds(), "0");
    EXPECT_EQ(removes(), "0");
    EXPECT_EQ(label_text(laCustomRequiredValue), size_text(0)) << "nothing changes yet";
    const Dimension countersWidth = foCustomComponentCount->core.width;

    toggle("Docs", false);
    EXPECT_EQ(config(11)->selected, 0);
    EXPECT_EQ(adds(), "0");
    EXPECT_EQ(removes(), "1");
    EXPECT_EQ(foCustomComponentCount->core.width, countersWidth) << "the counters stay at the right edge";
    EXPECT_EQ(label_text(laCustomRequiredValue), size_text(blocks(50000))) << "the room given back";
    qvtest::screenshot("custom_maintenance");

    // Cancel drops the changes and a new maintenance dialog takes the
    // list's place; the store is popped once, to what was current when
    // the list was opened.
    press_box(mbCustom, XmDIALOG_CANCEL_BUTTON);
    EXPECT_EQ(config(11)->selected, 1);
    Widget maintenance = find("*mbMaintenance");
    ASSERT_NE(maintenance, nullptr);
    EXPECT_EQ(mbMaintenance, maintenance);
    EXPECT_TRUE(XtIsManaged(maintenance));
    EXPECT_EQ(find("*dsCustomDlg"), nullptr);
    EXPECT_EQ(QV_InstGetLastConfig(), nullptr);
}

TEST_F(CustomTest, InMaintenanceASubGroupCountsItsOwnChangesAndCancelResetsOnlyTheList)
{
    maintain({"Core", "Docs", "Secret"});
    open(2);
    toggle("Docs", false);
    QV_instCustomPBChangeOptionsCB(nullptr, config(12), nullptr);
    toggle("Extra", true);
    EXPECT_EQ(adds(), "1");
    EXPECT_EQ(removes(), "0") << "the sub-group's own changes";
    press_box(mbCustom, XmDIALOG_OK_BUTTON); // back to the list
    EXPECT_EQ(QV_InstGetLastConfig(), config(2));
    EXPECT_EQ(adds(), "1");
    EXPECT_EQ(removes(), "1");

    press_box(mbCustom, XmDIALOG_CANCEL_BUTTON);
    EXPECT_EQ(config(11)->selected, 1);
    EXPECT_EQ(config(20)->selected, 1) << "only the list's own components are reset";
}

TEST_F(CustomTest, DeselectingAnInstalledSubGroupCountsItsOwnSuitesOnly)
{
    maintain({"Core", "Docs", "Extra", "Secret"});
    open(2);
    toggle("Extras", false);
    EXPECT_EQ(config(12)->selected, 0);
    EXPECT_EQ(config(20)->selected, 1) << "the sub-group's own choices stay";
    // Extra is offered twice below Extras (directly and in Deeper).
    EXPECT_EQ(adds(), "0");
    EXPECT_EQ(removes(), "2") << "Extra twice; Core, Docs and Secret stay";
    EXPECT_EQ(label_text(laCustomRequiredValue), size_text(blocks(300000)));

    // The exported update, given the whole list, counts every installed
    // suite of the list as going; given the sub-group, only its own.
    QV_instCustomUpdateReset();
    QV_instCustomUpdate(config(2), config(12));
    EXPECT_EQ(removes(), "5");
    QV_instCustomAddRemoveUpdate(config(12));
    EXPECT_EQ(removes(), "2");
}

TEST_F(CustomTest, ClearingAnEssentialComponentWarnsAndKeepsTheChoice)
{
    QV_instSetLastDlg(config(1));
    open(3);
    std::string warning;
    bool single = false;
    qvtest::when_found("*mbOkCancel", [&](Widget question) {
        warning = label_text(box_child(question, XmDIALOG_MESSAGE_LABEL));
        single = !XtIsManaged(box_child(question, XmDIALOG_CANCEL_BUTTON));
        EXPECT_EQ(label_text(box_child(question, XmDIALOG_OK_BUTTON)), "OK");
        EXPECT_EQ(XtParent(XtParent(question)), QV_instGetShell(mbCustom)) << "over the options dialog";
        qvtest::screenshot("custom_essential_warning");
        press_box(question, XmDIALOG_OK_BUTTON);
    });
    toggle("Core", false);
    EXPECT_EQ(warning, "This component is an essential part of the\napplication. If it is not installed, the "
                       "application\nwill not run properly");
    EXPECT_TRUE(single);
    EXPECT_EQ(config(10)->selected, 0);
    EXPECT_EQ(label_text(laCustomRequiredValue), size_text(blocks(50000) + blocks(300000) + blocks(1)));

    // Clearing an ordinary component asks nothing.
    toggle("Docs", false);
    qvtest::pump(50);
    EXPECT_EQ(find("*mbOkCancel"), nullptr);
    EXPECT_EQ(label_text(laCustomRequiredValue), size_text(blocks(300000) + blocks(1)));
}

TEST_F(CustomTest, ChangeOptionShowsTheSubGroupAndContinueComesBack)
{
    QV_instSetLastDlg(config(1));
    open(3);
    focus("Extras");
    press(pbCustomChangeOption);
    EXPECT_EQ(QV_InstGetLastConfig(), config(12));
    EXPECT_EQ(config(12)->parent, config(3));
    std::vector<Row> shown = rows();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].name, "Extra");
    EXPECT_EQ(shown[1].name, "Deeper");
    EXPECT_EQ(label_text(laCustomDescriptionItem), "Extra files");
    EXPECT_EQ(label_text(box_child(mbCustom, XmDIALOG_OK_BUTTON)), "Continue");
    qvtest::screenshot("custom_sub_group");

    // Deeper still, where the inner list is cleared: on the way back the
    // lists above it show greyed names; suites never grey a name.
    focus("Deeper");
    press(pbCustomChangeOption);
    EXPECT_EQ(config(21)->parent, config(12));
    press_box(mbCustom, XmDIALOG_OK_BUTTON);
    EXPECT_EQ(QV_InstGetLastConfig(), config(12));
    EXPECT_EQ(config(21)->parent, nullptr);
    toggle("Extra", true);
    toggle("Deeper", false);
    shown = rows();
    EXPECT_TRUE(shown[0].nameSensitive);
    EXPECT_TRUE(shown[1].nameSensitive) << "Deeper holds only suites";
    press_box(mbCustom, XmDIALOG_OK_BUTTON);
    EXPECT_EQ(QV_InstGetLastConfig(), config(3));
    EXPECT_EQ(config(12)->parent, nullptr);
    EXPECT_EQ(config(20)->selected, 1) << "choices made in the sub-group stay";
    EXPECT_FALSE(rows()[2].nameSensitive) << "a list below Extras is cleared";
    EXPECT_TRUE(rows()[0].nameSensitive);

    // Select All chooses everything below the list again.
    press(find(mbCustom, "*pbCustomDescriptionItem"));
    for (const Row &row : rows()) {
        EXPECT_TRUE(row.set) << row.name;
        EXPECT_TRUE(row.nameSensitive) << row.name;
    }
    EXPECT_EQ(config(21)->selected, 1);
    EXPECT_EQ(config(30)->selected, 1);
    EXPECT_EQ(QV_InstGetLastConfig(), config(3));
}

TEST_F(CustomTest, CancelInASubGroupReturnsToItsListKeepingChoicesInAFirstInstallation)
{
    QV_instSetLastDlg(config(1));
    open(3);
    QV_instCustomPBChangeOptionsCB(nullptr, config(12), nullptr);
    toggle("Extra", true);
    press_box(mbCustom, XmDIALOG_CANCEL_BUTTON);
    EXPECT_EQ(QV_InstGetLastConfig(), config(3));
    EXPECT_EQ(config(12)->parent, nullptr);
    EXPECT_EQ(config(20)->selected, 1);
    EXPECT_EQ(rows().size(), 3u);
}

TEST_F(CustomTest, CancelOnAListOfTheMainDialogRebuildsTheMainDialog)
{
    QV_instSetLastDlg(config(1));
    open(3);
    press_box(mbCustom, XmDIALOG_CANCEL_BUTTON);
    qvtest::pump(20);
    EXPECT_EQ(find("*dsCustomDlg"), nullptr);
    ASSERT_NE(mbMainDlg, nullptr);
    EXPECT_TRUE(XtIsManaged(mbMainDlg));
    EXPECT_EQ(QV_instGetTLShell(mbMainDlg), mainShell());
    EXPECT_EQ(QV_InstGetLastConfig(), config(1));
    EXPECT_EQ(config(3)->parent, nullptr);
    mbMainDlg = nullptr;
}

TEST_F(CustomTest, ContinueWithNothingToDoSaysSoAndStays)
{
    QV_instSetLastDlg(config(1));
    open(3);
    press(find(mbCustom, "*pbCustomDescriptionItem"));
    for (int id : {10, 11, 12, 13, 20, 21, 30})
        config(id)->selected = 0;
    std::string message;
    qvtest::answer("*mbOkCancel", XmDIALOG_OK_BUTTON, &message);
    press_box(mbCustom, XmDIALOG_OK_BUTTON);
    EXPECT_EQ(message, "Nothing to Install/Remove");
    EXPECT_EQ(GetConfigToInstall(), config(3));
    ASSERT_NE(mbCustom, nullptr);
    EXPECT_TRUE(XtIsManaged(mbCustom));
}

TEST_F(CustomTest, ContinueOrCancelWithoutACurrentListEndSetupWithOne)
{
    open(3);
    for (XtPointer button : {reinterpret_cast<XtPointer>(XmDIALOG_OK_BUTTON),
                             reinterpret_cast<XtPointer>(XmDIALOG_CANCEL_BUTTON)}) {
        EXPECT_EXIT(
            {
                while (QV_instRestoreLastDlg()) {
                }
                press_box(mbCustom, static_cast<unsigned char>(reinterpret_cast<intptr_t>(button)));
                std::fputs("still running\n", stderr);
                std::exit(3);
            },
            ::testing::ExitedWithCode(1), "^$");
    }
}

} // namespace
