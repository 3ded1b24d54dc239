// A small medium for the wizard tests: a description read into CDInstPtr
// by the real reader, its SetupFiles folder and agreement text, and the
// description directory that the dialogs look things up in.
#pragma once

#include <string>

#include <gtest/gtest.h>

#include "engine/cdinst.h"
#include "support/testutil.h"

namespace qvtest {

constexpr const char kProduct[] = "Quorvanta Test";

class WizardMedium {
public:
    WizardMedium() : scratch_("wizard") { make_dirs(dir() + "/SetupFiles"); }
    ~WizardMedium()
    {
        if (CDInstPtr) {
            QV_instFreeCDinst(CDInstPtr);
            CDInstPtr = nullptr;
        }
    }
    WizardMedium(const WizardMedium &) = delete;
    WizardMedium &operator=(const WizardMedium &) = delete;

    std::string dir() const { return scratch_ / "cd"; }
    std::string root() const { return scratch_ / "root"; }
    std::string eula() const { return dir() + "/SetupFiles/eula.txt"; }

    // Writes the description (a standard header, then body) and loads it.
    void load(const std::string &body, const std::string &extraHeader = "")
    {
        write_file(dir() + "/cdinst.dat", std::string("SetupVersion 1\nProductName ") + kProduct +
                                              "\nProductVersion 1.0\nProductDirectory QvTest\n"
                                              "LogFile install.log\nHistoryFile QvTest\nInstallDirectory " +
                                              root() + "\n" + extraHeader + body);
        if (CDInstPtr)
            QV_instFreeCDinst(CDInstPtr);
        CDInstPtr = QV_instReadCDinst((dir() + "/cdinst.dat").c_str(), nullptr);
        ASSERT_NE(CDInstPtr, nullptr) << "the test description does not read";
        ASSERT_EQ(QV_instSetCdinstDirectory(dir().c_str()), 0);
    }

    // One file in one package, one suite, configuration 1 offering it.
    void load_simple()
    {
        write_file(dir() + "/files/a.txt", std::string(10000, 'a'));
        load("Package \"core\" \"core files\"\n"
             "Copy \"files/a.txt\" \"\" 10000 0644 0 0\n"
             "Suite \"Main\" core\n"
             "ConfigBegin\n"
             "1 MainDlg \"Test\" \"\" \"\" 3\n"
             "3 Suite \"Main\" \"\" \"\" 1\n"
             "ConfigEnd\n");
    }

private:
    ScratchDir scratch_;
};

} // namespace qvtest
