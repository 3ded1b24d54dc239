// The "Update User" dialog on a real display: its widgets, the user list,
// and "Update" on both roads for accounts of a scratch password file whose
// home folders lie in the test's scratch folder.
#include "support/xfixture.h"

#include <sys/stat.h>
#include <unistd.h>

#include <Xm/List.h>
#include <Xm/MessageB.h>
#include <Xm/TextF.h>
#include <Xm/ToggleB.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/capture.h"
#include "support/testutil.h"
#include "wizard/glue.h"
#include "wizard/useraccounts.h"

namespace {

using qvtest::box_child;
using qvtest::find;
using qvtest::label_text;
using qvtest::press_box;
using qvtest::list_items;
using qvtest::text_of;
using qvtest::window_title;

bool is_set(Widget toggle)
{
    return XmToggleButtonGetState(toggle);
}

// Accounts alice and bob, given to the test's owner (a made-up account when
// the tests run as root, so that a wrong owner shows), with their homes in
// scratch.
class UpdateUserDialog : public qvtest::XTest {
protected:
    qvtest::ScratchDir scratch{"updateuser"};
    uid_t uid = getuid() == 0 ? 4242 : getuid();
    gid_t gid = getuid() == 0 ? 4343 : getgid();
    std::string medium = qvtest::harness("QV_DEMO_MEDIUM");

    void SetUp() override
    {
        XTest::SetUp();
        GenerateQuorvanta = 0;
        auto &sources = qv::account_sources();
        sources = qv::AccountSources{};
        sources.passwdFile = scratch / "passwd";
        sources.homeRoot = scratch.path();
        sources.ypwhich = scratch / "no-ypwhich";
        const std::string ids = std::to_string(uid) + ":" + std::to_string(gid);
        qvtest::write_file(sources.passwdFile, "bob:x:" + ids + ":Bob:/home/bob:/bin/sh\n"
                                               "#old:x:1:1::/:/bin/sh\n"
                                               "alice:x:" + ids + ":Alice:/home/alice:/bin/sh\n"
                                               "+::::::\n"
                                               "alice:x:" + ids + ":Alice again:/home/alice:/bin/sh\n");
        for (const char *user : {"home/alice", "home/bob"}) {
            qvtest::make_dirs(scratch / user);
            ASSERT_EQ(chown((scratch / user).c_str(), uid, gid), 0);
        }
    }
    void TearDown() override
    {
        XTest::TearDown();
        qv::account_sources() = qv::AccountSources{};
        GenerateQuorvanta = 0;
        unsetenv("QV_HOME");
    }

    std::string env_file(const std::string &user) { return scratch / ("home/" + user + "/QVR_FILE"); }

    // Runs the whole dialog: names the user, clicks "Update", reads the box
    // that answers, then clicks "Continue". Returns the box's text.
    std::string update_through_dialog(const std::string &user, const std::string &sourceDir,
                                      void (*choose)() = nullptr)
    {
        std::string answer = "<no box>";
        qvtest::when_found("*mbUpdateUser", [&answer, user, choose](Widget box) {
            if (choose)
                choose();
            set_value(txUpdateUserUsername, user.c_str());
            qvtest::when_found("*mbOkCancel", [&answer, box](Widget ok) {
                answer = label_text(box_child(ok, XmDIALOG_MESSAGE_LABEL));
                press_box(ok, XmDIALOG_OK_BUTTON);
                qvtest::after(10, [box] { press_box(box, XmDIALOG_CANCEL_BUTTON); });
            });
            press_box(box, XmDIALOG_OK_BUTTON);
        });
        QV_instUpdateUser(mainShell(), sourceDir.c_str());
        return answer;
    }
};

TEST_F(UpdateUserDialog, IsBuiltWithItsNamesTextsAndPlace)
{
    Widget box = CreatembUpdateUser(mainShell());
    ASSERT_NE(box, nullptr);
    EXPECT_STREQ(XtName(box), "mbUpdateUser");
    EXPECT_FALSE(XtIsManaged(box));
    Widget shell = XtParent(box);
    EXPECT_STREQ(XtName(shell), "dsUpdateUser");
    Position x = 0, y = 0;
    Dimension width = 0, height = 0;
    XtVaGetValues(shell, XmNx, &x, XmNy, &y, XmNwidth, &width, XmNheight, &height, nullptr);
    EXPECT_EQ(x, 512);
    EXPECT_EQ(y, 32);
    EXPECT_EQ(width, 500);
    EXPECT_EQ(height, 493);

    EXPECT_EQ(txUpdateUserUsername, find(box, "*form.txUpdateUserUsername"));
    EXPECT_EQ(pbUpdateUserSelectUser, find(box, "*frame2.form.pbUpdateUserSelectUser"));
    EXPECT_FALSE(XmTextFieldGetEditable(txUpdateUserUsername));
    EXPECT_EQ(label_text(pbUpdateUserSelectUser), "Select User");
    Widget copy = find(box, "*frame3.rowColumn3.toggleButton");
    Widget create = find(box, "*frame3.rowColumn3.toggleButton1");
    ASSERT_NE(copy, nullptr);
    ASSERT_NE(create, nullptr);
    EXPECT_EQ(label_text(copy), "Copy .qvr_2.01 file in user account from $QV_HOME");
    EXPECT_EQ(label_text(create), "Create new .qvr_2.01 file in user account");
    EXPECT_TRUE(is_set(copy));
    EXPECT_FALSE(is_set(create));

    XtManageChild(box);
    ASSERT_TRUE(qvtest::wait_mapped(box));
    // Its own title, not the product's; the Help button stays.
    EXPECT_EQ(window_title(shell), "Update User");
    EXPECT_EQ(label_text(box_child(box, XmDIALOG_OK_BUTTON)), "Update");
    EXPECT_EQ(label_text(box_child(box, XmDIALOG_CANCEL_BUTTON)), "Continue");
    EXPECT_TRUE(XtIsManaged(box_child(box, XmDIALOG_HELP_BUTTON)));
    EXPECT_GT(qvtest::image_colours(qvtest::screenshot("update-user")), 2);
}

TEST_F(UpdateUserDialog, SelectUserListsEachAccountOnceInOrderAndAClickChoosesOne)
{
    Widget box = CreatembUpdateUser(mainShell());
    XtManageChild(box);
    ASSERT_TRUE(qvtest::wait_mapped(box));
    qvtest::press(pbUpdateUserSelectUser);

    Widget listShell = find("*tlsUpdateUserExistingUsers");
    ASSERT_NE(listShell, nullptr);
    EXPECT_EQ(XtParent(listShell), XtParent(box));
    EXPECT_EQ(window_title(listShell), "User List");
    ASSERT_NE(ExistingUser, nullptr);
    EXPECT_STREQ(XtName(ExistingUser), "swUpdateUserUserList");
    EXPECT_EQ(XtParent(listUpdateUserUsernames), ExistingUser);
    EXPECT_EQ(list_items(listUpdateUserUsernames), (std::vector<std::string>{"alice", "bob"}));
    ASSERT_TRUE(qvtest::wait_mapped(listUpdateUserUsernames));
    EXPECT_GT(qvtest::image_colours(qvtest::screenshot("update-user-list")), 2);

    // A real click on the second name, through the X server, while the
    // dialog waits behind the list.
    Position left = 0, top = 0;
    Dimension width = 0, height = 0;
    ASSERT_TRUE(XmListPosToBounds(listUpdateUserUsernames, 2, &left, &top, &width, &height));
    Position x = 0, y = 0;
    XtTranslateCoords(listUpdateUserUsernames, static_cast<Position>(left + width / 2),
                      static_cast<Position>(top + height / 2), &x, &y);
    XSync(display(), False);
    qvtest::RunResult r = qvtest::run(
        {"/usr/bin/xdotool", "mousemove", "--sync", std::to_string(x), std::to_string(y), "click", "1"});
    ASSERT_EQ(r.status, 0) << r.err;

    ASSERT_TRUE(qvtest::wait_until([] { return find("*tlsUpdateUserExistingUsers") == nullptr; }));
    EXPECT_EQ(text_of(txUpdateUserUsername), "bob");
    EXPECT_EQ(ExistingUser, nullptr);
}

TEST_F(UpdateUserDialog, UpdateWithoutANameDoesNothing)
{
    Widget box = CreatembUpdateUser(mainShell());
    XtManageChild(box);
    ASSERT_TRUE(qvtest::wait_mapped(box));
    press_box(box, XmDIALOG_OK_BUTTON);
    qvtest::pump(50);
    EXPECT_EQ(find("*mbOkCancel"), nullptr);
    EXPECT_EQ(text_of(txUpdateUserUsername), "");
}

TEST_F(UpdateUserDialog, AnUnknownAccountIsReportedAndNothingIsWritten)
{
    Widget box = CreatembUpdateUser(mainShell());
    XtManageChild(box);
    ASSERT_TRUE(qvtest::wait_mapped(box));
    set_value(txUpdateUserUsername, "ghost");
    std::string said;
    qvtest::when_found("*mbOkCancel", [&said, box](Widget ok) {
        said = label_text(box_child(ok, XmDIALOG_MESSAGE_LABEL));
        // The box stands over the dialog.
        EXPECT_EQ(XtParent(XtParent(ok)), XtParent(box));
        press_box(ok, XmDIALOG_OK_BUTTON);
    });
    press_box(box, XmDIALOG_OK_BUTTON);
    EXPECT_EQ(said, "ERROR: User ghost doesn't exist.");
    EXPECT_EQ(text_of(txUpdateUserUsername), "");
    EXPECT_FALSE(qvtest::exists(scratch / "home/ghost"));
}

TEST_F(UpdateUserDialog, CopyingGivesTheAccountTheInstallationsFile)
{
    EXPECT_EQ(update_through_dialog("alice", medium), "User alice updated.");
    EXPECT_EQ(qvtest::read_file(env_file("alice")), qvtest::read_file(medium + "/QVR_FILE"));
    struct stat st {};
    ASSERT_EQ(stat(env_file("alice").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, uid);
    EXPECT_EQ(st.st_gid, gid);
    EXPECT_FALSE(qvtest::exists(env_file("bob")));
    // The installation's own copy keeps its owner.
    ASSERT_EQ(stat((medium + "/QVR_FILE").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, getuid());
    // The dialog is gone once "Continue" has ended it.
    EXPECT_EQ(find("*dsUpdateUser"), nullptr);
    EXPECT_EQ(txUpdateUserUsername, nullptr);
}

TEST_F(UpdateUserDialog, CreatingHasTheSupportLibraryWriteANewFile)
{
    setenv("QV_HOME", medium.c_str(), 1);
    auto chooseCreate = [] {
        Widget create = find("*toggleButton1");
        Widget copy = find("*toggleButton");
        // The copy toggle's "unset" notice comes after the create toggle's
        // "set" and changes nothing.
        XmToggleButtonSetState(create, True, True);
        EXPECT_EQ(GenerateQuorvanta, 1);
        EXPECT_FALSE(is_set(copy));
        XmToggleButtonSetState(copy, True, True);
        EXPECT_EQ(GenerateQuorvanta, 0);
        XmToggleButtonSetState(create, True, True);
        EXPECT_EQ(GenerateQuorvanta, 1);
    };
    EXPECT_EQ(update_through_dialog("bob", "/nonexistent", chooseCreate), "User bob updated.");
    std::string env = qvtest::read_file(env_file("bob"));
    EXPECT_NE(env.find("QV_HOME=\"" + medium + "/\""), std::string::npos) << env;
    struct stat st {};
    ASSERT_EQ(stat(env_file("bob").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, uid);
    EXPECT_EQ(st.st_gid, gid);

    // The choice stays for the next opening, and the dialog shows it.
    Widget box = CreatembUpdateUser(mainShell());
    EXPECT_TRUE(is_set(find(box, "*toggleButton1")));
    EXPECT_FALSE(is_set(find(box, "*toggleButton")));
}

TEST_F(UpdateUserDialog, AFailedUpdateIsNotReportedAsDone)
{
    struct Row {
        const char *what;
        std::string source;
        bool plantLink;
        uid_t homeOwner; // as root: who owns alice's home folder for the row
        std::string expected;
    };
    const Row rows[] = {
        {"source file missing", scratch / "empty", false, uid,
         "ERROR: Can't find file: " + scratch / "empty/QVR_FILE" + "\nUser alice was not updated."},
        {"planted link", medium, true, uid,
         "ERROR: Environment file is a link or not a plain file, left as it is: " + env_file("alice") +
             "\nUser alice was not updated."},
        {"home of another user", medium, false, 0,
         "User alice was not updated: " + scratch / "home/alice" + " is not a folder that user owns"},
    };
    qvtest::write_file(scratch / "victim", "root:secret\n", 0600);
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        if (row.homeOwner != uid && getuid() != 0)
            continue;
        unlink(env_file("alice").c_str());
        ASSERT_EQ(chown((scratch / "home/alice").c_str(), row.homeOwner, gid), 0);
        if (row.plantLink) {
            ASSERT_EQ(symlink((scratch / "victim").c_str(), env_file("alice").c_str()), 0);
        }
        qvtest::CaptureFd err(STDERR_FILENO);
        EXPECT_EQ(update_through_dialog("alice", row.source), row.expected);
        err.finish();
        EXPECT_EQ(qvtest::read_file(scratch / "victim"), "root:secret\n");
        if (!row.plantLink) {
            EXPECT_FALSE(qvtest::exists(env_file("alice")));
        }
    }
}

TEST_F(UpdateUserDialog, WithoutADisplayItSaysSoAndReturns)
{
    qvtest::CaptureFd err(STDERR_FILENO);
    QV_instUpdateUser(nullptr, medium.c_str());
    EXPECT_EQ(err.finish(), "ERROR: Update User needs a display.\n");
}

// The dialog's own conversion: strings as they are, tables line by line,
// everything else through Xt into a slot of the size asked for.
TEST_F(UpdateUserDialog, MainConvertTurnsTextsIntoResourceValues)
{
    Widget box = CreatembUpdateUser(mainShell());
    Boolean ok = False;

    const char *text = "as it is";
    EXPECT_EQ(MAIN_CONVERT(box, text, XmRString, 0, &ok), reinterpret_cast<XtArgVal>(text));
    EXPECT_TRUE(ok);

    auto *table = reinterpret_cast<XmString *>(MAIN_CONVERT(box, "first\n\nthird\n", XmRXmStringTable, 0, &ok));
    ASSERT_TRUE(ok);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(qvtest::xmstring_text(table[0]), "first");
    EXPECT_EQ(qvtest::xmstring_text(table[1]), "");
    EXPECT_EQ(qvtest::xmstring_text(table[2]), "third");
    for (int i = 0; i < 3; ++i)
        XmStringFree(table[i]);
    XtFree(reinterpret_cast<char *>(table));
    EXPECT_EQ(MAIN_CONVERT(box, "", XmRXmStringTable, 0, &ok), 0);
    EXPECT_FALSE(ok);

    auto label = reinterpret_cast<XmString>(MAIN_CONVERT(box, "Update", XmRXmString, 0, &ok));
    ASSERT_TRUE(ok);
    EXPECT_EQ(qvtest::xmstring_text(label), "Update");
    XmStringFree(label);

    EXPECT_EQ(MAIN_CONVERT(box, "42", XmRInt, 4, &ok), 42);
    EXPECT_TRUE(ok);
    EXPECT_EQ(MAIN_CONVERT(box, "True", XmRBoolean, 1, &ok), 1);
    EXPECT_TRUE(ok);
    // A slot too small for the value: the value comes in a block of the
    // size the converter asked for, which the caller frees.
    auto *block = reinterpret_cast<int *>(MAIN_CONVERT(box, "-7", XmRInt, 1, &ok));
    ASSERT_TRUE(ok);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(*block, -7);
    XtFree(reinterpret_cast<char *>(block));

    qvtest::WarningCapture warnings;
    EXPECT_EQ(MAIN_CONVERT(box, "many", XmRInt, 4, &ok), 0);
    EXPECT_FALSE(ok);
}

} // namespace
