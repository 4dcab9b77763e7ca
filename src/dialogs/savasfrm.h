#pragma once
// The rename dialog: a save-as box for the server side, listing the remote folder as the last
// listing found it.
//
// How the upload driver uses it: `TForm4 dialog(Form1->StarFtp1, Form1)` (the listing, server,
// folder and server type are read from the FTP client at creation), then
// `dialog.Edit2->setText(...)` with the local file's name, then exec(). Accepted: the new remote
// name is *Name() (an empty name means the file's own name); OK is never given for a name without a
// Shift_JIS form. Rejected (also when closed from the frame): skip the file. Create one for each
// use.

#include "ftp/ftptypes.h"

#include <QDialog>

#include <array>
#include <optional>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QListView;
class QPushButton;
class QStackedWidget;
class QStandardItemModel;
class QToolButton;
class QTreeView;
class TStarFtp;

class TForm4 : public QDialog {
    Q_OBJECT
  public:
    explicit TForm4(const TStarFtp& ftp, QWidget* parent = nullptr);
    // The directory and the listing in the server's code: UTF-8 with `utf8Names`, else the system
    // code page; Name() gives the name in the same code.
    TForm4(std::string ftpServer, std::string initialDirectory, TFTPServerType serverType,
           std::vector<std::string> listingLines, QWidget* parent = nullptr,
           bool utf8Names = false);

    // Rows the list shows at least, in the detail view.
    static constexpr int VisibleRows = 10;

    // Extensions of each file-type choice, comma separated, without the dot.
    static const std::array<const char*, 5> TypeFilters;
    // +1 or -1 per column; shared by every dialog, all +1 again when a dialog is created.
    static std::array<int, 4> SortDirections;

    // Lists the listing's entries that the chosen file type lets through.
    void FillList();
    // Asks before taking a name that is listed; closes with OK when every listed match is
    // confirmed.
    void ConfirmName();
    // Sorts by `column` (0 name, 1 size, 2 type, 3 date), after turning its direction round.
    void SortByColumn(int column);

    // Edit2's text in the server's code. A row's name picked from the list keeps its bytes even
    // when they are not valid in that code; nullopt when typed text has no form there.
    std::optional<std::string> Name() const;
    // A text of the server's, for the screen.
    QString Shown(std::string_view text) const;

    // The rows in their present order: name (as the widgets show it), size, type, date.
    int RowCount() const;
    QString RowText(int row, int column) const;

    QLabel* Label1;
    QLineEdit* Edit1;
    QToolButton* SpeedButton1; // list view
    QToolButton* SpeedButton2; // detail view
    // The rows, shown by one of two views: names in columns (list view) or a table with the four
    // columns (detail view).
    QStandardItemModel* Rows;
    QStackedWidget* ListView1;
    QListView* ListMode;
    QTreeView* DetailMode;
    QLabel* Label2;
    QLineEdit* Edit2;
    QLabel* Label3;
    QComboBox* ComboBox1;
    QPushButton* Button2; // 保存(&S)
    QPushButton* Button1; // キャンセル

    // The listing as given at creation.
    const std::string FtpServer;
    const std::string InitialDirectory;
    const TFTPServerType ServerType;
    const std::vector<std::string> ListingLines;
    const bool Utf8Names;

    // Opens above the progress dialog when that is showing.
    void setVisible(bool visible) override;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void RowClick(int row);
    void RowDoubleClick(int row);
    bool IsFolderRow(int row) const;
    void FitColumns();

    std::string picked;     // the bytes of the name last picked from the list
    bool refilling = false; // the rows are being made or sorted: no row is the user's pick
};
