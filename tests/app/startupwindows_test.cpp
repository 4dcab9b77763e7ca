// The windows made at program start: the main window alone. A dialog is built when it is first
// needed and, for the main window's own ones, kept and reused; none shows before it is asked for.
#include "apptest.h"

#include "app/ftpfrm.h"
#include "dialogs/fovrwfrm.h"
#include "dialogs/modefrm.h"
#include "dialogs/pass.h"
#include "dialogs/prgrsfrm.h"

#include <QApplication>
#include <QPushButton>

class StartupWindows : public TAppTest {};

namespace {

// The top-level widgets of the dialog kinds the program opens, shown or not.
int DialogsBuilt() {
    int count = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        count += qobject_cast<TProgress*>(w) || qobject_cast<TPasswordDlg*>(w) ||
                 qobject_cast<TForm3*>(w) || qobject_cast<TForm5*>(w);
    return count;
}

} // namespace

TEST_F(StartupWindows, OnlyTheMainWindowIsBuiltAndShows) {
    const int before = DialogsBuilt();
    TStartupWindows windows({"/SET"});
    TForm1& form = *windows.Form1;
    form.show();
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(DialogsBuilt(), before);
    EXPECT_EQ(form.PasswordDlg, nullptr);
    EXPECT_EQ(form.Form5, nullptr);
}

TEST_F(StartupWindows, TextModeDialogIsBuiltOnceWhenFirstOpenedAndReused) {
    WriteFile("wendup.ini", "[TextMode]\ntxt=1\n");
    auto form = Start();
    const int before = DialogsBuilt();
    std::vector<QWidget*> shown;
    TModalAnswer answer([&](QWidget* w) {
        shown.push_back(w);
        // Without a parent, as the dialogs made at start were: centred on the screen.
        EXPECT_EQ(w->parentWidget(), nullptr);
        static_cast<TForm5*>(w)->Button4->click();
    });
    form->Button8->click();
    ASSERT_NE(form->Form5, nullptr);
    EXPECT_EQ(DialogsBuilt(), before + 1);
    form->Button8->click();
    EXPECT_EQ(DialogsBuilt(), before + 1);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0], form->Form5);
    EXPECT_EQ(shown[1], form->Form5);
    EXPECT_FALSE(form->Form5->isVisible());
}
