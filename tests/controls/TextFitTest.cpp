// Every label, check box and button of the dialogs shows its whole text, in Chinese and in
// English (whose words are longer).
#include <gtest/gtest.h>
#include <wx/app.h>

#include <memory>

#include "app/ChangesDlg.h"
#include "app/UrlDlg.h"
#include "controls/FitText.h"
#include "controls/WxText.h"
#include "settings/OptionsDlg.h"
#include "testsupport/English.h"

using namespace sentrel;
using namespace sentrel::test;

namespace {
std::string Cut(wxWindow* dialog) {
    std::string names;
    for (wxWindow* w : CutTexts(dialog))
        names += " \"" + S(w->GetLabel()) + "\" (" + std::to_string(w->GetSize().x) + " < " +
                 std::to_string(NeededWidth(w)) + ")";
    dialog->Destroy();
    return names;
}
void CheckDialogs(const char* language) {
    EXPECT_EQ("", Cut(new COptionsDlg(nullptr))) << language << ": Options";
    auto* url = new CUrlDlg(nullptr);
    EXPECT_EQ("", Cut(url)) << language << ": the URL dialog";
    EXPECT_EQ("", Cut(new CChangesDlg(nullptr, "http://a/", {}, {}, {}))) << language << ": 查看变化";
    wxTheApp->ProcessPendingEvents();
}
}  // namespace

TEST(TextFit, NothingIsCutOffInEitherLanguage) {
    CheckDialogs("Chinese");
    InEnglish english;
    ASSERT_TRUE(english.Ok()) << "the build made no English catalog";
    CheckDialogs("English");
}
