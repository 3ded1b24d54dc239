// The browse-for-source chooser under a real X server: choosing a folder in
// the file selection box, the "Try Again" box for a folder without the
// file, Cancel, and the whole Continue / Browse... / Abort prompt of a copy
// whose source file is missing.
#include "support/xfixture.h"

#include <climits>
#include <cstdlib>
#include <string>

#include <Xm/FileSB.h>
#include <Xm/List.h>
#include <Xm/MessageB.h>
#include <Xm/TextF.h>

#include "engine/cdinst.h"
#include "engine/fileops.h"
#include "engine/handmade_model.h"
#include "support/testutil.h"
#include "wizard/browse.h"

namespace {

class BrowseTest : public qvtest::XTest {
protected:
    qvtest::ScratchDir scratch{"browse"};
    std::string root = real(scratch.path());
    std::string withFile = root + "/medium/disk2";
    std::string withoutFile = root + "/medium/disk1";

    void SetUp() override
    {
        qvtest::XTest::SetUp();
        qvtest::make_dirs(withFile);
        qvtest::make_dirs(withoutFile);
        qvtest::write_file(withFile + "/data.bin", "the data");
    }

    static std::string real(const std::string &path)
    {
        char buf[PATH_MAX];
        return realpath(path.c_str(), buf) ? buf : path;
    }
};

const char kChooser[] = "*Browser Install Directory";

std::string text_of(Widget fsb)
{
    char *value = XmTextFieldGetString(XmFileSelectionBoxGetChild(fsb, XmDIALOG_TEXT));
    std::string out = value ? value : "";
    XtFree(value);
    return out;
}

// Selects the entry of the chooser's folder list that ends in /name, as a
// click on it does (the selection field follows).
void select_folder(Widget fsb, const std::string &name)
{
    Widget list = XmFileSelectionBoxGetChild(fsb, XmDIALOG_LIST);
    ASSERT_NE(list, nullptr);
    const std::vector<std::string> items = qvtest::list_items(list);
    const std::string suffix = "/" + name;
    for (size_t i = 0; i < items.size(); ++i) {
        const std::string &item = items[i];
        if (item.size() >= suffix.size() && item.compare(item.size() - suffix.size(), suffix.size(), suffix) == 0) {
            XmListSelectPos(list, static_cast<int>(i) + 1, True);
            return;
        }
    }
    ADD_FAILURE() << "no folder " << name << " in the chooser's list of " << items.size();
}

std::string dir_mask(Widget fsb)
{
    XmString mask = nullptr;
    XtVaGetValues(fsb, XmNdirMask, &mask, NULL);
    std::string out = qvtest::xmstring_text(mask);
    XmStringFree(mask);
    return out;
}

TEST_F(BrowseTest, ChoosingTheFolderThatHoldsTheFile)
{
    const std::string medium = root + "/medium/";
    qvtest::when_found(kChooser, [&](Widget fsb) {
        EXPECT_EQ(dir_mask(fsb), medium + "*");
        EXPECT_EQ(text_of(fsb), medium);
        char *title = nullptr;
        XtVaGetValues(XtParent(fsb), XmNtitle, &title, NULL);
        EXPECT_STREQ(title, "Locate data.bin");
        EXPECT_FALSE(XtIsManaged(XmFileSelectionBoxGetChild(fsb, XmDIALOG_HELP_BUTTON)));
        select_folder(fsb, "disk2");
        EXPECT_EQ(text_of(fsb), withFile);
        EXPECT_GT(qvtest::image_colours(qvtest::screenshot("browse_for_source")), 2);
        qvtest::press(XmFileSelectionBoxGetChild(fsb, XmDIALOG_OK_BUTTON));
    });
    char *chosen = nullptr;
    // The chooser opens in the directory part of the start path.
    QV_instBrowseForSource("data.bin", &chosen, (medium + "disk1").c_str());
    ASSERT_NE(chosen, nullptr);
    EXPECT_EQ(std::string(chosen), withFile); // as it stood in the field
    std::free(chosen);
    EXPECT_EQ(qvtest::find(kChooser), nullptr);
}

// A folder without the file, or one whose path has a line break (which
// would split the protocol lines that carry it), is answered with a box;
// the chooser stays up for another try, and Cancel leaves the result alone.
TEST_F(BrowseTest, RefusedFolderAsksToTryAgainThenCancelKeepsTheResult)
{
    const std::string withLineBreak = root + "/medium/disk\n3";
    qvtest::make_dirs(withLineBreak);
    qvtest::write_file(withLineBreak + "/data.bin", "the data");
    const struct {
        std::string folder, message;
    } rows[] = {
        {withoutFile,
         "File:\n     'data.bin'\nDoes not exist in directory:\n     '" + withoutFile + "'.\nTry Again"},
        {withLineBreak, "The folder path contains a line break.\nPlease choose another folder."},
    };
    for (const auto &row : rows) {
        std::string message;
        bool stayed = false;
        qvtest::when_found(kChooser, [&](Widget fsb) {
            Widget text = XmFileSelectionBoxGetChild(fsb, XmDIALOG_TEXT);
            XmTextFieldSetString(text, const_cast<char *>(row.folder.c_str()));
            qvtest::when_found("*mbOkCancel", [&, fsb](Widget box) {
                message = qvtest::label_text(qvtest::box_child(box, XmDIALOG_MESSAGE_LABEL));
                if (row.folder == withoutFile) {
                    EXPECT_GT(qvtest::image_colours(qvtest::screenshot("browse_try_again")), 2);
                }
                qvtest::press_box(box, XmDIALOG_OK_BUTTON);
                // The chooser stays up for another try; Cancel ends it. That
                // is a later click: this one has yet to return through the
                // box's loop and the chooser's OK.
                qvtest::after(10, [&, fsb] {
                    EXPECT_EQ(qvtest::find("*mbOkCancel"), nullptr);
                    stayed = XtIsManaged(fsb);
                    qvtest::press(XmFileSelectionBoxGetChild(fsb, XmDIALOG_CANCEL_BUTTON));
                });
            });
            qvtest::press(XmFileSelectionBoxGetChild(fsb, XmDIALOG_OK_BUTTON));
        });
        char *chosen = nullptr;
        QV_instBrowseForSource("data.bin", &chosen, (withoutFile + "/").c_str());
        EXPECT_EQ(message, row.message);
        EXPECT_TRUE(stayed);
        EXPECT_EQ(chosen, nullptr);
        std::free(chosen);
        EXPECT_EQ(qvtest::find(kChooser), nullptr);
    }
}

// The install child's prompt for a missing source: Browse... to the folder
// that holds it, after which the copy reads from there, and so do later ones.
TEST_F(BrowseTest, MissingSourceBrowsedToAnotherFolderIsCopiedFromThere)
{
    qvtest::HandmadeModel model((root + "/dest").c_str(), "Prod", "Prod", withoutFile.c_str());
    qvtest::Loaded loaded(model.cd);
    const std::string target = root + "/dest/data.bin";
    qvtest::when_found("*mbOkCancel", [&](Widget box) {
        EXPECT_EQ(qvtest::label_text(qvtest::box_child(box, XmDIALOG_MESSAGE_LABEL)),
                  "Copyfile can't open file: data.bin");
        EXPECT_EQ(qvtest::label_text(qvtest::box_child(box, XmDIALOG_OK_BUTTON)), "Continue");
        EXPECT_EQ(qvtest::label_text(qvtest::box_child(box, XmDIALOG_CANCEL_BUTTON)), "Browse...");
        EXPECT_EQ(qvtest::label_text(qvtest::box_child(box, XmDIALOG_HELP_BUTTON)), "Abort");
        EXPECT_GT(qvtest::image_colours(qvtest::screenshot("source_prompt")), 2);
        qvtest::when_found(kChooser, [&](Widget fsb) {
            EXPECT_EQ(text_of(fsb), withoutFile + "/"); // opens in the current source directory
            XmTextFieldSetString(XmFileSelectionBoxGetChild(fsb, XmDIALOG_TEXT), const_cast<char *>(withFile.c_str()));
            qvtest::press(XmFileSelectionBoxGetChild(fsb, XmDIALOG_OK_BUTTON));
        });
        qvtest::press_box(box, XmDIALOG_CANCEL_BUTTON);
    });
    char *lines = nullptr;
    size_t length = 0;
    FILE *proto = open_memstream(&lines, &length);
    EXPECT_EQ(QV_instCopyFile("data.bin", target.c_str(), 0644, 8, proto, 0), 0);
    std::fclose(proto);
    EXPECT_EQ(std::string(lines, length), "+8 " + withFile + "/data.bin " + target + "\n");
    std::free(lines);
    EXPECT_EQ(qvtest::read_file(target), "the data");
    EXPECT_STREQ(QV_instGetSourceDirectory(), withFile.c_str());
}

TEST_F(BrowseTest, AbortAtTheSourcePromptSendsAbortAndFails)
{
    qvtest::HandmadeModel model((root + "/dest").c_str(), "Prod", "Prod", withoutFile.c_str());
    qvtest::Loaded loaded(model.cd);
    qvtest::when_found("*mbOkCancel", [](Widget box) { qvtest::press_box(box, XmDIALOG_HELP_BUTTON); });
    char *lines = nullptr;
    size_t length = 0;
    FILE *proto = open_memstream(&lines, &length);
    _QV_InstTar tar{};
    tar.file = const_cast<char *>("data.tar");
    EXPECT_EQ(QV_instUntar(&tar, withoutFile.c_str(), root.c_str(), 0, 0, proto, QV_InstModeInstall), 1);
    std::fclose(proto);
    EXPECT_EQ(std::string(lines, length), "-1 abort\n");
    std::free(lines);
}

} // namespace
