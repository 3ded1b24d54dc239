// The migration dialog on a real display: the preferences folders found in
// a scratch home, the Migrate toggle, both folder choosers with their
// questions, "Ok" recording the request, and "Exit Setup".
#include "support/xfixture.h"

#include <sys/stat.h>
#include <unistd.h>

#include <Xm/FileSB.h>
#include <Xm/List.h>
#include <Xm/MessageB.h>
#include <Xm/TextF.h>
#include <Xm/ToggleB.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/testutil.h"
#include "wizard/glue.h"
#include "wizard/migration_state.h"
#include "wizard_medium.h"

namespace {

using qvtest::box_child;
using qvtest::find;
using qvtest::label_text;
using qvtest::press;
using qvtest::press_box;
using qvtest::list_items;
using qvtest::text_of;

std::vector<int> selected_positions(Widget list)
{
    int *positions = nullptr;
    int count = 0;
    std::vector<int> out;
    if (XmListGetSelectedPos(list, &positions, &count)) {
        out.assign(positions, positions + count);
        XtFree(reinterpret_cast<char *>(positions));
    }
    return out;
}

std::string held()
{
    const char *source = qv::migration_request().source.get();
    return source ? source : "<none>";
}

void toggle(bool on)
{
    XmToggleButtonSetState(toggleButtonMigrate, on ? True : False, True);
}

// Answers the next message box with the given button and returns its text
// into *said.
void answer_box(std::string *said, unsigned char button = XmDIALOG_OK_BUTTON)
{
    qvtest::when_found("*mbOkCancel", [said, button](Widget box) {
        *said = label_text(box_child(box, XmDIALOG_MESSAGE_LABEL));
        press_box(box, button);
    });
}

class MigrationDialog : public qvtest::XTest {
protected:
    void SetUp() override
    {
        XTest::SetUp();
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        medium.load_simple();
        if (const char *old = std::getenv("HOME"))
            savedHome = old;
        setenv("HOME", home.c_str(), 1);
        setenv("USER", "ann", 1);
        qvtest::make_dirs(home);
        qv::migration_request() = qv::MigrationRequest{};
        SetDefaultUserHome(nullptr);
    }
    void TearDown() override
    {
        XTest::TearDown();
        setenv("HOME", savedHome.c_str(), 1);
        qv::migration_request() = qv::MigrationRequest{};
        SetDefaultUserHome(nullptr);
    }

    void make_preferences(const std::string &folder)
    {
        qvtest::write_file(folder + "/Data/Preferences/cpm.cpm", "colours=dark\n");
    }
    Widget open_dialog()
    {
        Widget form = CreatemigrationDlg(mainShell());
        XtManageChild(form);
        EXPECT_TRUE(qvtest::wait_mapped(form));
        return form;
    }
    // Opens a chooser with button, then runs each step on the chooser's box
    // in turn, each once the previous one has returned.
    void choose(Widget button, std::vector<std::function<void(Widget)>> steps)
    {
        steps_ = std::move(steps);
        stepAt_ = 0;
        ++round_;
        next_step(round_);
        press(button); // returns once the chooser is gone
        EXPECT_EQ(find("*fsbChangeDestinationSelection"), nullptr);
        EXPECT_EQ(stepAt_, steps_.size()) << "the chooser closed early";
    }
    // Steps of an earlier chooser that are still scheduled do nothing.
    void next_step(int round)
    {
        if (round != round_ || stepAt_ >= steps_.size())
            return;
        qvtest::when_found("*fsbChangeDestinationSelection", [this, round](Widget box) {
            if (round != round_)
                return;
            steps_[stepAt_++](box);
            qvtest::after(20, [this, round] { next_step(round); });
        });
    }
    static void press_chooser(Widget box, unsigned char button)
    {
        press(XmFileSelectionBoxGetChild(box, button));
    }
    static void type_into(Widget box, const std::string &text)
    {
        XmTextFieldSetString(XmFileSelectionBoxGetChild(box, XmDIALOG_TEXT), const_cast<char *>(text.c_str()));
    }

    qvtest::WizardMedium medium;
    qvtest::ScratchDir scratch{"migration"};
    std::string home = scratch / "home";
    std::string prefs = home + "/Quorvanta";
    std::string savedHome;
    std::vector<std::function<void(Widget)>> steps_;
    size_t stepAt_ = 0;
    int round_ = 0;
};

TEST_F(MigrationDialog, ListsThePreferencesFoldersNewestFirstAndWaitsForMigrate)
{
    make_preferences(prefs + "/2.1");
    make_preferences(prefs + "/3.0");
    make_preferences(prefs + "/2.9");
    qvtest::make_dirs(prefs + "/no-preferences");
    qvtest::make_dirs(prefs + "/odd/Data/Preferences/cpm.cpm");

    Widget form = CreatemigrationDlg(mainShell());
    ASSERT_NE(form, nullptr);
    EXPECT_STREQ(XtName(form), "migrationDlg");
    EXPECT_STREQ(XtName(XtParent(form)), "migrationShell");
    EXPECT_FALSE(XtIsManaged(form));
    for (const char *name : {"*labelTitle", "*frame1", "*form", "*pushButtonBrowse1", "*textFieldUserRoot",
                             "*labelDescription1", "*frame", "*form1", "*labelDescription2", "*toggleButtonMigrate",
                             "*scrolledWindow1", "*migrationList", "*textFieldPath", "*pushButtonBrowse",
                             "*separator", "*pushButtonExitSetup", "*pushButtonOk"})
        EXPECT_NE(find(form, name), nullptr) << name;
    EXPECT_EQ(label_text(find(form, "*labelTitle")), "User's preferences :");
    EXPECT_EQ(label_text(find(form, "*pushButtonOk")), "Ok");
    EXPECT_EQ(label_text(find(form, "*pushButtonExitSetup")), "Exit Setup");
    EXPECT_EQ(label_text(labelDescription2),
              "Setup can automatically migrate any selected preferences from a previous version \n"
              "of QUORVANTA|QVR to the current installation.\n\n"
              "Please select a preferences path below or click 'Browse' to select a path from another \n"
              "location.");

    EXPECT_EQ(text_of(textFieldUserRoot), home);
    EXPECT_EQ(list_items(migrationList), (std::vector<std::string>{prefs + "/3.0", prefs + "/2.9", prefs + "/2.1"}));
    EXPECT_EQ(selected_positions(migrationList), std::vector<int>{1});
    EXPECT_EQ(held(), prefs + "/3.0");
    EXPECT_EQ(text_of(textFieldPath), prefs + "/3.0");
    EXPECT_FALSE(XtIsSensitive(pushButtonBrowse));

    XtManageChild(form);
    ASSERT_TRUE(qvtest::wait_mapped(form));
    EXPECT_FALSE(XmToggleButtonGetState(toggleButtonMigrate));
    for (Widget w : {labelDescription2, migrationList, textFieldPath, pushButtonBrowse})
        EXPECT_FALSE(XtIsSensitive(w)) << XtName(w);
    toggle(true);
    for (Widget w : {labelDescription2, migrationList, textFieldPath, pushButtonBrowse})
        EXPECT_TRUE(XtIsSensitive(w)) << XtName(w);
    EXPECT_GT(qvtest::image_colours(qvtest::screenshot("migration_dialog")), 2);

    // A click on another folder shows it.
    XmListSelectPos(migrationList, 3, True);
    EXPECT_EQ(text_of(textFieldPath), prefs + "/2.1");
    toggle(false);
    EXPECT_FALSE(XtIsSensitive(migrationList));
}

TEST_F(MigrationDialog, WithoutPreferencesTheListIsEmptyAndNothingIsHeld)
{
    Widget form = open_dialog();
    EXPECT_EQ(list_items(migrationList), std::vector<std::string>{});
    EXPECT_EQ(held(), "<none>");
    EXPECT_EQ(text_of(textFieldPath), "");
    XtDestroyWidget(XtParent(form));

    qvtest::make_dirs(prefs + "/1.0/Data");
    open_dialog();
    EXPECT_EQ(list_items(migrationList), std::vector<std::string>{});
    EXPECT_EQ(held(), "<none>");
}

TEST_F(MigrationDialog, BrowsingTakesOnlyAFolderWithPreferencesAndAddsItOnce)
{
    make_preferences(prefs + "/2.1");
    const std::string elsewhere = scratch / "other place";
    make_preferences(elsewhere);
    qvtest::make_dirs(scratch / "empty");
    open_dialog();
    toggle(true);

    std::string said;
    choose(pushButtonBrowse,
           {[&](Widget box) {
                EXPECT_STREQ(XtName(XtParent(box)), "dsChangeDestinationSelection");
                EXPECT_EQ(text_of(XmFileSelectionBoxGetChild(box, XmDIALOG_TEXT)), prefs + "/2.1");
                EXPECT_FALSE(XtIsManaged(XmFileSelectionBoxGetChild(box, XmDIALOG_HELP_BUTTON)));
                unsigned char types = 0;
                XtVaGetValues(box, XmNfileTypeMask, &types, nullptr);
                EXPECT_EQ(types, XmFILE_DIRECTORY);
                qvtest::screenshot("migration_chooser");
                type_into(box, scratch / "empty");
                answer_box(&said);
                press_chooser(box, XmDIALOG_OK_BUTTON);
                EXPECT_EQ(said, "The selected directory does not seem to contain any valid preferences.\n"
                                "Please, choose another one.");
            },
            [&](Widget box) {
                type_into(box, elsewhere + "/");
                press_chooser(box, XmDIALOG_OK_BUTTON);
            }});
    EXPECT_EQ(list_items(migrationList), (std::vector<std::string>{prefs + "/2.1", elsewhere}));
    EXPECT_EQ(selected_positions(migrationList), std::vector<int>{2});
    EXPECT_EQ(text_of(textFieldPath), elsewhere);
    EXPECT_EQ(held(), "<none>") << "browsing leaves nothing held";

    // A folder already listed changes nothing.
    XmListSelectPos(migrationList, 1, True);
    choose(pushButtonBrowse, {[&](Widget box) {
               type_into(box, elsewhere);
               press_chooser(box, XmDIALOG_OK_BUTTON);
           }});
    EXPECT_EQ(list_items(migrationList).size(), 2u);
    EXPECT_EQ(selected_positions(migrationList), std::vector<int>{1});
    EXPECT_EQ(text_of(textFieldPath), prefs + "/2.1");
}

TEST_F(MigrationDialog, CancellingTheChooserKeepsWhatThePathFieldShowed)
{
    open_dialog();
    toggle(true);
    // Nothing found and nothing shown: the empty path comes back as an item.
    choose(pushButtonBrowse, {[](Widget box) { press_chooser(box, XmDIALOG_CANCEL_BUTTON); }});
    EXPECT_EQ(list_items(migrationList), std::vector<std::string>{""});
    EXPECT_EQ(held(), "<none>");
}

TEST_F(MigrationDialog, ChoosingAnotherUserRootShowsItWithTheLoginName)
{
    const std::string users = scratch / "users";
    qvtest::make_dirs(users);
    Widget form = open_dialog();
    Widget browse = find(form, "*pushButtonBrowse1");
    choose(browse, {[&](Widget box) {
               EXPECT_EQ(text_of(XmFileSelectionBoxGetChild(box, XmDIALOG_TEXT)), home);
               type_into(box, users);
               press_chooser(box, XmDIALOG_OK_BUTTON);
           }});
    EXPECT_EQ(text_of(textFieldUserRoot), users + "/ann");

    choose(browse, {[&](Widget box) {
               type_into(box, home);
               press_chooser(box, XmDIALOG_OK_BUTTON);
           }});
    EXPECT_EQ(text_of(textFieldUserRoot), home);

    // A folder that does not exist is created when the user agrees.
    const std::string fresh = scratch / "new users";
    std::string said;
    std::vector<std::function<void(Widget)>> steps = {
        [&](Widget box) {
            type_into(box, fresh);
            answer_box(&said, XmDIALOG_CANCEL_BUTTON); // "No"
            press_chooser(box, XmDIALOG_OK_BUTTON);
            EXPECT_EQ(said, "The folder:\n'" + fresh + "'\ndoes not exist. Do you want to create it?");
            EXPECT_FALSE(qvtest::exists(fresh));
        },
        [&](Widget box) {
            answer_box(&said); // "Yes"
            press_chooser(box, XmDIALOG_OK_BUTTON);
        }};
    choose(browse, steps);
    struct stat st {};
    ASSERT_EQ(stat(fresh.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(text_of(textFieldUserRoot), fresh + "/ann");
}

TEST_F(MigrationDialog, OkRecordsTheRequestOnlyWhenMigrateIsSet)
{
    make_preferences(prefs + "/2.1 old");
    // "Ok" goes on to the installation; without a configuration to install
    // that ends setup (after its box), so the request is reported on the way
    // out.
    auto ok = [](bool migrate) {
        static std::string said;
        answer_box(&said);
        std::atexit([] {
            std::fprintf(stderr, "request %d [%s]\n", qv::migration_request().requested, held().c_str());
        });
        Widget form = CreatemigrationDlg(QV_instGetMainTopLevelShell());
        XtManageChild(form);
        qvtest::wait_mapped(form);
        if (migrate)
            toggle(true);
        press(find(form, "*pushButtonOk"));
    };
    EXPECT_EXIT(ok(true), ::testing::ExitedWithCode(1), "request 1 \\[.*/home/Quorvanta/2.1 old\\]\n$");
    EXPECT_EXIT(ok(false), ::testing::ExitedWithCode(1), "request 0 \\[.*/home/Quorvanta/2.1 old\\]\n$");
}

TEST_F(MigrationDialog, ExitSetupAsksAndResumeKeepsTheDialog)
{
    Widget form = open_dialog();
    std::string asked;
    qvtest::when_found("*mbExitSetup", [&](Widget question) {
        asked = label_text(box_child(question, XmDIALOG_MESSAGE_LABEL));
        EXPECT_TRUE(XtIsManaged(form));
        press_box(question, XmDIALOG_OK_BUTTON);
    });
    press(find(form, "*pushButtonExitSetup"));
    EXPECT_EQ(asked, "Are you sure you want to Exit?\nSetup has not yet modified any files.");
    EXPECT_TRUE(XtIsManaged(form));
}

} // namespace
