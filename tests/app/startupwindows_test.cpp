// The windows made at program start: the main window reaches each dialog it will open, and none of
// them shows before a session asks for it.
#include "apptest.h"

#include "app/ftpfrm.h"
#include "dialogs/fovrwfrm.h"
#include "dialogs/modefrm.h"
#include "dialogs/pass.h"
#include "dialogs/prgrsfrm.h"

class StartupWindows : public TAppTest {};

TEST_F(StartupWindows, MainWindowHoldsTheDialogsAndOnlyItselfShows) {
    TStartupWindows windows({"/SET"});
    TForm1& form = *windows.Form1;
    EXPECT_EQ(form.Progress, windows.Progress);
    EXPECT_EQ(form.PasswordDlg, windows.PasswordDlg.get());
    EXPECT_EQ(form.Form3, windows.Form3.get());
    EXPECT_EQ(form.Form5, windows.Form5.get());
    // Owned by the main window, so it is placed over it and stays with it.
    EXPECT_EQ(form.Progress->parentWidget(), &form);
    form.show();
    EXPECT_TRUE(form.isVisible());
    for (QWidget* dialog :
         std::initializer_list<QWidget*>{form.Progress, form.PasswordDlg, form.Form3, form.Form5})
        EXPECT_FALSE(dialog->isVisible()) << dialog->objectName().toStdString();
}
